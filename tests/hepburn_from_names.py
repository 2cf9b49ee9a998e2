#!/usr/bin/env python3
"""Expected Hepburn romaji of kana, worked out from the characters' Unicode
names alone (unicodedata), as an oracle for the romaji table: it knows
nothing of kanarom.cnv.

Writes one case a line: the EUC-JP bytes in hex, a tab, the romaji that the
transliteration must give for them, a tab, the kana in UTF-8 (for messages).
The cases: every kana of JIS X 0208 rows 4 and 5 alone, every consonant-i
kana with a small ya, yu or yo, the small tsu before every kana that starts
with a consonant, and n before every vowel and y.
"""

import sys
import unicodedata

# Where Hepburn spells a syllable otherwise than the Unicode name does.
HEPBURN = {"SI": "shi", "ZI": "ji", "TI": "chi", "DI": "ji", "TU": "tsu", "DU": "zu",
           "HU": "fu", "WO": "o"}


def kana_of_row(lead):
    """The characters of an EUC-JP row, as Python's own codec decodes them."""
    for second in range(0xA1, 0xFF):
        raw = bytes([lead, second])
        try:
            yield raw, raw.decode("euc_jp")
        except UnicodeDecodeError:
            pass


def syllable(char):
    """(hepburn, is_small, is_katakana) from the name, e.g. 'KATAKANA LETTER SMALL YA'."""
    words = unicodedata.name(char).split()
    if words[1] != "LETTER" or words[0] not in ("HIRAGANA", "KATAKANA"):
        return None
    small = words[2] == "SMALL"
    name = words[-1]
    return HEPBURN.get(name, name.lower()), small, words[0] == "KATAKANA"


def main():
    out = sys.stdout
    cases = []
    for lead in (0xA4, 0xA5):
        row = [(raw, ch, syllable(ch)) for raw, ch in kana_of_row(lead)]
        row = [r for r in row if r[2] is not None]
        katakana = lead == 0xA5

        def spell(text):
            return text.upper() if katakana else text

        by_name = {(s[0], s[1]): raw for raw, ch, s in row}
        small_tsu = by_name[("tsu", True)]
        n = by_name[("n", False)]
        for raw, ch, (roman, small, _) in row:
            if raw == small_tsu:
                continue  # gemination: checked before other kana below
            cases.append((raw, spell(roman), ch))
        # Contracted sounds: ki + small ya is kya; shi, chi, ji drop the i.
        for raw, ch, (roman, small, _) in row:
            if small or len(roman) < 2 or not roman.endswith("i") or roman in ("wi",):
                continue
            stem = roman[:-1] if roman in ("shi", "chi", "ji") else roman[:-1] + "y"
            for vowel in ("a", "u", "o"):
                glide = by_name[("y" + vowel, True)]
                cases.append((raw + glide, spell(stem + vowel), ch + glide.decode("euc_jp")))
        # The small tsu doubles the consonant after it, 'ch' takes a 't'.
        for raw, ch, (roman, small, _) in row:
            if small or roman[0] in "aiueo" or roman == "n":
                continue
            double = "t" if roman.startswith("ch") else roman[0]
            cases.append((small_tsu + raw, spell(double + roman),
                          small_tsu.decode("euc_jp") + ch))
        # n before a vowel or y is n'.
        for raw, ch, (roman, small, _) in row:
            if small or not (roman in ("a", "i", "u", "e", "o") or roman[0] == "y"):
                continue
            cases.append((n + raw, spell("n'" + roman), n.decode("euc_jp") + ch))
    for raw, roman, text in cases:
        out.write(f"{raw.hex().upper()}\t{roman}\t{text}\n")


if __name__ == "__main__":
    main()
