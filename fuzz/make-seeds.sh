#!/usr/bin/env bash
# Remakes the starting inputs in fuzz/corpus/<target>/ from the sample data: a few
# small inputs per target, in the layout each target reads. Run from the top
# of the tree after a build (`make`), which lays out build/data and the
# dodevuz program used to index the small dictionaries.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
exec python3 - "$BUILD" <<'PY'
import os, struct, subprocess, sys, tempfile

build = sys.argv[1]
data = "data"
out = "fuzz/corpus"
sjis = open(f"{data}/samples/passage.sjis", "rb").read()
jis = open(f"{data}/samples/passage.jis", "rb").read()
utf8 = open(f"{data}/samples/passage.utf8.txt", encoding="utf-8").read()
kanarom = open(f"{data}/kanarom.cnv", "rb").read()
edict_lines = open(f"{data}/edict", "rb").read().split(b"\n")

def euc(s):
    return s.encode("euc_jp")

def put(target, name, content):
    os.makedirs(f"{out}/{target}", exist_ok=True)
    with open(f"{out}/{target}/{name}", "wb") as f:
        f.write(content)

# fuzz_intake and fuzz_get_chain: byte 0 picks the intake (bit 0 set: JIS);
# for the chain it also sets the selection's length (byte 0 >> 1) and byte 1
# its start.
halfwidth = "ｺﾝﾋﾟｭｰﾀｰ ﾃﾞｰﾀ ｶﾞｷﾞｸﾞ ﾊﾟﾋﾟﾌﾟ ｳﾞ ﾞﾟ".encode("shift_jis")
for target in ("fuzz_intake", "fuzz_get_chain"):
    put(target, "passage-sjis", b"\x00" + sjis)
    put(target, "passage-jis", b"\x01" + jis)
    put(target, "halfwidth-sjis", b"\x08" + halfwidth)
    put(target, "escapes-cut-jis", b"\x11" + b"\x1b$B0!\x1b(B\x1b$@\x80\x80\x1b(J a\x1b$(D0!\x1b")
    put(target, "lead-at-end-sjis", b"\x20" + "日本語".encode("shift_jis") + b"\x88")

# fuzz_romaji_table: whole kanarom.cnv files.
put("fuzz_romaji_table", "kanarom.cnv", kanarom)
put("fuzz_romaji_table", "jis-lines",
    b"# table in JIS\n$h\n\x1b$B$+\x1b(B\tka\n\x1b$B$C\x1b(B *\n"
    b"$K\n\x1b$B%+\x1b(B ka\r\n\x1b$B!<\x1b(B -\n\x1b$(D0!0\"\x1b(B x\n")
put("fuzz_romaji_table", "euc-lines",
    b"$H\n" + euc("きゃ") + b" kya\n" + euc("き") + b"\tki\n" + euc("っ") + b" *\n"
    b"$x a\n" + euc("かかかか") + b" toolong\n" + euc("か") + b"\n" + euc("な") + b" na")

# fuzz_romaji_text: listing texts, EUC-JP with CR LF line ends.
def listing(words):
    text = b""
    for w in words:
        text += w
    return text
word = euc("日本語") + b" " * 8 + euc("日本語 [にほんご] /(n) the Japanese language/(P)/") + b"\r\n"
put("fuzz_romaji_text", "listing", euc("私は") + word + euc("を読みます。") + b"\r\n")
put("fuzz_romaji_text", "kana", euc("がっこう、カッカ「かな」カー.あっ.ーカ きゃきャ ゐ") + b"\r\n")
put("fuzz_romaji_text", "nomatch", euc("乂") + b" " * 18 + b"NOMATCH  \r\n" + b"\x8f\xb0\xa1" + euc("か・な"))
put("fuzz_romaji_text", "passage", euc(utf8).replace(b"\n", b"\r\n"))

