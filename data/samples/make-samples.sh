#!/bin/sh
# Remakes passage.sjis and passage.jis from passage.utf8.txt (see README).
set -eu
cd "$(dirname "$0")"
# The Shift-JIS copy writes three loanwords in half-width katakana, as text
# pasted from older programs often does; decoded, they read as the full-width
# words of the UTF-8 text.
sed -e 's/コンピューター/ｺﾝﾋﾟｭｰﾀｰ/g' -e 's/データ/ﾃﾞｰﾀ/g' -e 's/コーヒー/ｺｰﾋｰ/g' \
    passage.utf8.txt | iconv -f UTF-8 -t SHIFT_JIS > passage.sjis
iconv -f UTF-8 -t ISO-2022-JP passage.utf8.txt > passage.jis
