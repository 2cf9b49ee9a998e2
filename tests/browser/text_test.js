// The reading page's text handling without a browser (node --test): furigana
// alignment, encodings, subtitles and zip archives.
"use strict";

const test = require("node:test");
const assert = require("node:assert/strict");
const { makeZip } = require("./zip.js");
const { alignReading, furigana, decodeText, subtitlesText, readZip, zipPath } = require("../../serve/page/text.js");

const shown = (segments) => segments.map((s) => (s.rt ? `${s.text}(${s.rt})` : s.text)).join("");

test("furigana stand over the kanji only, okurigana and inner kana read as themselves", () => {
  const cases = [
    ["古い", "古い", "ふるい", "古(ふる)い"],
    ["取り出す", "取り出す", "とりだす", "取(と)り出(だ)す"],
    ["お茶", "お茶", "おちゃ", "お茶(ちゃ)"],
    ["情報", "情報", "じょうほう", "情報(じょうほう)"],
    ["ひと", "人", "ひと", "ひと"],
    ["ファイル", "ファイル", "", "ファイル"],
  ];
  for (const [surface, headword, reading, expected] of cases) {
    assert.equal(shown(furigana(surface, headword, reading)), expected, surface);
  }
});

test("a conjugated word gets its dictionary form's stem, and nothing where the kanji differ", () => {
  assert.equal(shown(furigana("行った", "行う", "おこなう")), "行(おこな)った");
  assert.equal(shown(furigana("含まれる", "含む", "ふくむ")), "含(ふく)まれる");
  assert.equal(shown(furigana("管理できます", "管理", "かんり")), "管理(かんり)できます");
  // A listing line that only begins like the word gives the shared kanji only.
  assert.equal(shown(furigana("可能", "可能であれば", "かのうであれば")), "可能(かのう)");
  assert.equal(shown(furigana("言う", "云う", "いう")), "言う");
  // Katakana in the reading match kana in the word.
  assert.equal(shown(furigana("消しゴム", "消しゴム", "けしごむ")), "消(け)しゴム");
});

test("an ambiguous or impossible alignment gives one reading or none", () => {
  // Two kanji runs around kana that the reading holds twice: one reading
  // over the whole stretch, the final kana bare.
  assert.deepEqual(alignReading("明日は明日", "あしたはあした"),
    [{ text: "明日", rt: "あした" }, { text: "は", rt: "" }, { text: "明日", rt: "あした" }]);
  assert.equal(shown(alignReading("日の日は", "ひのひのひは")), "日の日(ひのひのひ)は");
  assert.equal(alignReading("古い", "ふるさ"), null);
  assert.equal(alignReading("", "ふるい"), null);
});

test("text files decode as UTF-8, Shift-JIS or EUC-JP", () => {
  const nihongo = "日本語のテキスト";
  assert.deepEqual(decodeText(Buffer.from(nihongo)), { text: nihongo, encoding: "UTF-8" });
  // 日本語 in Shift-JIS and in EUC-JP.
  assert.equal(decodeText(Buffer.from([0x93, 0xfa, 0x96, 0x7b, 0x8c, 0xea])).text, "日本語");
  assert.equal(decodeText(Buffer.from([0xc6, 0xfc, 0xcb, 0xdc, 0xb8, 0xec])).text, "日本語");
  assert.equal(decodeText(Buffer.from([0xff, 0xff, 0xff])), null);
});

test("subtitles: one cue a paragraph, its start time beside it, markup and numbers gone", () => {
  const srt = "1\r\n00:00:01,000 --> 00:00:02,000\r\n<i>字幕です</i>\r\n\r\n2\r\n00:01:03,500 --> 00:01:04,000\r\n二行の\r\n字幕\r\n";
  assert.equal(subtitlesText(srt), "00:00:01.000  字幕です\n00:01:03.500  二行の 字幕");
  const vtt = "WEBVTT\n\nNOTE a note\n\ncue-1\n00:02.000 --> 00:03.000 align:start\n<v Taro>こんにちは</v>\n";
  assert.equal(subtitlesText(vtt), "00:02.000  こんにちは");
});


test("zip archives: stored and deflated entries, damage reported", async () => {
  const zip = readZip(makeZip([["mimetype", "application/epub+zip", false], ["OEBPS/a.xhtml", "日本語".repeat(50), true]]));
  assert.deepEqual([...zip.keys()], ["mimetype", "OEBPS/a.xhtml"]);
  assert.equal(new TextDecoder().decode(await zip.get("mimetype")()), "application/epub+zip");
  assert.equal(new TextDecoder().decode(await zip.get("OEBPS/a.xhtml")()), "日本語".repeat(50));
  assert.throws(() => readZip(new Uint8Array(40)), /not a zip/);
  const cut = makeZip([["a.txt", "abc", false]]);
  cut[cut.length - 6] = 0xff;  // the directory's offset points past the end
  assert.throws(() => readZip(cut), /damaged/);
  assert.equal(zipPath("OEBPS/content.opf", "text/ch%201.xhtml#p3"), "OEBPS/text/ch 1.xhtml");
  assert.equal(zipPath("OEBPS/content.opf", "../a.xhtml"), "a.xhtml");
});
