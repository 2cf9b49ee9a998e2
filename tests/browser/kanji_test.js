// The kanji section of the reading page's popup in Debian's chromium,
// headless: a word's popup shows a block per kanji from a small kanjidic
// written here, and the kanji drawn large in the stroke-order font when the
// system has it (the font comes from the server, never from elsewhere).
//
//   node kanji_test.js DODEVUZ DATA_DIR [SCREENSHOT.png]
"use strict";

const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { startServer, launchBrowser, openPage, waitPopupSettled } = require("./harness.js");

const [dodevuz, dataDir, screenshot] = process.argv.slice(2);
const fontDir = "/usr/share/fonts/truetype/kanjistrokeorders";
const haveFont = fs.existsSync(fontDir) && fs.readdirSync(fontDir).some((f) => f.endsWith(".ttf"));

// The sample data and a kanjidic of two kanji (EUC-JP through iconv, which the
// build machine has), in a folder of the test's own.
function dataFolder() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "dodevuz-kanji-"));
  for (const name of ["edict", "edict.jdx", "kanarom.cnv", "deinflect.txt"]) {
    fs.copyFileSync(path.join(dataDir, name), path.join(folder, name));
  }
  const lines = "# kanji for the tests/Copyright The Testers - 2024/\n" +
    "日 467C U65e5 B72 G1 S4 F1 ニチ ジツ ひ T1 あき {day} {sun}\n" +
    "本 4B5C U672c B75 G1 S5 F10 ホン もと {book} {origin}\n";
  const euc = require("node:child_process").execFileSync("iconv", ["-f", "UTF-8", "-t", "EUC-JP"], { input: lines });
  fs.writeFileSync(path.join(folder, "kanjidic"), euc);
  return folder;
}

async function main() {
  const folder = dataFolder();
  const { server, url } = await startServer(dodevuz, folder);
  const { browser, close } = await launchBrowser();
  try {
    const { page, errors, foreign } = await openPage(browser, url, { width: 1000, height: 1100 });
    await page.$eval("#text", (box) => { box.value = "日本語を勉強する。"; });
    await page.click("#get");
    await page.waitForSelector("#reading .word");
    await (await page.$("#reading .word")).hover();
    await waitPopupSettled(page);
    await page.waitForSelector("#popup .kanji-section:not([hidden])", { timeout: haveFont ? 60000 : 10000 });
    const section = await page.$eval("#popup .kanji-section", (el) => el.innerText);
    assert.match(section, /日 day; sun/);
    assert.match(section, /Strokes\s+4/);
    assert.match(section, /Grade\s+1 \(primary school\)/);
    assert.match(section, /本 book; origin/);
    // 語 is not in this kanjidic.
    assert.match(section, /語 not in the kanji dictionary/);
    const large = await page.$$eval("#popup .kanji-large", (els) => els.map((e) => e.textContent));
    if (haveFont) {
      assert.deepEqual(large.slice(0, 2), ["日", "本"]);
      assert.ok(await page.evaluate(() => document.fonts.check('16px "Dodevuz Stroke Order"', "日")));
    } else {
      assert.equal(large.length, 0);
    }
    if (screenshot) await page.screenshot({ path: screenshot });
    assert.deepEqual(errors, []);
    assert.deepEqual(foreign, []);
    console.log(`ok   the popup's kanji section${haveFont ? " with the stroke-order font" : ""}`);
  } finally {
    await close();
    server.kill("SIGINT");
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
