// The reading page: sends the text to /api/get a window at a time as the
// reader scrolls, shows the listing's items as running text (furigana over
// the kanji, entries in a popup from /api/entries), keeps the text, the
// position and the settings in the browser, and looks up a selection with
// /api/single. The text handling that needs no server is in text.js.
"use strict";

const $ = (id) => document.getElementById(id);

// Characters of the text sent per request: at most as many as the server's
// kanji buffer has bytes, so the request stays far below its body limit;
// after the first page, a few times what the last page took, since a
// listing fills with entry lines long before its passage does (a page cut
// by the window is only a shorter page).
const kWindow = 40000;
const kFirstWindow = 8000;
// Longest stretch of rendering in one task, in milliseconds.
const kSlice = 25;
const kStore = "dodevuz.reading";

const state = {
  text: "",        // the whole text being read
  start: 0,        // where the reading began (characters), 0 unless restored
  pos: 0,          // characters listed so far (the next page starts here)
  done: true,      // the text is listed to its end
  loading: false,  // a page is on its way
  items: [],       // items shown, in order
  words: 0,
  known: 0,  // word items the reader knows, kept as items come and change
  unfound: 0,
  generation: 0,   // a new Get makes answers of the old one stale
  drawing: 0,      // a new drawing ends the rendering of the old one
  forms: false,    // the server offers the dictionary-forms mode
  hints: new Map(),  // readings a book's own ruby gives (base -> reading)
  listed: new Set(), // headwords in the word list
  queue: [],       // pages waiting to be rendered: {items, element}
  rendering: false,
};

const entryCache = new Map();

function setStatus(message, isError) {
  const status = $("status");
  status.textContent = message;
  status.classList.toggle("error", Boolean(isError));
}

