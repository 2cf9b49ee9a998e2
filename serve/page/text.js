// The reading page's text handling that needs no server: furigana aligned
// with the kanji they belong to, the encodings and formats a book comes in
// (plain text, HTML/XHTML, EPUB, SRT/WebVTT subtitles). Plain functions; the
// page loads this file before page.js, and node's test runner requires it.
"use strict";

// ---- Furigana -------------------------------------------------------------

const isKana = (ch) => /[\u3041-\u309f\u30a0-\u30ff\u30fc]/.test(ch);
const isKanji = (ch) => /[\u3005\u3006\u4e00-\u9fff\u3400-\u4dbf\uf900-\ufaff\u30f6]/.test(ch);
const toHiragana = (s) => s.replace(/[\u30a1-\u30f6]/g, (ch) => String.fromCharCode(ch.charCodeAt(0) - 0x60));
const escapeRegExp = (s) => s.replace(/[.*+?^${}()|[\]\\]/g, "\\$&");

// The word cut into runs: kanji (and anything else that is not kana), and
// kana, which read as themselves.
function kanaRuns(word) {
  const runs = [];
  for (const ch of word) {
    const kana = isKana(ch);
    const last = runs[runs.length - 1];
    if (last && last.kana === kana) last.text += ch;
    else runs.push({ text: ch, kana });
  }
  return runs;
}

// The reading of a word set over its kanji only: a list of {text, rt} where
// rt is the reading of a run of kanji, and kana (okurigana, kana inside the
// word) carry none. 古い [ふるい] -> 古(ふる) い; 取り出す [とりだす] ->
// 取(と) り 出(だ) す. Where the reading splits over the runs in more than
// one way, one reading goes over the whole stretch from the first kanji to
// the last. null when the reading does not fit the word at all.
function alignReading(word, reading) {
  if (!word || !reading) return null;
  const runs = kanaRuns(word);
  if (!runs.some((r) => !r.kana)) return null;
  const hira = toHiragana(reading);
  const pattern = runs.map((r) => (r.kana ? `(${escapeRegExp(toHiragana(r.text))})` : "(.+?)")).join("");
  const lazy = new RegExp(`^${pattern}$`).exec(hira);
  if (!lazy) return null;
  const greedy = new RegExp(`^${pattern.replace(/\(\.\+\?\)/g, "(.+)")}$`).exec(hira);
  if (greedy && greedy.slice(1).join("\u0000") === lazy.slice(1).join("\u0000")) {
    return runs.map((r, i) => (r.kana ? { text: r.text, rt: "" } : { text: r.text, rt: lazy[i + 1] }));
  }
  // Ambiguous: the kana before the first kanji run and after the last stay
  // bare, one reading covers the rest.
  const first = runs.findIndex((r) => !r.kana);
  let last = runs.length - 1;
  while (runs[last].kana) last--;
  const head = runs.slice(0, first).map((r) => r.text).join("");
  const tail = runs.slice(last + 1).map((r) => r.text).join("");
  const middle = runs.slice(first, last + 1).map((r) => r.text).join("");
  const rt = hira.slice(head.length, hira.length - tail.length);
  const out = [];
  if (head) out.push({ text: head, rt: "" });
  out.push({ text: middle, rt });
  if (tail) out.push({ text: tail, rt: "" });
  return out;
}

// The furigana of a word of the text (surface) found as the entry headword
// [reading]: the entry's alignment over the part the surface shares with the
// headword, so that a conjugated word gets its dictionary form's stem
// (行った with 行う [おこなう] -> 行(おこな) った), and a word written in
// kana, or one whose kanji the headword does not share, gets none.
function furigana(surface, headword, reading) {
  if (!surface || ![...surface].some(isKanji)) return [{ text: surface || "", rt: "" }];
  const aligned = headword === surface || !reading ? alignReading(surface, reading || "")
    : alignReading(headword, reading);
  if (!aligned) return [{ text: surface, rt: "" }];
  const out = [];
  let at = 0;
  for (const seg of aligned) {
    const piece = surface.slice(at, at + seg.text.length);
    if (piece !== seg.text) break;
    out.push({ text: seg.text, rt: seg.rt });
    at += seg.text.length;
  }
  if (at < surface.length) {
    // A kanji run the surface shares only in part keeps no reading.
    const rest = surface.slice(at);
    if ([...rest].some(isKanji) && out.length === 0) return [{ text: surface, rt: "" }];
    out.push({ text: rest, rt: "" });
  }
  return out;
}

