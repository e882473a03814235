// The search page of `veskor serve` in headless Chromium (Debian's /usr/bin/chromium, driven by
// playwright-core): typing a misspelt query shows the right hit with its matching parts marked,
// stale answers never replace newer ones, the keyboard alone gets around, switching knowledge
// base shows documents with their sentences, and a stopped service is reported.
//
// Environment: VESKOR_CLI (the tool), VESKOR_SAMPLE_DIR (data/sample), VESKOR_SCREENSHOT (where
// the screenshot goes). Run by ctest as `node --test page.test.mjs`.
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import { mkdirSync, mkdtempSync, readdirSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

const require = createRequire(import.meta.url);
const cli = process.env.VESKOR_CLI;
const sample = process.env.VESKOR_SAMPLE_DIR;
const screenshot = process.env.VESKOR_SCREENSHOT;
const chromiumPath = process.env.VESKOR_CHROMIUM || "/usr/bin/chromium";

let chromium;
try {
  ({ chromium } = require("playwright-core"));
} catch (error) {
  throw new Error("playwright-core is not installed in tests/browser/node_modules: run scripts/install-npm-deps");
}

const work = mkdtempSync(path.join(tmpdir(), "veskor-browser-"));
let server = null;
let context = null;
let page = null;
let base = "";

// The service never outlives this process, however it ends.
process.on("exit", () => {
  if (server && server.child.exitCode === null) server.child.kill("SIGKILL");
});

function tool(...args) {
  execFileSync(cli, args, { cwd: work, stdio: ["ignore", "ignore", "inherit"] });
}

// Starts `veskor serve` on a free port; resolves with its address once it listens.
function startServer(args) {
  return new Promise((resolve, reject) => {
    const child = spawn(cli, ["serve", ...args, "--listen", "127.0.0.1:0"], { cwd: work });
    let out = "";
    let err = "";
    const timer = setTimeout(() => reject(new Error("veskor serve did not start: " + err)), 20000);
    child.stdout.on("data", (chunk) => {
      out += chunk;
      const match = out.match(/listening on (http:\/\/127\.0\.0\.1:\d+)/);
      if (match) {
        clearTimeout(timer);
        resolve({ child, url: match[1] });
      }
    });
    child.stderr.on("data", (chunk) => (err += chunk));
    child.on("exit", (code) => reject(new Error("veskor serve ended with " + code + ": " + err)));
  });
}

function stopServer() {
  if (!server || server.child.exitCode !== null) return Promise.resolve(server ? server.child.exitCode : 0);
  return new Promise((resolve) => {
    server.child.on("exit", (code) => resolve(code));
    server.child.kill("SIGTERM");
  });
}

before(async () => {
  assert.ok(cli && sample, "VESKOR_CLI and VESKOR_SAMPLE_DIR must be set");
  tool("create", "places.kb", "--store-texts");
  tool("import", "places.kb", path.join(sample, "entries.tsv"));
  tool("create", "docs.kb", "--kind", "documents", "--store-texts");
  tool("create", "words.kb", "--kind", "words");
  const docs = readdirSync(path.join(sample, "docs")).map((name) => path.join(sample, "docs", name));
  tool("import-docs", "docs.kb", ...docs, "--wkb", "words.kb");
  server = await startServer(["places.kb", "docs.kb", "words.kb", "--wkb", "words.kb", "--read-only"]);
  base = server.url;
  context = await chromium.launchPersistentContext(path.join(work, "profile"), {
    executablePath: chromiumPath,
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
    viewport: { width: 1000, height: 720 },
  });
  page = context.pages()[0] || (await context.newPage());
});

after(async () => {
  if (context) await context.close();
  if (server && server.child.exitCode === null) server.child.kill("SIGKILL");
  rmSync(work, { recursive: true, force: true });
});

const firstHit = () => page.locator("ol#results > li").first();

test("a misspelt query finds its entry, marked, and late answers never replace newer ones", async () => {
  await page.goto(base + "/");
  await page.locator("#kb option").nth(2).waitFor({ state: "attached" });
  assert.deepEqual(await page.locator("#kb option").allTextContents(),
                   ["places (entries, 348)", "docs (documents, 80)", "words (words, 611)"]);
  assert.equal(await page.evaluate(() => document.activeElement.id), "q");

  // The answer for the first part of the query is held back until after the full query's answer.
  let held = 0;
  await page.route(/\/find\?/, async (route) => {
    const query = new URL(route.request().url()).searchParams.get("q");
    if (query === "Rotenburg") {
      held++;
      await new Promise((resolve) => setTimeout(resolve, 1500));
    }
    await route.continue().catch(() => {});  // the page may have given up on it
  });
  await page.keyboard.type("Rotenburg", { delay: 20 });
  await page.waitForTimeout(400);
  await page.keyboard.type(" Taubr", { delay: 20 });
  await page.locator('#results[data-query="Rotenburg Taubr"]').waitFor({ state: "attached" });
  await page.waitForTimeout(1700);
  assert.equal(held, 1);
  assert.equal(await page.locator("#results").getAttribute("data-query"), "Rotenburg Taubr");
  await page.unroute(/\/find\?/);

  // The page shows what the service answers for the full query.
  const answer = await (await fetch(base + "/v1/kbs/places/find?n=10&q=Rotenburg%20Taubr")).json();
  const best = answer.hits[0];
  assert.equal(best.key, "ort105");
  assert.equal(best.text, "_ROTHENBURG_OB_DER_TAUBER_BAYERN_");
  assert.equal(await page.locator("ol#results > li").count(), answer.hits.length);
  assert.equal(await firstHit().locator(".key").textContent(), "ort105");
  assert.equal(await firstHit().locator(".text").textContent(), "ROTHENBURG OB DER TAUBER BAYERNort105");
  assert.equal(await firstHit().locator(".confidence").textContent(), best.confidence.toFixed(4));
  const marked = await firstHit().locator("mark").allTextContents();
  assert.ok(marked.includes("TAUB"), "marked: " + marked.join("|"));
  assert.ok(marked.some((part) => part.startsWith("RO")), "marked: " + marked.join("|"));
  assert.ok(!marked.some((part) => part.includes("BAYERN")), "marked: " + marked.join("|"));
  const width = await firstHit().locator(".bar > span").evaluate((bar) => bar.style.width);
  assert.equal(width, (best.confidence * 100).toFixed(1) + "%");
  if (screenshot) {
    mkdirSync(path.dirname(screenshot), { recursive: true });
    await page.screenshot({ path: screenshot });
  }
});

test("the keyboard alone moves through results and switches knowledge base", async () => {
  await page.keyboard.press("ArrowDown");
  assert.equal(await page.evaluate(() => document.activeElement === document.querySelector("#results > li")), true);
  await page.keyboard.press("ArrowDown");
  assert.equal(await page.evaluate(() => document.activeElement === document.querySelectorAll("#results > li")[1]),
               true);
  await page.keyboard.press("Escape");
  assert.equal(await page.evaluate(() => document.activeElement.id), "q");

  await page.keyboard.press("Shift+Tab");
  assert.equal(await page.evaluate(() => document.activeElement.id), "kb");
  await page.keyboard.press("ArrowDown");
  assert.equal(await page.locator("#kb").inputValue(), "docs");
  await page.keyboard.press("Tab");
  await page.keyboard.press("Control+A");
  await page.keyboard.type("Honig ernten", { delay: 20 });
  // Switching searched the old query in the new knowledge base first; wait for the new query's answer.
  const answer = await (await fetch(base + "/v1/kbs/docs/find?n=10&q=Honig%20ernten")).json();
  const expected = answer.documents[0];
  assert.equal(expected.key, "bienen");
  await page.locator('#results[data-kb="docs"][data-query="Honig ernten"]').waitFor({ state: "attached" });
  assert.equal(await page.locator("ol#results > li").count(), answer.documents.length);
  const sentences = firstHit().locator("ul.sentences > li");
  for (let i = 0; i < expected.sentences.length; i++) {
    assert.equal(await sentences.nth(i).locator(".text").textContent(), expected.sentences[i].text);
    assert.equal(await sentences.nth(i).locator(".confidence").textContent(), expected.sentences[i].score.toFixed(1));
  }
  const honey = expected.sentences.findIndex((sentence) => sentence.text.includes("HONIG"));
  assert.equal(expected.sentences[honey].text, "AUS DEM NEKTAR ENTSTEHT IM STOCK DER HONIG");
  assert.deepEqual(await sentences.nth(honey).locator("mark").allTextContents(), ["HONIG"]);

  // "/" from anywhere else brings the search box back, its text kept.
  await page.keyboard.press("ArrowDown");
  assert.equal(await page.evaluate(() => document.activeElement.id), "");
  await page.keyboard.press("/");
  assert.equal(await page.evaluate(() => document.activeElement.id), "q");
  assert.equal(await page.locator("#q").inputValue(), "Honig ernten");
});

test("a stopped service is reported as unreachable", async () => {
  assert.equal(await page.locator("#message").isVisible(), false);
  assert.equal(await stopServer(), 0);
  await page.locator("#q").fill("Honig");
  const message = page.locator("#message[role=alert]");
  await message.waitFor({ state: "visible", timeout: 10000 });
  assert.match(await message.textContent(), /cannot be reached/);
});
