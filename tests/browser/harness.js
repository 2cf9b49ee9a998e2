// What the browser tests share: a `dodevuz serve` on a free port of
// loopback, Debian's chromium headless with a profile of its own, and a
// popup's settled state (its entries come from the server after it opens).
"use strict";

const { spawn } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const chromium = process.env.CHROMIUM || "/usr/bin/chromium";

// Resolves with the server and its address once it prints it.
function startServer(dodevuz, folder) {
  return new Promise((resolve, reject) => {
    const server = spawn(dodevuz, ["serve", "--port", "0", "-C", folder], { stdio: ["ignore", "pipe", "inherit"] });
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

// The browser and its profile folder, which close() removes.
async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "dodevuz-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: profile,
    // A slow machine under a parallel build answers late, not never.
    protocolTimeout: 600000,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--no-proxy-server",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Until the popup is open and holds the server's entries: before that it is
// drawn once from the listing's line, then drawn anew, and anything taken
// from the first drawing is gone.
async function waitPopupSettled(page, timeout = 30000) {
  await page.waitForSelector('#popup:not([hidden])[aria-busy="false"]', { timeout });
}

// A click on what the popup holds, through the DOM: the pointer stays on the
// word, so the popup stays open, and nothing drawn over the button takes the
// click.
async function clickInPopup(page, selector) {
  await waitPopupSettled(page);
  await page.$eval(`#popup ${selector}`, (b) => b.click());
}

// A page of the browser, its script errors and its requests to any other host
// gathered as they come (the page must ask nothing of any other host).
async function openPage(browser, url, viewport) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  const errors = [];
  page.on("pageerror", (e) => errors.push(String(e)));
  page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
  const foreign = [];
  page.on("request", (r) => { if (!r.url().startsWith(url)) foreign.push(r.url()); });
  await page.goto(url, { waitUntil: "networkidle0" });
  return { page, errors, foreign };
}

module.exports = { chromium, startServer, launchBrowser, openPage, waitPopupSettled, clickInPopup };
