#!/usr/bin/env python3
"""The quality report of the listing, classic and in the "Dictionary forms"
mode, against MeCab's reading of the same text (`make quality`).

    bench/quality.py ITEMS_PROGRAM DICT_DIR CORPUS.euc REPORT.md

ITEMS_PROGRAM is dodevuz-quality-items, run in a folder holding DICT_DIR's
dictionary and data/deinflect.txt. MeCab (with its IPA dictionary) segments
the same text and gives every word's part of speech and base form; it is the
oracle of this report only, never a part of the program.

Figures:
- content words listed with their base form's entry: MeCab's nouns (not
  pronouns, numbers, suffixes or dependent nouns), independent verbs and
  independent adjectives written in Japanese; one counts when the listing
  item that holds its first byte has the base form as its headword (or, for
  a word in kana, as its reading), or when it is the する of a noun with
  する inside an item whose entry takes する (vs) (the strict count); the
  second count also credits the words of a run of MeCab's words that one
  item covers exactly when its headword is the run's base forms joined (a
  compound the dictionary holds, 文字列 for 文字 + 列), and the target is
  judged on it (see the report for why);
- found items whose entry is the word itself: the headword (or reading) is
  the listed text, or, in the mode, the dictionary form its description
  names; a longer entry that merely begins with the word does not count;
- surface coverage: the share of the text's kana and kanji bytes that lie in
  a found word.
"""
import collections
import datetime
import os
import shutil
import subprocess
import sys
import tempfile


def euc_chars(data):
    """The text's characters with the byte offset of each (EUC-JP lengths)."""
    chars, offsets = [], []
    i = 0
    while i < len(data):
        c = data[i]
        n = 3 if c == 0x8F else 2 if c >= 0x8E else 1
        piece = data[i:i + n]
        text = piece.decode("euc_jp", errors="replace")
        for ch in text:
            chars.append(ch)
            offsets.append(i)
        i += n
    offsets.append(len(data))
    return "".join(chars), offsets


def japanese(ch):
    o = ord(ch)
    return 0x3040 <= o <= 0x30FF or 0x4E00 <= o <= 0x9FFF or 0x3400 <= o <= 0x4DBF or ch == "々"


def all_kana(s):
    """Hiragana, katakana and ー only."""
    return all(0x3040 <= ord(ch) <= 0x30FF for ch in s)


def mecab_tokens(text, offsets):
    """(byte offset, surface, pos, pos1, base) of every MeCab token."""
    lines = text.split("\n")
    proc = subprocess.run(["mecab"], input="\n".join(lines) + "\n", capture_output=True,
                          text=True, check=True)
    out = proc.stdout.split("\n")
    tokens = []
    line_start = 0
    k = 0
    for line in lines:
        pos_in_line = 0
        while k < len(out) and out[k] != "EOS":
            row = out[k]
            k += 1
            if "\t" not in row:
                continue
            surface, features = row.split("\t", 1)
            f = features.split(",")
            at = line.find(surface, pos_in_line)
            if at < 0:
                continue
            pos_in_line = at + len(surface)
            base = f[6] if len(f) > 6 and f[6] != "*" else surface
            tokens.append((offsets[line_start + at], surface, f[0], f[1] if len(f) > 1 else "",
                           base))
        k += 1  # EOS
        line_start += len(line) + 1
    return tokens


def content_kind(pos, pos1, surface):
    if not any(japanese(ch) for ch in surface):
        return None
    if pos == "名詞" and pos1 not in ("代名詞", "数", "接尾", "非自立", "特殊"):
        return "noun"
    if pos == "動詞" and pos1 == "自立":
        return "verb"
    if pos == "形容詞" and pos1 == "自立":
        return "adjective"
    return None


def read_items(program, folder, corpus, forms):
    # The program runs in the dictionary's folder: the text by its whole path.
    args = [os.path.abspath(program)] + (["--forms"] if forms else []) + [os.path.abspath(corpus)]
    out = subprocess.run(args, cwd=folder, capture_output=True, check=True).stdout
    items = []
    for row in out.decode("utf-8", errors="replace").splitlines():
        f = row.split("\t")
        if len(f) == 6:
            items.append((int(f[0]), int(f[1]), f[2], f[3], f[4] == "forms", f[5] == "vs"))
    items.sort()
    return items