// ---- Encodings ------------------------------------------------------------

// Text from a file's bytes: UTF-8 (with or without a BOM) when it is that,
// else Shift-JIS or EUC-JP, whichever decodes without error, and when both
// do, the one that reads as more Japanese. null when none fits.
function decodeText(bytes) {
  const decode = (encoding) => {
    try {
      return new TextDecoder(encoding, { fatal: true }).decode(bytes);
    } catch (e) {
      return null;
    }
  };
  const utf8 = decode("utf-8");
  if (utf8 !== null) return { text: utf8, encoding: "UTF-8" };
  const japanese = (s) => (s.match(/[\u3041-\u30ff\u4e00-\u9fff\u3000-\u303f]/g) || []).length;
  const candidates = [["shift_jis", "Shift-JIS"], ["euc-jp", "EUC-JP"], ["iso-2022-jp", "ISO-2022-JP"]]
    .map(([code, name]) => ({ text: decode(code), encoding: name }))
    .filter((c) => c.text !== null);
  if (candidates.length === 0) return null;
  candidates.sort((a, b) => japanese(b.text) - japanese(a.text));
  return candidates[0];
}

// ---- Subtitles --------------------------------------------------------------

// SRT or WebVTT: each cue one paragraph, its start time kept beside it
// ("00:01:02.500  text"); cue numbers, settings, notes and styling go.
function subtitlesText(source) {
  const blocks = source.replace(/^\ufeff/, "").replace(/\r\n?/g, "\n").split(/\n{2,}/);
  const cues = [];
  for (const block of blocks) {
    const lines = block.split("\n").filter((l) => l.trim() !== "");
    const timing = lines.findIndex((l) => l.includes("-->"));
    if (timing < 0) continue;  // the WEBVTT header, NOTE and STYLE blocks
    const start = lines[timing].split("-->")[0].trim().replace(",", ".");
    const text = lines.slice(timing + 1).join(" ").replace(/<[^>]*>/g, "").trim();
    if (text) cues.push(`${start}  ${text}`);
  }
  return cues.join("\n");
}

// ---- HTML, XHTML ------------------------------------------------------------

const kBlocks = new Set(["p", "div", "br", "h1", "h2", "h3", "h4", "h5", "h6", "li", "tr",
  "blockquote", "section", "article", "pre", "dt", "dd", "hr", "title", "figcaption"]);

// A document's text (DOMParser in the browser): one paragraph a line, the
// readings of its own ruby left out of the text and returned as hints
// (base -> reading).
function documentText(source, type) {
  const doc = new DOMParser().parseFromString(source, type || "text/html");
  const hints = new Map();
  const root = doc.body || doc.documentElement;
  if (!root) return { text: "", hints };
  const parts = [];
  const walk = (node) => {
    for (const child of node.childNodes) {
      if (child.nodeType === 3) {
        parts.push(child.nodeValue.replace(/\s+/g, (s) => (/\n/.test(s) ? "" : s)));
      } else if (child.nodeType === 1) {
        const name = child.localName.toLowerCase();
        if (name === "script" || name === "style" || name === "head") continue;
        if (name === "rt" || name === "rp") continue;
        if (name === "ruby") {
          const rt = Array.from(child.getElementsByTagName("rt")).map((r) => r.textContent).join("");
          const base = Array.from(child.childNodes)
            .filter((n) => n.nodeType === 3 || !["rt", "rp"].includes(n.localName.toLowerCase()))
            .map((n) => n.textContent).join("");
          if (base && rt) hints.set(base, rt);
        }
        const block = kBlocks.has(name);
        if (block) parts.push("\n");
        walk(child);
        if (block) parts.push("\n");
      }
    }
  };
  walk(root);
  const text = parts.join("").split("\n").map((l) => l.trim()).filter(Boolean).join("\n");
  return { text, hints };
}

// ---- Zip and EPUB -------------------------------------------------------------