async function callApi(path, body) {
  const response = await fetch(path, {
    method: body === undefined ? "GET" : "POST",
    headers: body === undefined ? {} : { "Content-Type": "application/json" },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  let answer = null;
  try {
    answer = await response.json();
  } catch (e) {
    answer = null;
  }
  if (!response.ok) {
    throw new Error((answer && answer.error) || `the server answered ${response.status}`);
  }
  return answer;
}

// ---- Settings and what is kept --------------------------------------------

const settings = { forms: true, furigana: "all", romaji: false, fontSize: 1.35, theme: "auto", vertical: false };

function loadKept() {
  try {
    return JSON.parse(localStorage.getItem(kStore) || "{}") || {};
  } catch (e) {
    return {};
  }
}

// The text and the position are kept as far as the browser's quota allows;
// the settings always.
function keep(withText) {
  const kept = { settings, position: readingPosition() };
  try {
    if (withText) localStorage.setItem(`${kStore}.text`, state.text);
  } catch (e) {
    localStorage.removeItem(`${kStore}.text`);
    setStatus("The text is too long to be kept in this browser; the settings are kept.", false);
  }
  try {
    localStorage.setItem(kStore, JSON.stringify(kept));
  } catch (e) {
    // a full store keeps what it had
  }
}

function applySettings() {
  $("forms").checked = settings.forms;
  $("romaji-toggle").checked = settings.romaji;
  $("furigana").value = settings.furigana;
  $("theme").value = settings.theme;
  $("vertical").checked = settings.vertical;
  const reading = $("reading");
  reading.style.fontSize = `${settings.fontSize}rem`;
  reading.classList.toggle("vertical", settings.vertical);
  reading.dataset.furigana = settings.furigana;
  if (settings.theme === "auto") delete document.documentElement.dataset.theme;
  else document.documentElement.dataset.theme = settings.theme;
  observeEnd();
}

// The character offset of the first item in view, for coming back to it.
function readingPosition() {
  const reading = $("reading");
  for (const page of reading.children) {
    const box = page.getBoundingClientRect();
    if (settings.vertical ? box.left < reading.getBoundingClientRect().right : box.bottom > 0) {
      return { text: Number(page.dataset.start || 0), within: page.dataset.start ? scrollWithin(page) : 0 };
    }
  }
  return { text: state.start, within: 0 };
}

function scrollWithin(page) {
  const box = page.getBoundingClientRect();
  return box.height > 0 ? Math.max(0, Math.min(1, -box.top / box.height)) : 0;
}

// ---- The reading -----------------------------------------------------------

function wordHeadword(item) {
  return item.headword || item.text;
}

// Furigana over the kanji of a word: a reading the entry gives, aligned with
// the word; a book's own ruby when the dictionary has none.
function appendWord(span, item) {
  if (settings.romaji) {
    if (item.kind === "word" && item.reading_romaji && item.headword === item.text) {
      const ruby = document.createElement("ruby");
      ruby.append(item.text);
      const rt = document.createElement("rt");
      rt.textContent = item.reading_romaji;
      ruby.append(rt);
      span.append(ruby);
    } else {
      span.append(item.text);
    }
    return;
  }
  let segments = item.kind === "word" && item.reading ? furigana(item.text, item.headword, item.reading) : null;
  if ((!segments || !segments.some((s) => s.rt)) && state.hints.has(item.text)) {
    segments = [{ text: item.text, rt: state.hints.get(item.text) }];
  }
  if (!segments) {
    span.append(item.text);
    return;
  }
  for (const seg of segments) {
    if (seg.rt) {
      const rb = document.createElement("span");
      rb.className = "rb";
      rb.dataset.rt = seg.rt;
      rb.textContent = seg.text;
      span.append(rb);
    } else {
      span.append(seg.text);
    }
  }
}

function renderItem(item, index) {
  if (item.kind === "passed") {
    return document.createTextNode(settings.romaji ? item.romaji : item.text);
  }
  const span = document.createElement("span");
  span.className = item.kind === "word" ? "item word" : "item nomatch";
  if (item.kind === "word" && state.listed.has(wordHeadword(item))) span.classList.add("listed");
  span.dataset.index = String(index);
  span.tabIndex = index === 0 || !$("reading").querySelector(".item") ? 0 : -1;
  appendWord(span, item);
  markIfNew(span, item);
  span.setAttribute("aria-label", item.kind === "word"
    ? `${item.text}: ${item.form ? item.form + " " : ""}${item.reading ? item.reading + ", " : ""}${item.glosses.join("; ")}`
    : `${item.text}: no entry`);
  return span;
}

// The paragraph the next item goes into: each line of the text is a block
// of its own, so drawing more of a long text lays out only what is new. A
// paragraph that runs on over the end of a page goes on in the same block.
function paragraph(page) {
  if (!state.paragraph) {
    state.paragraph = document.createElement("div");
    state.paragraph.className = "para";
    page.append(state.paragraph);
  }
  return state.paragraph;
}

// Draws an item into the page, its line ends closing paragraphs (each keeps
// its line end, so the reading's text is the text).
function drawItem(page, item, index) {
  if (item.kind !== "passed") {
    paragraph(page).append(renderItem(item, index));
    return;
  }
  const lines = (settings.romaji ? item.romaji : item.text).split("\n");
  lines.forEach((line, i) => {
    if (line) paragraph(page).append(line);
    if (i < lines.length - 1) {
      paragraph(page).append("\n");
      state.paragraph = null;
    }
  });
}

// Renders queued pages a slice of time at a time, so the main thread is
// never held long however long the text.
function pump() {
  if (state.rendering) return;
  state.rendering = true;
  const drawing = state.drawing;
  const step = () => {
    if (drawing !== state.drawing) return;
    const until = performance.now() + kSlice;
    while (state.queue.length > 0 && performance.now() < until) {
      const job = state.queue[0];
      while (job.next < job.items.length && (job.next & 63 || performance.now() < until)) {
        drawItem(job.element, job.items[job.next], job.base + job.next);
        job.next++;
      }
      if (job.next >= job.items.length) state.queue.shift();
    }
    if (state.queue.length > 0) {
      setTimeout(step, 0);
    } else {
      state.rendering = false;
      markBusy();
      if (!$("reading").querySelector('.item[tabindex="0"]')) {
        const first = $("reading").querySelector(".item");
        if (first) first.tabIndex = 0;
      }
      maybeReadOn();
    }
  };
  step();
}

function queuePage(items, base, element) {
  state.queue.push({ items, base, element, next: 0 });
  pump();
}

// Busy while a page is on its way or being drawn.
function markBusy() {
  const busy = state.loading || state.queue.length > 0;
  $("reading").setAttribute("aria-busy", busy ? "true" : "false");
}

function updateStatus() {
  const total = state.text.length;
  const read = state.done ? total : state.pos;
  const share = total === 0 ? 100 : Math.floor((100 * read) / total);
  setStatus(`${state.words} words found, ${state.unfound} characters without an entry · ` +
    `${read.toLocaleString("en")} of ${total.toLocaleString("en")} characters read (${share} %)` +
    (state.lossy ? ". Some characters have no code in the dictionary's encoding and read as 〓." : ".") +
    knownShareText());
}

// The next page of the text: only the part not yet listed is sent, a window
// at a time, and the server answers how far its listing reached.
async function readOn() {
  if (state.loading || state.done) return;
  state.loading = true;
  markBusy();
  const generation = state.generation;
  try {
    const reach = Math.min(kWindow, state.lastTaken ? Math.max(2000, 3 * state.lastTaken) : kFirstWindow);
    let end = Math.min(state.text.length, state.pos + reach);
    // Never cut a character written as two UTF-16 units.
    if (end < state.text.length && /[\ud800-\udbff]/.test(state.text[end - 1])) end--;
    const request = { text: state.text.slice(state.pos, end), more: end < state.text.length };
    if (state.forms && settings.forms) request.forms = true;
    const page = await callApi("/api/get", request);
    if (generation !== state.generation) return;
    const start = state.pos;
    state.pos = page.next === null ? state.text.length : start + page.next_chars;
    state.lastTaken = state.pos - start;
    state.done = page.next === null;
    state.lossy = state.lossy || !page.lossless;
    for (const item of page.items) {
      if (item.kind === "word") {
        state.words++;
        if (item.known) state.known++;
      } else if (item.kind === "nomatch") state.unfound++;
    }
    const element = document.createElement("div");
    element.className = "page";
    element.dataset.start = String(start);
    element.dataset.count = String(page.items.length);
    $("reading").append(element);
    const base = state.items.length;
    state.items.push(...page.items);
    queuePage(page.items, base, element);
    $("all").hidden = state.done;
    $("from-start").hidden = state.start === 0;
    updateStatus();
    state.loading = false;
  } catch (e) {
    if (generation === state.generation) {
      state.done = true;
      setStatus(`Could not read the passage: ${e.message}`, true);
    }
  } finally {
    if (generation === state.generation) {
      state.loading = false;
      markBusy();
    }
  }
  if (generation === state.generation) maybeReadOn();
}

// Reads on when the end of what is shown is near the screen.
function maybeReadOn() {
  // The next page is asked for while this one is drawn, a page or two ahead.
  if (state.done || state.loading || state.queue.length > 1) return;
  const end = $("reading-end").getBoundingClientRect();
  const near = settings.vertical
    ? end.right > $("reading").getBoundingClientRect().left - 2 * window.innerWidth
    : end.top < window.innerHeight * 3;
  if (near || state.readAll || state.pos <= state.readUntil) readOn();
}

let endObserver = null;
function observeEnd() {
  if (endObserver) endObserver.disconnect();
  endObserver = new IntersectionObserver(() => maybeReadOn(), {
    root: settings.vertical ? $("reading") : null,
    rootMargin: "200% 200% 200% 200%",
  });
  endObserver.observe($("reading-end"));
}

// A new reading of the text from a character on.
function startReading(from) {
  state.generation++;
  state.drawing++;
  state.start = from;
  state.pos = from;
  state.done = false;
  state.loading = false;
  state.items = [];
  state.queue = [];
  state.rendering = false;
  state.paragraph = null;
  state.words = 0;
  state.known = 0;
  state.unfound = 0;
  state.lossy = false;
  state.readAll = false;
  state.readUntil = -1;
  state.lastTaken = 0;
  hidePopup();
  $("reading").replaceChildren();
  setStatus("Reading…");
  readOn();
}

function get() {
  state.text = $("text").value;
  state.hints = state.pendingHints || new Map();
  state.pendingHints = null;
  startReading(0);
  keep(true);
}

// What is shown, drawn anew (a setting that changes how words look).
function redraw() {
  hidePopup();
  state.drawing++;
  state.rendering = false;
  state.queue = [];
  const pages = Array.from($("reading").children);
  state.paragraph = null;
  let base = 0;
  for (const page of pages) {
    const count = Number(page.dataset.count || 0);
    page.replaceChildren();
    queuePage(state.items.slice(base, base + count), base, page);
    base += count;
  }
}

// ---- The popup ---------------------------------------------------------------

let popupFor = null;

function hidePopup() {
  $("popup").hidden = true;
  if (popupFor) popupFor.classList.remove("shown");
  popupFor = null;
}

function element(tag, className, text) {
  const el = document.createElement(tag);
  if (className) el.className = className;
  if (text !== undefined) el.textContent = text;
  return el;
}

function tagLabel(tag, extra) {
  const label = element("abbr", `tag ${extra || ""}`.trim(), tag.tag);
  if (tag.meaning) label.title = tag.meaning;
  return label;
}

// One entry: its headword and reading, the common mark, which dictionary it
// is from, and its senses as the line groups them.
function entryElement(entry, item) {
  const div = element("div", "entry");
  const head = element("div", "entry-head");
  head.lang = "ja";
  head.append(entry.headword);
  if (entry.reading) head.append(element("span", "entry-reading", entry.reading));
  if (entry.common) head.append(element("span", "common", "common"));
  head.append(element("span", "dictionary", entry.dictionary || ""));
  div.append(head);
  const senses = element("ol", "senses");
  senses.lang = "en";
  for (const sense of entry.senses || [{ pos: [], labels: [], glosses: entry.glosses }]) {
    const li = element("li");
    for (const pos of sense.pos) li.append(tagLabel(pos, "pos"), " ");
    for (const label of sense.labels) li.append(tagLabel(label), " ");
    li.append(sense.glosses.join("; "));
    senses.append(li);
  }
  if (senses.children.length === 1) senses.classList.add("single");
  div.append(senses);
  if (item) {
    const add = element("button", "add-word", "Add to word list");
    add.type = "button";
    add.addEventListener("click", () => addToWordList(entry, item, add));
    div.append(add);
  }
  return div;
}

// The popup's parts, each made by one function from the item and what the
// server said of it; a further part is one more function in this list.
const popupSections = [
  function formSection(item) {
    return item.form ? element("div", "entry-form", `${item.text}: ${item.form}`) : null;
  },
  function entriesSection(item, answer) {
    if (item.kind !== "word") {
      const box = element("div");
      const head = element("div", "entry-head", item.text);
      head.lang = "ja";
      box.append(head, element("p", "", "No entry in the dictionary."));
      return box;
    }
    const box = element("div", "entries");
    const entries = answer && answer.entries.length > 0 ? answer.entries
      : [{ headword: item.headword, reading: item.reading, glosses: item.glosses, dictionary: item.dictionary, senses: null }];
    for (const entry of entries) box.append(entryElement(entry, item));
    return box;
  },
  function longerSection(item, answer) {
    if (!answer || answer.longer.length === 0) return null;
    const details = element("details", "longer");
    details.append(element("summary", "", `longer words (${answer.longer_count})`));
    for (const entry of answer.longer) {
      const line = element("div", "longer-entry");
      line.lang = "ja";
      line.append(element("strong", "", entry.headword));
      if (entry.reading) line.append(element("span", "entry-reading", entry.reading));
      const glosses = element("span", "longer-glosses", entry.senses.map((s) => s.glosses.join("; ")).join(" / "));
      glosses.lang = "en";
      line.append(" ", glosses);
      details.append(line);
    }
    return details;
  },
  function studySection(item) {
    return item.kind === "word" ? studyButtons(item) : null;
  },
  function kanjiDetailsSection(item) {
    return kanjiSection(item.text);
  },
];

function fillPopup(item, answer) {
  const popup = $("popup");
  popup.replaceChildren();
  for (const make of popupSections) {
    const part = make(item, answer);
    if (part) popup.append(part);
  }
}

// The entries of a word: its own, and its dictionary form's in the forms mode.
function entriesOf(item) {
  const key = `${item.text}\u0000${item.form ? item.headword : ""}`;
  if (!entryCache.has(key)) {
    const request = { text: item.text };
    if (item.form && item.headword) request.also = item.headword;
    else if (item.headword && item.headword !== item.text && settings.forms) request.also = item.headword;
    entryCache.set(key, callApi("/api/entries", request).catch(() => null));
  }
  return entryCache.get(key);
}

// Below the word when there is room, else above it; inside the viewport.
function placePopup(span) {
  const popup = $("popup");
  const box = span.getBoundingClientRect();
  const viewWidth = document.documentElement.clientWidth;
  const viewHeight = window.innerHeight;
  popup.style.maxHeight = "";
  const width = popup.offsetWidth;
  let height = popup.offsetHeight;
  const below = viewHeight - box.bottom - 8;
  const above = box.top - 8;
  let top;
  if (height <= below || below >= above) {
    if (height > below) { popup.style.maxHeight = `${Math.max(80, below)}px`; height = popup.offsetHeight; }
    top = box.bottom + 4;
  } else {
    if (height > above) { popup.style.maxHeight = `${Math.max(80, above)}px`; height = popup.offsetHeight; }
    top = box.top - 4 - height;
  }
  const left = Math.max(4, Math.min(box.left, viewWidth - width - 4));
  popup.style.left = `${window.scrollX + left}px`;
  popup.style.top = `${window.scrollY + Math.max(4, top)}px`;
}

function showPopup(span) {
  const item = state.items[Number(span.dataset.index)];
  if (!item) return;
  const popup = $("popup");
  fillPopup(item, null);
  popup.hidden = false;
  placePopup(span);
  if (popupFor) popupFor.classList.remove("shown");
  popupFor = span;
  span.classList.add("shown");
  span.setAttribute("aria-describedby", "popup");
  // Busy until the server's entries replace the listing's line.
  popup.setAttribute("aria-busy", item.kind === "word" ? "true" : "false");
  if (item.kind === "word") {
    entriesOf(item).then((answer) => {
      if (popupFor !== span) return;
      if (answer) {
        fillPopup(item, answer);
        placePopup(span);
      }
      popup.setAttribute("aria-busy", "false");
    });
  }
}

function itemOf(target) {
  return target instanceof Element ? target.closest("#reading .item") : null;
}

// ---- Known words ---------------------------------------------------------
// Words not in known.tsv are marked as new (a setting turns it off); the
// popup marks a word known or adds it to the word list, and the status line
// says how much of the text shown is known.

const kMarkNewSetting = "dodevuz.markNew";

function markingNew() {
  return $("mark-new").checked;
}

function markIfNew(span, item) {
  if (item.kind === "word" && !item.known && markingNew()) span.classList.add("new");
}

// " 62 % of its words are known (124 of 200)." for the items shown.
function knownShareText() {
  if (state.words === 0) return "";
  return ` ${Math.round((100 * state.known) / state.words)} % of its words are known (${state.known} of ${state.words}).`;
}

function sameWord(a, b) {
  return a.kind === "word" && a.headword === b.headword && (a.reading || "") === (b.reading || "");
}

async function markKnown(item, known) {
  const answer = await callApi("/api/known",
    { headword: item.headword, reading: item.reading || "", known });
  // Every occurrence of the word changes at once, on this page and the ones
  // appended to it.
  for (const other of state.items) {
    if (!sameWord(other, item) || Boolean(other.known) === answer.known) continue;
    other.known = answer.known;
    state.known += answer.known ? 1 : -1;
  }
  redraw();
  setStatus(`${item.headword}: ${answer.outcome}.${knownShareText()}`);
  return answer.outcome;
}

function studyButtons(item) {
  const bar = document.createElement("div");
  bar.className = "study";
  const said = document.createElement("span");
  said.className = "hint";
  said.setAttribute("role", "status");
  const button = (label, action) => {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = label;
    b.addEventListener("click", async (e) => {
      e.stopPropagation();
      try {
        said.textContent = await action();
      } catch (err) {
        said.textContent = err.message;
      }
    });
    return b;
  };
  bar.append(
    button(item.known ? "Not known" : "Known", () => markKnown(item, !item.known)),
    said);
  return bar;
}

function inPopup(target) {
  return target instanceof Node && $("popup").contains(target);
}

function startStudy() {
  const box = $("mark-new");
  box.checked = localStorage.getItem(kMarkNewSetting) !== "off";
  box.addEventListener("change", () => {
    localStorage.setItem(kMarkNewSetting, box.checked ? "on" : "off");
    redraw();
  });
}

// The sentence of the text around an item, for the word list.
function sentenceAround(index) {
  let before = "", after = "";
  for (let i = index - 1; i >= 0 && before.length < 120; i--) {
    const t = state.items[i].text;
    const cut = Math.max(t.lastIndexOf("。"), t.lastIndexOf("\n"), t.lastIndexOf("！"), t.lastIndexOf("？"));
    if (cut >= 0) { before = t.slice(cut + 1) + before; break; }
    before = t + before;
  }
  for (let i = index + 1; i < state.items.length && after.length < 120; i++) {
    const t = state.items[i].text;
    const cut = t.search(/[。！？\n]/);
    if (cut >= 0) { after += t.slice(0, t[cut] === "\n" ? cut : cut + 1); break; }
    after += t;
  }
  return (before + state.items[index].text + after).trim();
}

async function addToWordList(entry, item, button) {
  const index = state.items.indexOf(item);
  try {
    const answer = await callApi("/api/wordlist", {
      headword: entry.headword, reading: entry.reading || "", sentence: index >= 0 ? sentenceAround(index) : item.text,
      // The conjugated form the reader met, when this is its dictionary form.
      form: item.form && entry.headword === item.headword ? item.form : "",
    });
    button.textContent = answer.outcome === "added" ? "Added to the word list" : "Already in the word list";
    state.listed.add(entry.headword);
    if (popupFor) popupFor.classList.add("listed");
  } catch (e) {
    button.textContent = `Not added: ${e.message}`;
  }
  button.disabled = true;
}

async function loadWordList() {
  try {
    const response = await fetch("/api/wordlist");
    const text = await response.text();
    for (const row of text.split("\n")) if (row) state.listed.add(row.split("\t")[0]);
  } catch (e) {
    // no word list yet
  }
}

// ---- Single ---------------------------------------------------------------

// The selected text, without the readings above it; the focused word when
// nothing is selected.
function selectedText() {
  const box = $("text");
  if (document.activeElement === box && box.selectionStart !== box.selectionEnd) {
    return box.value.slice(box.selectionStart, box.selectionEnd);
  }
  const selection = window.getSelection();
  if (selection && selection.rangeCount > 0 && !selection.isCollapsed) {
    const fragment = selection.getRangeAt(0).cloneContents();
    fragment.querySelectorAll("rt").forEach((rt) => rt.remove());
    const text = fragment.textContent;
    if (text.trim()) return text;
  }
  const focused = itemOf(document.activeElement);
  if (focused) return state.items[Number(focused.dataset.index)].text;
  return "";
}

async function single(text) {
  const result = $("single-result");
  text = (text === undefined ? selectedText() : text).trim();
  if (!text) {
    result.textContent = "Select some text first.";
    return;
  }
  try {
    const request = { text };
    if (state.forms && settings.forms) request.forms = true;
    const answer = await callApi("/api/single", request);
    result.replaceChildren();
    result.append(element("p", "hint", answer.entries.length
      ? `${answer.entries.length} entries for 「${answer.key}」:` : `No entry matches 「${answer.key}」.`));
    for (const entry of answer.entries) {
      const div = element("div", "single-entry");
      const head = element("div");
      head.lang = "ja";
      head.append(element("strong", "", entry.headword));
      if (entry.reading) head.append(element("span", "entry-reading", entry.reading));
      if (entry.form) div.append(element("div", "entry-form", entry.form));
      const glosses = element("div", "", entry.glosses.join("; "));
      glosses.lang = "en";
      div.append(head, glosses);
      result.append(div);
    }
  } catch (e) {
    result.textContent = `Could not look it up: ${e.message}`;
  }
}

// ---- Keyboard, pointer, files ------------------------------------------------

function moveFocus(from, step) {
  const items = Array.from($("reading").querySelectorAll(".item"));
  if (items.length === 0) return;
  let index = from ? items.indexOf(from) : -1;
  index = step === Infinity ? items.length - 1 : step === -Infinity ? 0
    : Math.max(0, Math.min(items.length - 1, index + step));
  if (from) from.tabIndex = -1;
  items[index].tabIndex = 0;
  items[index].focus();
}

function readingKeys(event) {
  const item = itemOf(event.target);
  if (!item) return;
  const steps = { ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1, Home: -Infinity, End: Infinity };
  if (event.key in steps && !event.ctrlKey && !event.altKey && !event.metaKey) {
    event.preventDefault();
    moveFocus(item, steps[event.key]);
  } else if (event.key === "Enter" || event.key === " ") {
    event.preventDefault();
    single(state.items[Number(item.dataset.index)].text);
  }
}

function pageKeys(event) {
  if (event.key === "Escape") {
    hidePopup();
  } else if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    get();
  } else if ((event.key === "l" || event.key === "L") && (event.ctrlKey || event.metaKey) && !event.shiftKey) {
    event.preventDefault();
    single();
  }
}

async function openFile(file) {
  try {
    setStatus(`Opening ${file.name}…`);
    const opened = await fileText(file.name, new Uint8Array(await file.arrayBuffer()));
    $("text").value = opened.text;
    state.pendingHints = opened.hints;
    get();
    $("file-kind").textContent = `${file.name} (${opened.kind})`;
  } catch (e) {
    setStatus(`Cannot open ${file.name}: ${e.message}`, true);
  }
}

async function dropFile(event) {
  const files = event.dataTransfer && event.dataTransfer.files;
  if (!files || files.length === 0) return;  // dropped text: the box takes it itself
  event.preventDefault();
  $("text").classList.remove("dropping");
  await openFile(files[0]);
}

function setting(name, value) {
  settings[name] = value;
  applySettings();
  keep(false);
}

// Texts read again from their start on a reload up to this many characters
// before the position; beyond, the reading goes on from the page the reader
// was on, with "Read from the start" at hand.
const kReadBackLimit = 100000;

// Back where the reader was: the text, the settings, the position.
function restore() {
  const kept = loadKept();
  Object.assign(settings, kept.settings || {});
  applySettings();
  const text = localStorage.getItem(`${kStore}.text`);
  // Nothing to restore, or the reader has started a reading already.
  if (!text || state.generation !== 0) return;
  $("text").value = text;
  state.text = text;
  const position = kept.position && kept.position.text <= text.length ? kept.position : { text: 0, within: 0 };
  const from = position.text > kReadBackLimit ? position.text : 0;
  startReading(from);
  state.readUntil = position.text;
  // A reading the reader starts meanwhile (Get, a file) is theirs: the old
  // position no longer applies to it.
  const generation = state.generation;
  const settle = (tries) => {
    if (state.generation !== generation) return;
    const page = Array.from($("reading").children).find((p) => Number(p.dataset.start) === position.text);
    if (tries > 0 && (!page || state.loading || state.queue.length > 0)) {
      setTimeout(() => settle(tries - 1), 50);
      return;
    }
    state.readUntil = -1;
    if (!page) return;
    const top = window.scrollY + page.getBoundingClientRect().top;
    window.scrollTo(0, top + (position.within || 0) * page.getBoundingClientRect().height);
  };
  settle(400);
}

async function start() {
  $("get").addEventListener("click", get);
  $("all").addEventListener("click", () => { state.readAll = true; maybeReadOn(); });
  $("from-start").addEventListener("click", () => startReading(0));
  $("single").addEventListener("click", () => single());
  $("romaji-toggle").addEventListener("change", (e) => { setting("romaji", e.target.checked); redraw(); });
  $("furigana").addEventListener("change", (e) => setting("furigana", e.target.value));
  $("theme").addEventListener("change", (e) => setting("theme", e.target.value));
  $("vertical").addEventListener("change", (e) => setting("vertical", e.target.checked));
  $("smaller").addEventListener("click", () => setting("fontSize", Math.max(0.8, +(settings.fontSize - 0.15).toFixed(2))));
  $("larger").addEventListener("click", () => setting("fontSize", Math.min(4, +(settings.fontSize + 0.15).toFixed(2))));
  $("open").addEventListener("change", (e) => { if (e.target.files[0]) openFile(e.target.files[0]); e.target.value = ""; });
  document.addEventListener("keydown", pageKeys);
  const reading = $("reading");
  reading.addEventListener("keydown", readingKeys);
  reading.addEventListener("mouseover", (e) => { const i = itemOf(e.target); if (i) showPopup(i); });
  reading.addEventListener("mouseout", (e) => {
    if (itemOf(e.target) && !itemOf(e.relatedTarget) && !inPopup(e.relatedTarget)) hidePopup();
  });
  $("popup").addEventListener("mouseleave", (e) => { if (!itemOf(e.relatedTarget)) hidePopup(); });
  $("popup").addEventListener("focusout", (e) => {
    if (!inPopup(e.relatedTarget) && !itemOf(e.relatedTarget)) hidePopup();
  });
  reading.addEventListener("focusin", (e) => { const i = itemOf(e.target); if (i) showPopup(i); });
  reading.addEventListener("focusout", (e) => {
    if (!itemOf(e.relatedTarget) && !inPopup(e.relatedTarget)) hidePopup();
  });
  startStudy();
  reading.addEventListener("click", (e) => {
    const i = itemOf(e.target);
    if (i && window.getSelection().isCollapsed) {
      if (popupFor) popupFor.tabIndex = -1;
      i.tabIndex = 0;
      i.focus();
      showPopup(i);
    }
  });
  reading.addEventListener("scroll", maybeReadOn, { passive: true });
  window.addEventListener("scroll", maybeReadOn, { passive: true });
  window.addEventListener("pagehide", () => keep(false));
  document.addEventListener("visibilitychange", () => { if (document.hidden) keep(false); });
  const box = $("text");
  box.addEventListener("dragover", (e) => {
    if (e.dataTransfer && Array.from(e.dataTransfer.types).includes("Files")) {
      e.preventDefault();
      box.classList.add("dropping");
    }
  });
  box.addEventListener("dragleave", () => box.classList.remove("dropping"));
  box.addEventListener("drop", dropFile);
  try {
    const about = await callApi("/api/about");
    state.forms = Boolean(about.forms);
    $("forms-label").hidden = !state.forms;
    $("forms").addEventListener("change", (e) => {
      setting("forms", e.target.checked);
      if (state.text) startReading(state.start);
    });
    document.title = `${about.name} reading page`;
  } catch (e) {
    setStatus(`The server does not answer: ${e.message}`, true);
  }
  await loadWordList();
  restore();
}

start();
