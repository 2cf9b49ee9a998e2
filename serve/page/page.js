// The reading page: sends the passage to /api/get, shows the listing's items
// as running text (readings above the words, entries in a popup), pages
// through long passages, and looks up a selection with /api/single.
"use strict";

const $ = (id) => document.getElementById(id);

const state = {
  text: "",       // the passage as sent
  page: null,     // the last /api/get answer shown
  history: [],    // "from" of the pages before the one shown
  items: [],      // items shown, in order (all pages with "All pages")
  forms: false,   // the server offers the dictionary-forms mode
  busy: false,
};

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

// ---- The reading ---------------------------------------------------------

// A word shows its reading above it when its entry's headword is the word
// itself: a line found for only part of a longer headword would mislead.
function rubyReading(item, romaji) {
  if (item.kind !== "word" || !item.reading || item.headword !== item.text) return "";
  return romaji ? item.reading_romaji || item.reading : item.reading;
}

function renderItem(item, index, romaji) {
  if (item.kind === "passed") {
    return document.createTextNode(romaji ? item.romaji : item.text);
  }
  const span = document.createElement("span");
  span.className = item.kind === "word" ? "item word" : "item nomatch";
  span.dataset.index = String(index);
  span.tabIndex = -1;
  const reading = rubyReading(item, romaji);
  if (reading) {
    const ruby = document.createElement("ruby");
    ruby.append(item.text);
    const rt = document.createElement("rt");
    rt.textContent = reading;
    ruby.append(rt);
    span.append(ruby);
  } else {
    span.textContent = item.text;
  }
  markIfNew(span, item);
  span.setAttribute("aria-label", item.kind === "word"
    ? `${item.text}: ${item.form ? item.form + " " : ""}${item.reading ? item.reading + ", " : ""}${item.glosses.join("; ")}`
    : `${item.text}: no entry`);
  return span;
}

function renderReading() {
  const reading = $("reading");
  const romaji = $("romaji-toggle").checked;
  hidePopup();
  const fragment = document.createDocumentFragment();
  state.items.forEach((item, index) => fragment.append(renderItem(item, index, romaji)));
  reading.replaceChildren(fragment);
  const first = reading.querySelector(".item");
  if (first) first.tabIndex = 0;
}

function showPage(page, append) {
  state.page = page;
  state.items = append ? state.items.concat(page.items) : page.items;
  renderReading();
  const notice = $("notice");
  notice.hidden = !page.notice;
  notice.textContent = page.notice || "";
  $("next").hidden = page.next === null;
  $("all").hidden = page.next === null;
  $("previous").hidden = append || state.history.length === 0;
  const shownTo = page.next === null ? page.size : page.next;
  // Where the page lies in a text read in parts (bytes as the dictionary
  // counts them).
  const whole = append ? page.next === null : page.from === 0 && page.next === null;
  $("page-info").textContent = whole ? ""
    : `Bytes ${append ? 0 : page.from} to ${shownTo} of ${page.size}`;
  const words = page.items.filter((i) => i.kind === "word").length;
  const unfound = page.items.filter((i) => i.kind === "nomatch").length;
  setStatus(`${words} words found, ${unfound} characters without an entry` +
    (page.lossless ? "." : ". Some characters have no code in the dictionary's encoding and read as 〓.") +
    knownShareText());
}

async function loadPage(from, append) {
  const request = { text: state.text, from };
  if (state.forms && $("forms").checked) request.forms = true;
  return callApi("/api/get", request);
}

async function run(task) {
  if (state.busy) return;
  state.busy = true;
  for (const id of ["get", "next", "previous", "all"]) $(id).disabled = true;
  try {
    await task();
  } catch (e) {
    setStatus(`Could not read the passage: ${e.message}`, true);
  } finally {
    state.busy = false;
    for (const id of ["get", "next", "previous", "all"]) $(id).disabled = false;
  }
}

function get() {
  return run(async () => {
    state.text = $("text").value;
    state.history = [];
    setStatus("Reading…");
    showPage(await loadPage(0), false);
  });
}

function next() {
  return run(async () => {
    if (!state.page || state.page.next === null) return;
    const from = state.page.next;
    setStatus("Reading on…");
    const page = await loadPage(from);
    state.history.push(state.page.from);
    showPage(page, false);
    $("reading").scrollIntoView({ block: "start" });
  });
}

function previous() {
  return run(async () => {
    if (state.history.length === 0) return;
    const from = state.history.pop();
    showPage(await loadPage(from), false);
  });
}

// Every page from the first, one after another; each page starts behind
// the last, so the loop ends within as many pages as the text has bytes.
function allPages() {
  return run(async () => {
    state.history = [];
    let page = await loadPage(0);
    showPage(page, false);
    for (let guard = 0; page.next !== null && guard <= page.size; guard++) {
      setStatus(`Reading all pages… byte ${page.next} of ${page.size}`);
      page = await loadPage(page.next);
      showPage(page, true);
    }
  });
}

// ---- The popup -----------------------------------------------------------

let popupFor = null;

function hidePopup() {
  $("popup").hidden = true;
  if (popupFor) popupFor.classList.remove("shown");
  popupFor = null;
}

