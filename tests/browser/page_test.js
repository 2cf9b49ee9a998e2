// The reading page of `dodevuz serve` in Debian's chromium, headless, driven
// by puppeteer-core: a passage is pasted and read, its readings and popups
// are checked against the listing `dodevuz get` prints, a long text is paged
// with Next, a selection is looked up with Single, and the page is used with
// the keyboard alone, at 200 % zoom and in the dark scheme.
//
//   node page_test.js DODEVUZ DATA_DIR [SCREENSHOT.png]
"use strict";

const assert = require("node:assert/strict");
const { spawn, execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const [dodevuz, dataDir, screenshot] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || "/usr/bin/chromium";
const passage = fs.readFileSync(path.join(dataDir, "samples", "passage.utf8.txt"), "utf8");

// The listing as the command line prints it: each word with its entry line.
function listingWords(text) {
  const out = execFileSync(dodevuz, ["get", "--utf8", "-C", dataDir, "--pane", "listing", "-"],
    { input: text, encoding: "utf8" });
  const words = [];
  for (const line of out.split("\n")) {
    const m = /^(.*?)(\S+) {8}((\S+) (?:\[(\S+)\] )?\/(.*)\/)$/.exec(line);
    if (m && !line.includes("NOMATCH")) {
      words.push({ word: m[2], line: m[3], headword: m[4], reading: m[5] || "", glosses: m[6].split("/").filter(Boolean) });
    }
  }
  return words;
}

function startServer() {
  return new Promise((resolve, reject) => {
    const server = spawn(dodevuz, ["serve", "--port", "0", "-C", dataDir], { stdio: ["ignore", "pipe", "inherit"] });
    let out = "";
    server.stdout.on("data", (chunk) => {
      out += chunk;
      const m = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(out);
      if (m) resolve({ server, url: m[0] });
    });
    server.on("exit", (code) => reject(new Error(`dodevuz serve ended with ${code}`)));
    setTimeout(() => reject(new Error("dodevuz serve printed no address")), 10000);
  });
}

// The reading's text without the readings above its words.
async function readingText(page) {
  return page.$eval("#reading", (el) => {
    const copy = el.cloneNode(true);
    copy.querySelectorAll("rt").forEach((rt) => rt.remove());
    return copy.textContent;
  });
}

async function paste(page, text) {
  await page.$eval("#text", (box) => { box.value = ""; });
  await page.focus("#text");
  await page.keyboard.sendCharacter(text);
}

async function getAndWait(page) {
  await page.click("#get");
  await page.waitForFunction(() => document.querySelector("#status").textContent.includes("words found")
    || document.querySelector("#status").classList.contains("error"));
  const status = await page.$eval("#status", (el) => el.textContent);
  assert.match(status, /words found/);
}

async function main() {
  const { server, url } = await startServer();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "dodevuz-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  let failed = false;
  const step = async (name, body) => {
    try {
      await body();
      console.log(`ok   ${name}`);
    } catch (e) {
      failed = true;
      console.log(`FAIL ${name}\n${e.stack}`);
    }
  };
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1100, height: 820 });
    const errors = [];
    page.on("pageerror", (e) => errors.push(String(e)));
    page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    // The page asks nothing of any other host.
    const foreign = [];
    page.on("request", (r) => { if (!r.url().startsWith(url)) foreign.push(r.url()); });
    await page.goto(url, { waitUntil: "networkidle0" });

    const words = listingWords(passage);
    assert.ok(words.length > 10, "the listing has words");

    await step("a pasted passage reads with the listing's readings above its words", async () => {
      await paste(page, passage);
      await getAndWait(page);
      assert.equal(await readingText(page), passage);
      const shown = await page.$$eval("#reading .word", (spans) => spans.map((s) => ({
        word: s.querySelector("ruby") ? s.querySelector("ruby").firstChild.textContent : s.textContent,
        rt: s.querySelector("rt") ? s.querySelector("rt").textContent : "",
      })));
      assert.equal(shown.length, words.length);
      shown.forEach((s, i) => {
        // The listing's line holds the kana before the word too.
        assert.ok(words[i].word.endsWith(s.word), `${s.word} in ${words[i].word}`);
        words[i].word = s.word;
        // A reading stands above a word whose entry is the word itself.
        assert.equal(s.rt, words[i].headword === words[i].word ? words[i].reading : "", s.word);
      });
      assert.ok(shown.filter((s) => s.rt).length > 5);
      const unfound = await page.$$eval("#reading .nomatch", (s) => s.length);
      const listingUnfound = (execFileSync(dodevuz, ["get", "--utf8", "-C", dataDir, "--pane", "listing", "-"],
        { input: passage, encoding: "utf8" }).match(/NOMATCH/g) || []).length;
      assert.equal(unfound, listingUnfound);
    });

    await step("a word's popup shows its entry from the listing", async () => {
      const index = words.findIndex((w) => w.glosses.length > 1);
      const spans = await page.$$("#reading .word");
      await spans[index].hover();
      await page.waitForSelector("#popup:not([hidden])");
      const popup = await page.$eval("#popup", (el) => el.innerText);
      assert.ok(popup.includes(words[index].headword), popup);
      for (const gloss of words[index].glosses) assert.ok(popup.includes(gloss), `${gloss} in ${popup}`);
      await page.mouse.move(2, 2);
      await page.waitForSelector("#popup[hidden]", { hidden: true });
    });

    await step("new words are marked until the popup's Known marks them, and the setting hides the marks", async () => {
      const knownFile = path.join(dataDir, "known.tsv");
      fs.rmSync(knownFile, { force: true });
      await getAndWait(page);
      const marked = () => page.$$eval("#reading .word.new", (s) => s.length);
      assert.equal(await marked(), words.length);
      assert.match(await page.$eval("#status", (el) => el.textContent), /0 % of its words are known/);
      const index = words.findIndex((w) => w.headword === w.word);
      const spans = await page.$$("#reading .word");
      await spans[index].hover();
      await page.waitForSelector("#popup:not([hidden])");
      const [known] = await page.$$("#popup .study button");
      await known.click();  // the pointer crosses into the popup: it stays
      await page.waitForFunction((n) => document.querySelectorAll("#reading .word.new").length < n, {}, words.length);
      const same = words.filter((w) => w.headword === words[index].headword && w.reading === words[index].reading).length;
      assert.equal(await marked(), words.length - same);
      assert.match(await page.$eval("#status", (el) => el.textContent), /% of its words are known \(\d+ of \d+\)/);
      assert.match(fs.readFileSync(knownFile, "utf8"), new RegExp(`^${words[index].headword}\t`));
      await page.click("#mark-new");
      assert.equal(await marked(), 0);
      await page.click("#mark-new");
      fs.rmSync(knownFile, { force: true });
      await getAndWait(page);
      assert.equal(await marked(), words.length);
    });

    await step("the romaji toggle spells readings and kana in romaji", async () => {
      await page.click("#romaji-toggle");
      const rts = await page.$$eval("#reading rt", (r) => r.map((x) => x.textContent));
      assert.ok(rts.includes("nihongo"), rts.join(" "));
      assert.ok(!rts.some((r) => /[\u3041-\u3096]/.test(r)), "no kana left in the readings");
      await page.click("#romaji-toggle");
      assert.ok((await page.$$eval("#reading rt", (r) => r.map((x) => x.textContent))).includes("にほんご"));
    });

    await step("Single looks up the selected text", async () => {
      const target = words.find((w) => w.word.length >= 2 && w.headword === w.word);
      await page.evaluate((word) => {
        const span = Array.from(document.querySelectorAll("#reading .word"))
          .find((s) => (s.querySelector("ruby") ? s.querySelector("ruby").firstChild.textContent : s.textContent) === word);
        const range = document.createRange();
        range.selectNodeContents(span);
        const selection = window.getSelection();
        selection.removeAllRanges();
        selection.addRange(range);
      }, target.word);
      await page.keyboard.down("Control");
      await page.keyboard.press("KeyL");
      await page.keyboard.up("Control");
      await page.waitForFunction(() => document.querySelector("#single-result .single-entry"));
      const result = await page.$eval("#single-result", (el) => el.innerText);
      assert.ok(result.includes(`「${target.word}」`), result);
      const first = await page.$eval("#single-result .single-entry", (el) => el.innerText);
      assert.ok(first.includes(target.headword) && first.includes(target.glosses[0]), first);
    });

    await step("the page works with the keyboard alone", async () => {
      await page.reload({ waitUntil: "networkidle0" });
      await page.keyboard.press("Tab");  // into the box
      assert.equal(await page.evaluate(() => document.activeElement.id), "text");
      await page.keyboard.sendCharacter("日本語を勉強します。");
      await page.keyboard.down("Control");
      await page.keyboard.press("Enter");
      await page.keyboard.up("Control");
      await page.waitForSelector("#reading .word");
      // Tab reaches the first word; the arrows move along the words.
      for (let i = 0; i < 20 && !(await page.evaluate(() => document.activeElement.classList.contains("item"))); i++) {
        await page.keyboard.press("Tab");
      }
      assert.equal(await page.evaluate(() => document.activeElement.textContent), "日本語にほんご");
      assert.ok(await page.$eval("#popup", (el) => !el.hidden && el.innerText.includes("Japanese")));
      await page.keyboard.press("ArrowRight");
      assert.match(await page.evaluate(() => document.activeElement.textContent), /^勉強/);
      await page.keyboard.press("Enter");  // Single on the focused word
      await page.waitForFunction(() => document.querySelector("#single-result").innerText.includes("「勉強」"));
      await page.keyboard.press("Escape");
      assert.ok(await page.$eval("#popup", (el) => el.hidden));
    });

    await step("the dictionary-forms checkbox lists a conjugated word by its entry", async () => {
      assert.ok(await page.$eval("#forms-label", (l) => !l.hidden));
      await paste(page, "食べました。");
      await page.click("#forms");  // reads the passage again in the new mode
      await page.waitForFunction(() => document.querySelector("#reading .word")
        && document.querySelector("#reading .word").textContent === "食べました");
      await page.hover("#reading .word");
      await page.waitForSelector("#popup:not([hidden])");
      const popup = await page.$eval("#popup", (el) => el.innerText);
      assert.ok(popup.includes("(polite past of 食べる)") && popup.includes("to eat"), popup);
      await page.click("#forms");
      await page.waitForFunction(() => document.querySelector("#reading .word").textContent !== "食べました");
      await page.mouse.move(2, 2);
    });

    await step("a long text is read page by page with Next, never silently cut", async () => {
      let text = "";
      while (Buffer.byteLength(text) < 45000) text += passage;
      await page.$eval("#text", (box, t) => { box.value = t; }, text);
      await getAndWait(page);
      let shown = "";
      for (let pages = 1; ; pages++) {
        assert.ok(pages < 60, "the pages end");
        shown += await readingText(page);
        const hasNext = await page.$eval("#next", (b) => !b.hidden);
        if (!hasNext) {
          assert.ok(await page.$eval("#notice", (n) => n.hidden));
          assert.ok(pages > 2, `${pages} pages`);
          break;
        }
        assert.match(await page.$eval("#notice", (n) => n.textContent), /listing is full/);
        const before = await page.$eval("#page-info", (el) => el.textContent);
        await page.click("#next");
        await page.waitForFunction((b) => document.querySelector("#page-info").textContent !== b, {}, before);
      }
      assert.equal(shown, text);
      // All pages at once, in order.
      await page.click("#previous");
      await page.waitForFunction(() => !document.querySelector("#next").hidden);
      await page.click("#all");
      await page.waitForFunction(() => document.querySelector("#next").hidden && !document.querySelector("#get").disabled, { timeout: 60000 });
      assert.equal(await readingText(page), text);
    });

    await step("readable at 200 % zoom: nothing runs off the side", async () => {
      await page.setViewport({ width: 1100, height: 820, deviceScaleFactor: 1 });
      await paste(page, passage);
      await getAndWait(page);
      await page.evaluate(() => { document.body.style.zoom = "2"; });
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
      assert.ok(overflow <= 1, `${overflow} px run off`);
      await page.evaluate(() => { document.body.style.zoom = ""; });
    });

    await step("the dark scheme when the system asks for one", async () => {
      const light = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
      await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "dark" }]);
      const dark = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
      assert.notEqual(dark, light);
      const [r, g, b] = dark.match(/\d+/g).map(Number);
      assert.ok(r + g + b < 150, dark);
      await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "light" }]);
    });

    await step("no script errors, no request to any other host", async () => {
      assert.deepEqual(errors, []);
      assert.deepEqual(foreign, []);
    });

    if (screenshot) {
      await page.setViewport({ width: 1100, height: 700 });
      await page.reload({ waitUntil: "networkidle0" });
      await paste(page, passage.split("\n").slice(0, 4).join("\n"));
      await getAndWait(page);
      const spans = await page.$$("#reading .word");
      await page.evaluate(() => {
        const span = document.querySelectorAll("#reading .word")[1];
        const range = document.createRange();
        range.selectNodeContents(span);
        window.getSelection().removeAllRanges();
        window.getSelection().addRange(range);
      });
      await page.click("#single");
      await page.waitForSelector("#single-result .single-entry");
      await page.evaluate(() => window.getSelection().removeAllRanges());
      await spans[4].hover();
      await page.waitForSelector("#popup:not([hidden])");
      await page.screenshot({ path: screenshot });
      console.log(`wrote ${screenshot}`);
    }
  } finally {
    await browser.close();
    server.kill("SIGINT");
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exitCode = failed ? 1 : 0;
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
