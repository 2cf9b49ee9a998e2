#!/bin/sh
# Remakes the sample dictionary `edict` (EUC-JP, as the program reads it)
# from its UTF-8 source edict.utf8.txt. Entry lines: HEADWORD [READING]
# /gloss/gloss/ (no reading for all-kana headwords); the first line is a
# header whose headword is a full-width blank. Lines must stay within 198
# bytes in EUC-JP.
set -eu
cd "$(dirname "$0")"
iconv -f UTF-8 -t EUC-JP edict.utf8.txt > edict
LC_ALL=C awk 'length($0) > 198 { print "edict line " NR " is longer than 198 bytes"; bad = 1 }
     END { exit bad }' edict