function showPopup(span) {
  const item = state.items[Number(span.dataset.index)];
  if (!item) return;
  const popup = $("popup");
  const romaji = $("romaji-toggle").checked;
  popup.replaceChildren();
  const head = document.createElement("div");
  head.className = "entry-head";
  head.lang = "ja";
  if (item.kind === "word") {
    if (item.form) {
      const form = document.createElement("div");
      form.className = "entry-form";
      form.textContent = `${item.text}: ${item.form}`;
      popup.append(form);
    }
    head.append(item.headword);
    if (item.reading) {
      const reading = document.createElement("span");
      reading.className = "entry-reading";
      reading.textContent = romaji && item.reading_romaji
        ? `${item.reading} (${item.reading_romaji})` : item.reading;
      head.append(reading);
    }
    popup.append(head);
    const list = document.createElement("ol");
    list.className = "glosses";
    list.lang = "en";
    for (const gloss of item.glosses) {
      const li = document.createElement("li");
      li.textContent = gloss;
      list.append(li);
    }
    popup.append(list);
    popup.append(studyButtons(item));
  } else {
    head.append(item.text);
    popup.append(head);
    const none = document.createElement("p");
    none.textContent = "No entry in the dictionary.";
    popup.append(none);
  }
  popup.append(kanjiSection(item.text));
  popup.hidden = false;
  const box = span.getBoundingClientRect();
  const width = popup.offsetWidth;
  const left = Math.max(4, Math.min(window.scrollX + box.left,
    window.scrollX + document.documentElement.clientWidth - width - 4));
  popup.style.left = `${left}px`;
  popup.style.top = `${window.scrollY + box.bottom + 4}px`;
  if (popupFor) popupFor.classList.remove("shown");
  popupFor = span;
  span.classList.add("shown");
  span.setAttribute("aria-describedby", "popup");
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
  const words = state.items.filter((i) => i.kind === "word");
  if (words.length === 0) return "";
  const known = words.filter((i) => i.known).length;
  return ` ${Math.round((100 * known) / words.length)} % of its words are known (${known} of ${words.length}).`;
}

// The sentence around items[index]: the items' text from after the last
// sentence end before it to the next one after it.
function sentenceAround(index) {
  const ends = /[。．！？!?\n]/;
  let start = index;
  while (start > 0 && !ends.test(state.items[start - 1].text.slice(-1))) start--;
  let end = index;
  while (end < state.items.length - 1 && !ends.test(state.items[end].text.slice(-1))) end++;
  return state.items.slice(start, end + 1).map((i) => i.text).join("").trim().slice(0, 400);
}

function sameWord(a, b) {
  return a.kind === "word" && a.headword === b.headword && (a.reading || "") === (b.reading || "");
}

async function markKnown(item, known) {
  const answer = await callApi("/api/known",
    { headword: item.headword, reading: item.reading || "", known });
  // Every occurrence of the word changes at once, on this page and the ones
  // appended to it.
  for (const other of state.items) if (sameWord(other, item)) other.known = answer.known;
  renderReading();
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
    button("Add to word list", async () => {
      const index = state.items.indexOf(item);
      const answer = await callApi("/api/add-word", {
        headword: item.headword, reading: item.reading || "",
        sentence: index >= 0 ? sentenceAround(index) : "", form: item.form || "",
      });
      return answer.outcome;
    }),
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
    renderReading();
  });
}

// ---- Single --------------------------------------------------------------

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
    if (state.forms && $("forms").checked) request.forms = true;
    const answer = await callApi("/api/single", request);
    result.replaceChildren();
    const key = document.createElement("p");
    key.className = "hint";
    key.textContent = answer.entries.length
      ? `${answer.entries.length} entries for 「${answer.key}」:` : `No entry matches 「${answer.key}」.`;
    result.append(key);
    for (const entry of answer.entries) {
      const div = document.createElement("div");
      div.className = "single-entry";
      const head = document.createElement("div");
      head.lang = "ja";
      const word = document.createElement("strong");
      word.textContent = entry.headword;
      head.append(word);
      if (entry.reading) {
        const reading = document.createElement("span");
        reading.className = "entry-reading";
        reading.textContent = entry.reading;
        head.append(reading);
      }
      if (entry.form) {
        const form = document.createElement("div");
        form.className = "entry-form";
        form.textContent = entry.form;
        div.append(form);
      }
      const glosses = document.createElement("div");
      glosses.lang = "en";
      glosses.textContent = entry.glosses.join("; ");
      div.append(head, glosses);
      result.append(div);
    }
  } catch (e) {
    result.textContent = `Could not look it up: ${e.message}`;
  }
}

// ---- Keyboard, pointer, drop ---------------------------------------------

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

async function dropFile(event) {
  const files = event.dataTransfer && event.dataTransfer.files;
  if (!files || files.length === 0) return;  // dropped text: the box takes it itself
  event.preventDefault();
  $("text").classList.remove("dropping");
  const bytes = new Uint8Array(await files[0].arrayBuffer());
  // UTF-8 when it is that, else the encodings Japanese text files come in.
  for (const encoding of ["utf-8", "shift_jis", "euc-jp", "iso-2022-jp"]) {
    try {
      $("text").value = new TextDecoder(encoding, { fatal: true }).decode(bytes);
      get();
      return;
    } catch (e) {
      // try the next encoding
    }
  }
  setStatus("The dropped file is not text in a Japanese encoding.", true);
}

async function start() {
  $("get").addEventListener("click", get);
  $("next").addEventListener("click", next);
  $("previous").addEventListener("click", previous);
  $("all").addEventListener("click", allPages);
  $("single").addEventListener("click", () => single());
  $("romaji-toggle").addEventListener("change", renderReading);
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
    $("forms").addEventListener("change", () => { if (state.page) get(); });
    document.title = `${about.name} reading page`;
  } catch (e) {
    setStatus(`The server does not answer: ${e.message}`, true);
  }
}

start();