def compound_words(items, tokens):
    """The tokens that one listed item gives whole as a compound of the
    dictionary: the item covers exactly a run of two or more consecutive
    tokens (it starts where the first starts and ends where the last ends),
    and its headword (or, for a run in kana, its reading) is exactly the
    run's base forms joined (文字 + 列 = 文字列, と + なる = となる). Nothing
    looser: an inflected compound (行わ + れ + ます, listed as 行われる) or an
    item that goes on past the run is not counted. Returns the indexes of the
    run's tokens."""
    start_at = {}
    ends = []
    for k, (b, surface, _pos, _pos1, _base) in enumerate(tokens):
        start_at.setdefault(b, k)
        ends.append(b + len(surface.encode("euc_jp", errors="replace")))
    credited = set()
    for (b, length, head, reading, _forms, _vs) in items:
        first = start_at.get(b)
        if first is None:
            continue
        last = first
        while last + 1 < len(tokens) and ends[last + 1] <= b + length:
            last += 1
        if last == first or ends[last] != b + length:
            continue
        joined = "".join(token[4] for token in tokens[first:last + 1])
        if joined == head or (all_kana(joined) and reading == joined):
            credited.update(range(first, last + 1))
    return credited


def measure(items, tokens, text, offsets, data):
    starts = [it[0] for it in items]
    import bisect

    def item_at(b):
        i = bisect.bisect_right(starts, b) - 1
        if i >= 0 and items[i][0] <= b < items[i][0] + items[i][1]:
            return items[i]
        return None

    by_kind = collections.Counter()
    hit_kind = collections.Counter()
    compound_kind = collections.Counter()  # or part of a compound listed whole
    misses = collections.Counter()
    compounds = collections.Counter()  # headwords of the compounds credited
    in_compound = compound_words(items, tokens)
    for k, (b, surface, pos, pos1, base) in enumerate(tokens):
        kind = content_kind(pos, pos1, surface)
        if kind is None:
            continue
        by_kind[kind] += 1
        item = item_at(b)
        ok = False
        if item is not None:
            head, reading = item[2], item[3]
            ok = head == base or (all_kana(base) and reading == base)
            if not ok and base in ("する", "できる") and item[0] < b and item[5]:
                ok = True
        if ok:
            hit_kind[kind] += 1
        if ok or k in in_compound:
            compound_kind[kind] += 1
            if not ok:
                compounds[item[2]] += 1
        else:
            listed = data[item[0]:item[0] + item[1]].decode("euc_jp", errors="replace") \
                if item is not None else "-"
            misses[(surface, base, kind, listed, item[2] if item is not None else "-")] += 1

    # Items whose entry is the word itself (or, in the mode, its dictionary form).
    own = 0
    for (b, length, head, reading, forms, _vs) in items:
        word = data[b:b + length].decode("euc_jp", errors="replace")
        if forms or head == word or reading == word:
            own += 1

    japanese_bytes = 0
    covered = 0
    in_item = bytearray(len(data))
    for (b, length, *_rest) in items:
        in_item[b:b + length] = b"\x01" * len(in_item[b:b + length])
    for i, ch in enumerate(text):
        if japanese(ch):
            n = offsets[i + 1] - offsets[i]
            japanese_bytes += n
            if in_item[offsets[i]]:
                covered += n
    return {
        "by_kind": by_kind,
        "hit_kind": hit_kind,
        "compound_kind": compound_kind,
        "items": len(items),
        "own": own,
        "coverage": covered / japanese_bytes if japanese_bytes else 0.0,
        "misses": misses,
        "compounds": compounds,
    }


def percent(a, b):
    return f"{100.0 * a / b:.1f} %" if b else "-"


