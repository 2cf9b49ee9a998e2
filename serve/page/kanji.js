// The kanji section of a word's popup: for each kanji of the word, its
// meanings, readings, strokes, grade and frequency from /api/kanji, with the
// kanji drawn large in the stroke-order font when the server has it. The
// popup calls kanjiSection(text) and appends what it returns; the section
// fills itself when the answer comes (answers are kept per word).
"use strict";

const kanjiAnswers = new Map();  // word -> Promise of the /api/kanji answer (null on failure)
let strokeFont = null;           // Promise: whether the stroke-order font loaded

// Kanji as the server counts them (the iteration mark 々 is none).
const KANJI_PATTERN = /[\u4e00-\u9fff]/;

function kanjiAnswer(text) {
  if (!kanjiAnswers.has(text)) {
    kanjiAnswers.set(text, fetch("/api/kanji", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ text }),
    }).then((response) => (response.ok ? response.json() : null)).catch(() => null));
  }
  return kanjiAnswers.get(text);
}

function loadStrokeFont() {
  if (strokeFont === null) {
    const face = new FontFace("Dodevuz Stroke Order", "url(/kanji-font.ttf)");
    strokeFont = face.load().then((loaded) => {
      document.fonts.add(loaded);
      return true;
    }, () => false);
  }
  return strokeFont;
}

// "3 (primary school)", "secondary school", "for names": what a school
// grade means.
function gradeText(grade) {
  if (grade >= 1 && grade <= 6) return `${grade} (primary school)`;
  if (grade === 8) return "secondary school";
  if (grade === 9 || grade === 10) return "for names";
  return "";
}

// The facts of one kanji as label/value pairs, without those it lacks.
function kanjiFacts(k) {
  const facts = [
    ["On", k.on.join("、")],
    ["Kun", k.kun.join("、")],
    ["Names", k.names.join("、")],
    ["Strokes", k.strokes ? String(k.strokes) : ""],
    ["Grade", gradeText(k.grade)],
    ["Frequency", k.frequency ? `${k.frequency} of 2,500` : ""],
  ];
  return facts.filter(([, value]) => value !== "");
}

function kanjiBlock(k, withFont) {
  const block = document.createElement("div");
  block.className = "kanji-block";
  if (withFont) {
    const large = document.createElement("div");
    large.className = "kanji-large";
    large.lang = "ja";
    large.textContent = k.kanji;
    large.setAttribute("aria-hidden", "true");
    block.append(large);
  }
  const facts = document.createElement("div");
  const head = document.createElement("div");
  head.className = "kanji-head";
  const glyph = document.createElement("span");
  glyph.lang = "ja";
  glyph.textContent = k.kanji;
  head.append(glyph, ` ${k.found ? k.meanings.join("; ") : "not in the kanji dictionary"}`);
  facts.append(head);
  if (k.found) {
    const list = document.createElement("dl");
    list.className = "kanji-facts";
    for (const [label, value] of kanjiFacts(k)) {
      const dt = document.createElement("dt");
      dt.textContent = label;
      const dd = document.createElement("dd");
      dd.textContent = value;
      if (label === "On" || label === "Kun" || label === "Names") dd.lang = "ja";
      list.append(dt, dd);
    }
    facts.append(list);
  }
  block.append(facts);
  return block;
}

async function fillKanjiSection(section, text) {
  const answer = await kanjiAnswer(text);
  if (!answer || !answer.available || answer.kanji.length === 0) return;
  const withFont = answer.font && (await loadStrokeFont());
  section.replaceChildren(...answer.kanji.map((k) => kanjiBlock(k, withFont)));
  section.hidden = false;
}

function kanjiSection(text) {
  const section = document.createElement("section");
  section.className = "kanji-section";
  section.setAttribute("aria-label", "Kanji");
  section.hidden = true;
  if (KANJI_PATTERN.test(text)) fillKanjiSection(section, text);
  return section;
}