// The files of a zip archive (its central directory), each read on demand:
// stored or deflated (DecompressionStream "deflate-raw", the browser's own).
function readZip(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let end = -1;
  for (let i = bytes.length - 22; i >= Math.max(0, bytes.length - 22 - 65535); i--) {
    if (view.getUint32(i, true) === 0x06054b50) { end = i; break; }
  }
  if (end < 0) throw new Error("not a zip archive");
  const count = view.getUint16(end + 10, true);
  let at = view.getUint32(end + 16, true);
  const files = new Map();
  const names = new TextDecoder("utf-8");
  for (let n = 0; n < count; n++) {
    if (at + 46 > bytes.length || view.getUint32(at, true) !== 0x02014b50) throw new Error("a damaged zip directory");
    const method = view.getUint16(at + 10, true);
    const compressed = view.getUint32(at + 20, true);
    const nameLength = view.getUint16(at + 28, true);
    const extraLength = view.getUint16(at + 30, true);
    const commentLength = view.getUint16(at + 32, true);
    const local = view.getUint32(at + 42, true);
    const name = names.decode(bytes.subarray(at + 46, at + 46 + nameLength));
    files.set(name, async () => {
      if (local + 30 > bytes.length) throw new Error(`a damaged zip entry: ${name}`);
      const start = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
      const data = bytes.subarray(start, start + compressed);
      if (method === 0) return data;
      if (method !== 8) throw new Error(`a zip entry packed in an unknown way: ${name}`);
      const stream = new Blob([data]).stream().pipeThrough(new DecompressionStream("deflate-raw"));
      return new Uint8Array(await new Response(stream).arrayBuffer());
    });
    at += 46 + nameLength + extraLength + commentLength;
  }
  return files;
}

// A path relative to a file's folder inside the archive.
function zipPath(base, href) {
  const parts = base.split("/").slice(0, -1);
  for (const part of decodeURIComponent(href.split("#")[0]).split("/")) {
    if (part === "..") parts.pop();
    else if (part !== "." && part !== "") parts.push(part);
  }
  return parts.join("/");
}

// An EPUB's text: its spine's documents in reading order, one after another.
async function epubText(bytes) {
  const files = readZip(bytes);
  const read = async (name) => {
    const file = files.get(name);
    if (!file) throw new Error(`the book has no ${name}`);
    return new TextDecoder("utf-8").decode(await file());
  };
  const xml = (s) => new DOMParser().parseFromString(s, "application/xml");
  const container = xml(await read("META-INF/container.xml"));
  const rootfile = container.getElementsByTagName("rootfile")[0];
  if (!rootfile) throw new Error("the book names no package file");
  const opfPath = rootfile.getAttribute("full-path");
  const opf = xml(await read(opfPath));
  const manifest = new Map();
  for (const item of opf.getElementsByTagName("item")) {
    manifest.set(item.getAttribute("id"), item);
  }
  const texts = [];
  const hints = new Map();
  for (const ref of opf.getElementsByTagName("itemref")) {
    const item = manifest.get(ref.getAttribute("idref"));
    if (!item) continue;
    const type = item.getAttribute("media-type") || "application/xhtml+xml";
    if (!/html/.test(type)) continue;
    const doc = documentText(await read(zipPath(opfPath, item.getAttribute("href"))),
      type === "text/html" ? "text/html" : "application/xhtml+xml");
    if (doc.text) texts.push(doc.text);
    doc.hints.forEach((v, k) => hints.set(k, v));
  }
  return { text: texts.join("\n"), hints };
}

// A file the reader opened or dropped, as text: by its name's ending, and by
// its bytes when the name says nothing.
async function fileText(name, bytes) {
  const lower = (name || "").toLowerCase();
  if (lower.endsWith(".epub") || (bytes[0] === 0x50 && bytes[1] === 0x4b && bytes[2] === 3)) {
    const book = await epubText(bytes);
    return { ...book, kind: "EPUB" };
  }
  const decoded = decodeText(bytes);
  if (!decoded) throw new Error("the file is not text in a Japanese encoding");
  const { text, encoding } = decoded;
  if (lower.endsWith(".srt") || lower.endsWith(".vtt") || /^\ufeff?WEBVTT/.test(text)) {
    return { text: subtitlesText(text), hints: new Map(), kind: `subtitles, ${encoding}` };
  }
  if (/\.(x?html?|xht)$/.test(lower)) {
    const doc = documentText(text, lower.endsWith(".xhtml") || lower.endsWith(".xht") ? "application/xhtml+xml" : "text/html");
    return { ...doc, kind: `HTML, ${encoding}` };
  }
  return { text, hints: new Map(), kind: encoding };
}

if (typeof module !== "undefined") {
  module.exports = { alignReading, furigana, decodeText, subtitlesText, readZip, zipPath, fileText };
}
