#!/bin/sh
# Remakes the romaji table `kanarom.cnv` (EUC-JP, as the program reads it)
# from its UTF-8 source kanarom.utf8.txt. The program reads only the first
# 4592 bytes of the file, and lines of at most 79 bytes.
set -eu
cd "$(dirname "$0")"
iconv -f UTF-8 -t EUC-JP kanarom.utf8.txt > kanarom.cnv
size=$(wc -c < kanarom.cnv)
if [ "$size" -gt 4592 ]; then echo "kanarom.cnv has $size bytes; only 4592 are read"; exit 1; fi
LC_ALL=C awk 'length($0) > 78 { print "kanarom.cnv line " NR " is longer than 79 bytes"; bad = 1 }
     END { exit bad }' kanarom.cnv