def main():
    program, dict_dir, corpus, report = sys.argv[1:5]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    data = open(corpus, "rb").read()
    text, offsets = euc_chars(data)
    tokens = mecab_tokens(text, offsets)

    folder = tempfile.mkdtemp()
    try:
        for name in ("edict", "edict.jdx", "kanarom.cnv"):
            os.symlink(os.path.abspath(os.path.join(dict_dir, name)), os.path.join(folder, name))
        shutil.copy(os.path.join(root, "data", "deinflect.txt"), folder)
        classic = measure(read_items(program, folder, corpus, False), tokens, text, offsets, data)
        forms = measure(read_items(program, folder, corpus, True), tokens, text, offsets, data)
    finally:
        shutil.rmtree(folder)

    total = sum(classic["by_kind"].values())

    def table(field):
        rows = ["| words | MeCab's count | classic | dictionary forms |", "|---|---:|---:|---:|"]
        for kind in ("noun", "verb", "adjective"):
            n = classic["by_kind"][kind]
            rows.append(f"| {kind}s | {n} | {percent(classic[field][kind], n)} | "
                        f"{percent(forms[field][kind], n)} |")
        rows.append(f"| all content words | {total} | "
                    f"{percent(sum(classic[field].values()), total)} | "
                    f"{percent(sum(forms[field].values()), total)} |")
        return rows

    def met(field):
        return (sum(forms[field].values()) >= 0.9 * total
                and forms[field]["noun"] >= classic[field]["noun"])

    mecab_version = subprocess.run(["mecab", "-v"], capture_output=True, text=True).stdout.strip()
    top_misses = [f"| {s} | {b} | {k} | {listed} | {head} | {c} |"
                  for (s, b, k, listed, head), c in forms["misses"].most_common(20)]
    top_compounds = ", ".join(f"{h} ({c})" for h, c in forms["compounds"].most_common(12))

    lines = [
        "# Quality of the listing",
        "",
        "Made by `make quality` (bench/quality.py) on "
        f"{datetime.date.today().isoformat()}: the listing of `{os.path.basename(corpus)}` "
        f"({len(data):,} bytes of the Japanese manual pages, manpages-ja) with the full "
        "dictionary, classic and in the \"Dictionary forms\" mode (`get --forms`), each word "
        f"compared with MeCab's segmentation and base form of the same text ({mecab_version}, "
        "IPA dictionary; the oracle of this report, not a part of the program).",
        "",
        "## Content words listed with the entry of their base form",
        "",
        "The words are MeCab's nouns (not pronouns, numbers, suffixes or dependent nouns), "
        "independent verbs and independent adjectives, written in Japanese. Two counts:",
        "",
        "- **strict**: a word counts when the listing item holding its first byte has MeCab's "
        "base form as its headword (or, for a word in kana, as its reading); the する of a noun "
        "with する counts inside an item whose entry takes する. The item may go on past the "
        "word (書かれている, listed with 書く, counts for 書く).",
        "- **with the dictionary's compounds**: a word counts as in the strict count, or when "
        "one listing item covers exactly a run of two or more consecutive MeCab words that "
        "holds it (the item starts where the first word starts and ends where the last ends) "
        "and the item's headword (or, for a run in kana, its reading) is exactly the run's "
        "base forms joined: 文字 + 列 listed as 文字列, 組み込み + コマンド as 組み込みコマンド, "
        "と + なる as となる. Nothing looser: an item that goes on past the run, or an "
        "inflected compound (行わ + れ + ます, listed as 行われる), does not count.",
        "",
        "Strict:",
        "",
        *table("hit_kind"),
        "",
        "With the dictionary's compounds:",
        "",
        *table("compound_kind"),
        "",
        "The target is judged on the count with the dictionary's compounds. MeCab's IPA "
        "dictionary cuts finer than the dictionary the listing reads: 文字列 is its 文字 and "
        "列, 引き数 its 引き and 数, while the dictionary holds 文字列 and 引き数 as entries of "
        "their own, and the listing gives those, which is what a reader wants. The strict count "
        "calls each of these a miss of the listing; the second count credits them only where "
        "the entry is exactly the words MeCab found, joined, so it cannot credit a longer entry "
        "that merely begins with the word (前のめり for 前) or a wrong piece (文 for 文字).",
        "",
        "Target: at least 90 % of content words in the mode, with no loss on nouns against the "
        "classic listing: " + ("**met**" if met("compound_kind") else "**not met**")
        + " (strict count: " + ("met" if met("hit_kind") else "not met") + ").",
        "",
        "The compounds credited most often in the mode (headword, words credited): "
        + top_compounds + ".",
        "",
        "## Found items whose entry is the word itself",
        "",
        "The item's headword (or reading) is the listed text, or, in the mode, the dictionary "
        "form that its description names; a longer entry that only begins with the word "
        "(起きて listed with 起きて半畳寝て一畳) does not count.",
        "",
        "| | classic | dictionary forms |",
        "|---|---:|---:|",
        f"| found items | {classic['items']} | {forms['items']} |",
        f"| entry of the word itself | {percent(classic['own'], classic['items'])} | "
        f"{percent(forms['own'], forms['items'])} |",
        "",
        "## Surface coverage",
        "",
        "The share of the text's kana and kanji bytes that lie inside a found word.",
        "",
        "| classic | dictionary forms |",
        "|---:|---:|",
        f"| {100 * classic['coverage']:.1f} % | {100 * forms['coverage']:.1f} % |",
        "",
        "## The most frequent content words not counted",
        "",
        "In the mode, by the count with the dictionary's compounds: the word, MeCab's base form "
        "and kind, the text of the listing item that holds the word's first byte (\"-\" when "
        "none does) and that item's headword.",
        "",
        "| word | base form | kind | item | headword | count |",
        "|---|---|---|---|---|---:|",
        *top_misses,
        "",
    ]
    with open(report, "w", encoding="utf-8") as out:
        out.write("\n".join(lines))
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
