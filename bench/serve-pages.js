// Pages through a whole text as the reading page does (serve/page/page.js,
// readOn): POST /api/get with the part of the text not yet listed, a window
// at a time (8,000 characters first, then three times what the last page
// took, from 2,000 to 40,000), "more" while the text goes on, "forms" in the
// "Dictionary forms" mode; the next page starts next_chars on. Checks that
// the pages' items, put together, are the whole text, byte for byte.
//
//   node bench/serve-pages.js PORT TEXT.utf8 [--forms] [--bodies FILE]
//
// --bodies writes every answer's body, one a line, to compare two servers.
// Prints "pages=N" and "chars=N" on success; exits 1 when a request fails or
// the text is not listed whole.
"use strict";

const fs = require("fs");
const http = require("http");

const kWindow = 40000;
const kFirstWindow = 8000;

function fail(message) {
  process.stderr.write(`serve-pages: ${message}\n`);
  process.exit(1);
}

const args = process.argv.slice(2);
const port = Number(args[0]);
const file = args[1];
if (!port || !file) fail("usage: node serve-pages.js PORT TEXT.utf8 [--forms] [--bodies FILE]");
const forms = args.includes("--forms");
const bodiesAt = args.indexOf("--bodies");
const bodiesFile = bodiesAt >= 0 ? args[bodiesAt + 1] : null;

const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });

function post(path, body) {
  const data = Buffer.from(JSON.stringify(body), "utf8");
  return new Promise((resolve, reject) => {
    const request = http.request(
      {
        host: "127.0.0.1",
        port,
        path,
        method: "POST",
        agent,
        headers: { "Content-Type": "application/json", "Content-Length": data.length },
      },
      (response) => {
        const chunks = [];
        response.on("data", (c) => chunks.push(c));
        response.on("end", () => {
          const text = Buffer.concat(chunks).toString("utf8");
          if (response.statusCode !== 200) reject(new Error(`${response.statusCode}: ${text}`));
          else resolve(text);
        });
        response.on("error", reject);
      },
    );
    request.on("error", reject);
    request.end(data);
  });
}

async function main() {
  // A textarea's value: line ends read as "\n".
  const text = fs.readFileSync(file, "utf8").replace(/\r\n?/g, "\n");
  const bodies = bodiesFile ? fs.openSync(bodiesFile, "w") : null;
  let pos = 0;
  let lastTaken = 0;
  let pages = 0;
  let lossless = true;
  const listed = [];
  for (;;) {
    const reach = Math.min(kWindow, lastTaken ? Math.max(2000, 3 * lastTaken) : kFirstWindow);
    let end = Math.min(text.length, pos + reach);
    if (end < text.length && /[\ud800-\udbff]/.test(text[end - 1])) end--;
    const request = { text: text.slice(pos, end), more: end < text.length };
    if (forms) request.forms = true;
    const body = await post("/api/get", request);
    if (bodies !== null) fs.writeSync(bodies, body + "\n");
    const page = JSON.parse(body);
    pages++;
    lossless = lossless && page.lossless;
    for (const item of page.items) listed.push(item.text);
    const start = pos;
    pos = page.next === null ? text.length : start + page.next_chars;
    if (pos <= start && page.next !== null) fail(`page ${pages} did not read on`);
    lastTaken = pos - start;
    if (page.next === null) break;
  }
  if (bodies !== null) fs.closeSync(bodies);
  agent.destroy();
  // Every byte in an item, in order: the items are the text again (when
  // every character has an EUC-JP code).
  if (lossless && listed.join("") !== text) fail("the pages' items are not the whole text");
  process.stdout.write(`pages=${pages}\nchars=${text.length}\n`);
}

main().catch((e) => fail(e.message));
