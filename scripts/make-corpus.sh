#!/usr/bin/env bash
# Makes the benchmark corpus: real Japanese prose taken from the manual pages
# of Debian's `manpages-ja` package, in EUC-JP, Shift-JIS and UTF-8.
#
#   scripts/make-corpus.sh [DIR]      (default: corpus/ in the repository)
#
# Writes, into DIR (which git ignores; the corpus is never committed):
#   passage-40k.{euc,sjis,utf8}  one passage, 40,000 bytes in EUC-JP and in
#                                Shift-JIS (the same bytes count in both)
#   corpus-1m.{euc,sjis,utf8}    25 such passages one after the other,
#                                1,000,000 bytes in EUC-JP; the first is
#                                passage-40k
#   corpus-10m.{euc,sjis,utf8}   every line of prose in order, and from the
#                                first again, whole lines up to 10,000,000
#                                bytes in EUC-JP: a whole text for `get --all`
#
# How the text is made:
# - every page of the package (sorted by path, so every run makes the same
#   corpus) loses its roff markup: comment lines go, a control line keeps the
#   text after its macro name, inline escapes (\fB, \-, \(xx, ...) are
#   removed or replaced by the character they stand for;
# - only lines that hold Japanese (any byte of 0x80 or above) are kept, and
#   only those that convert to EUC-JP and back unchanged and use nothing but
#   ASCII and two-byte JIS X 0208 characters: no half-width katakana (0x8E)
#   and no JIS X 0212 (0x8F). So Shift-JIS holds every passage in exactly as
#   many bytes as EUC-JP does, and the intake turns it back into the same
#   EUC-JP bytes.
# - A passage is 40,000 bytes: whole lines while they fit in 39,998 bytes,
#   then the start of the next line cut after a whole character, blanks up to
#   39,997 bytes and a line end at byte 39,998, then two more line ends. The
#   kanji buffer holds 39,998 bytes of text (and two NULs), so a Get takes
#   bytes 1 to 39,998, a whole text that ends with a line end, and the intake
#   cuts only the two empty lines at the end. Tools that read the whole file
#   (the comparisons of the benchmark) see the same text and two empty lines.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/corpus}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# apt-get download writes into the working directory.
if ! apt-get download manpages-ja >/dev/null 2>&1; then
  echo "Updating the package lists..."
  apt-get update -qq
  apt-get download manpages-ja >/dev/null
fi
dpkg-deb -x manpages-ja_*.deb pkg

# Pages that are links to others would repeat text: regular files only.
find pkg/usr/share/man/ja -type f -name '*.gz' | LC_ALL=C sort >pages
[ -s pages ] || { echo "manpages-ja holds no manual pages" >&2; exit 1; }
xargs -d '\n' zcat <pages >all.roff