# fuzz_convert: any bytes, as EUC-JP, UTF-8 and Shift-JIS.
put("fuzz_convert", "passage-utf8", utf8.encode("utf-8"))
put("fuzz_convert", "passage-sjis", sjis)
put("fuzz_convert", "passage-euc", euc(utf8))
put("fuzz_convert", "broken",
    b"a\x8f\xb0\xa1\x8e\xb1\xa4\xff\x80\xa4\x41\xed\xa0\x80\xf0\x9f\x98\x80\xe2\x80")

# fuzz_lookup: 2 bytes (big-endian) the size of edict, 2 bytes that of
# edict.jdx, then edict, edict.jdx, the passage.
def pack(edict, jdx, passage):
    return struct.pack(">HH", len(edict), len(jdx)) + edict + jdx + passage

def jdx(positions):
    return struct.pack("<%di" % (len(positions) + 1), 0, *positions)

def indexed(edict):
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/edict", "wb").write(edict)
        open(f"{d}/kanarom.cnv", "wb").write(kanarom)
        subprocess.run([f"{build}/dodevuz", "index", "-C", d], check=True,
                       stdout=subprocess.DEVNULL)
        return open(f"{d}/edict.jdx", "rb").read()

small = b"\n".join(edict_lines[1:13]) + b"\n"
small_jdx = indexed(small)
passage = euc("日本語の日曜日と月曜日。カタカナとABC。")
count = len(small_jdx) // 4 - 1
positions = list(struct.unpack("<%di" % count, small_jdx[4:4 + 4 * count]))
put("fuzz_lookup", "sorted", pack(small, small_jdx, passage))
put("fuzz_lookup", "unsorted", pack(small, jdx(list(reversed(positions))), passage))
put("fuzz_lookup", "truncated", pack(small, small_jdx[:len(small_jdx) - 3], passage))
put("fuzz_lookup", "jdx-3-bytes", pack(small, small_jdx[:3], passage))
put("fuzz_lookup", "out-of-range",
    pack(small, jdx([0, -1, -2147483648, len(small), len(small) + 1, len(small) + 3,
                     2147483647] + positions[:4]), passage))
put("fuzz_lookup", "no-final-lf", pack(small[:-1], small_jdx, passage))
long_line = euc("日本") + b" [" + euc("にほん") + b"] /" + b"x" * 3000 + b"/\n"
put("fuzz_lookup", "long-line", pack(long_line + small, jdx([1] + [p + len(long_line) for p in positions]), passage))
with_nul = small[:40] + b"\0\0" + small[42:]
put("fuzz_lookup", "nul-bytes", pack(with_nul, small_jdx, passage + b"\0" + euc("日本")))
# fuzz_serve: byte 0 even, a connection's bytes; odd, a Get's JSON body
# (bit 1 set: a Single's).
import json
host = b"Host: 127.0.0.1:8080\r\n"
def post(path, body, framing="length"):
    head = b"POST " + path + b" HTTP/1.1\r\n" + host + b"Content-Type: application/json\r\n"
    if framing == "chunked":
        half = len(body) // 2
        chunks = b"".join(b"%x\r\n%s\r\n" % (len(c), c) for c in (body[:half], body[half:]) if c)
        return head + b"Transfer-Encoding: chunked\r\n\r\n" + chunks + b"0\r\n\r\n"
    return head + b"Content-Length: %d\r\n\r\n" % len(body) + body
get_body = json.dumps({"text": utf8[:200], "from": 3}, ensure_ascii=False).encode()
single_body = json.dumps({"text": "日本語", "forms": True}, ensure_ascii=False).encode()
put("fuzz_serve", "get", b"\0" + post(b"/api/get", get_body))
put("fuzz_serve", "get-chunked", b"\0" + post(b"/api/get", get_body, "chunked"))
put("fuzz_serve", "pipelined", b"\0" + b"GET /api/about HTTP/1.1\r\n" + host + b"\r\n" +
    post(b"/api/single", single_body) + b"GET / HTTP/1.1\r\n" + host + b"Origin: http://a.example\r\n\r\n")
put("fuzz_serve", "json-get", b"\1" + get_body)
put("fuzz_serve", "json-single", b"\3" + single_body)
PY