# Roff to plain lines, byte-wise (the pages are UTF-8). Lines that are not
# valid UTF-8 are dropped here, so that the conversions below keep one output
# line per input line.
LC_ALL=C perl -ne '
  chomp; s/\r$//;
  next if /^[.\x27]\s*\\"/;                 # comment line
  next if /^\\"/;
  if (/^[.\x27]/) {                          # control line: keep its argument
    next unless s/^[.\x27]\s*[A-Za-z]+\s*//;
    s/"//g;
  }
  s/\\f(\(..|\[[^\]]*\]|.)//g;              # font changes
  s/\\s[-+]?\d+//g;                          # size changes
  s/\\\*(\(..|\[[^\]]*\]|.)//g;             # strings
  s/\\\((aq|cq)/\x27/g; s/\\\((dq|lq|rq)/"/g; s/\\\(bu/*/g;
  s/\\\((em|en|hy)/-/g; s/\\\(..//g; s/\\\[[^\]]*\]//g;
  s/\\[-e]/$& eq "\\-" ? "-" : "\\"/ge;
  s/\\[ ~0]/ /g;
  s/\\[&,\/^|:%c]//g;
  s/\\\\/\\/g;
  s/\\//g;                                   # anything else: drop the backslash
  s/\s+$//;
  next unless /[\x80-\xFF]/;                 # Japanese lines only
  next unless utf8::decode(my $u = $_);      # valid UTF-8 only
  print "$_\n";
' all.roff >lines.utf8

# Keep the lines that survive EUC-JP unchanged: iconv -c drops what it cannot
# convert but keeps the line ends, so the lines of the round trip line up.
iconv -c -f UTF-8 -t EUC-JP lines.utf8 >lossy.euc || true
iconv -f EUC-JP -t UTF-8 lossy.euc >back.utf8
LC_ALL=C perl -e '
  open(my $o, "<", "lines.utf8") or die; open(my $b, "<", "back.utf8") or die;
  open(my $e, "<", "lossy.euc") or die;
  while (defined(my $l = <$o>)) {
    my $r = <$b>; my $x = <$e>;
    defined $r && defined $x or die "round trip lost lines\n";
    print $x if $r eq $l && $x !~ /[\x8E\x8F]/;
  }
' >lines.euc

# Passages of 40,000 bytes, as described at the top.
LC_ALL=C perl -e '
  my ($count) = @ARGV;
  my @lines = do { open(my $f, "<", "lines.euc") or die; <$f> };
  my $i = 0;
  binmode STDOUT;
  for my $n (1 .. $count) {
    my $text = "";
    while ($i < @lines && length($text) + length($lines[$i]) <= 39998) {
      $text .= $lines[$i++];
    }
    $i < @lines or die "the manual pages hold too little text for $count passages\n";
    # The start of the next line, cut after a whole character, then blanks.
    my $room = 39997 - length($text);
    my $cut = 0;
    my $line = $lines[$i++];
    $line =~ s/\n$//;
    while ($cut < length($line)) {
      my $w = ord(substr($line, $cut, 1)) >= 0x80 ? 2 : 1;
      last if $cut + $w > $room;
      $cut += $w;
    }
    $text .= substr($line, 0, $cut) . (" " x ($room - $cut)) . "\n";
    length($text) == 39998 or die "passage $n has " . length($text) . " bytes\n";
    print $text, "\n\n";
  }
' 25 >corpus-1m.euc
head -c 40000 corpus-1m.euc >passage-40k.euc

# The whole text: the prose of all the pages is some 6 MB, so it comes round
# again to make 10 MB.
LC_ALL=C perl -e '
  my @lines = do { open(my $f, "<", "lines.euc") or die; <$f> };
  binmode STDOUT;
  my ($size, $i) = (0, 0);
  while ($size + length($lines[$i % @lines]) <= 10000000) {
    print $lines[$i % @lines];
    $size += length($lines[$i++ % @lines]);
  }
' >corpus-10m.euc

for name in passage-40k corpus-1m corpus-10m; do
  iconv -f EUC-JP -t SHIFT_JIS "$name.euc" >"$name.sjis"
  iconv -f EUC-JP -t UTF-8 "$name.euc" >"$name.utf8"
  # Two-byte characters and ASCII only: Shift-JIS takes as many bytes.
  if [ "$(wc -c <"$name.euc")" != "$(wc -c <"$name.sjis")" ]; then
    echo "$name: the Shift-JIS text differs in length from the EUC-JP text" >&2
    exit 1
  fi
  cp "$name.euc" "$name.sjis" "$name.utf8" "$out/"
done

echo "$out: $(wc -l <lines.euc) lines of prose from $(wc -l <pages) manual pages;"
echo "  passage-40k.euc $(wc -c <"$out/passage-40k.euc") bytes, corpus-1m.euc $(wc -c <"$out/corpus-1m.euc") bytes,"
echo "  corpus-10m.euc $(wc -c <"$out/corpus-10m.euc") bytes"
