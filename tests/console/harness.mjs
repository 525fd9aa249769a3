// The vocabulary of the browser tests: a real velmira process on a fresh
// data directory with free ports, and Debian's chromium logged in to its
// console.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync, existsSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceRoot = path.resolve(here, '..', '..');
export const buildDir = process.env.VELMIRA_BUILD_DIR || path.join(sourceRoot, 'build');
export const screenshotDir = path.join(buildDir, 'console-screenshots');
const binary = path.join(buildDir, 'velmira');
const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';

// Windows-1251 for the data files, as the server keeps them.
const cp1251 = new TextDecoder('windows-1251');
const encoder = (() => {
  const table = new Map();
  for (let b = 0; b < 256; ++b) table.set(cp1251.decode(Uint8Array.of(b)), b);
  return (text) => Buffer.from([...text].map((c) => table.get(c) ?? 0x3f));
})();
export const toCp1251 = encoder;
export const fromCp1251 = (bytes) => cp1251.decode(bytes);

// The letter code the records keep their author's login and password in.
const letterCode = (text) => [...text].map((c) => c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0'))
  .join('').replace(/[0-9A-F]/g, (d) => 'qazwsxedcrfvtgby'[parseInt(d, 16)]);
// A line of news/data.ini (or zametki/data.ini) by the teacher "teach".
export const newsRecord = (date, text) =>
  `${date}\v9:00:00\v${letterCode('teach')}\v${letterCode('t1')}\vУчитель Иван\vУчитель\v${text}\vclBlack\v`;

export function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Starts build/velmira on a new data directory: the factory settings with
// free ports; `seed(dir)` may write more files first.
export async function startServer({ seed, settings } = {}) {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'velmira-console-'));
  const lines = readFileSync(path.join(sourceRoot, 'data', 'setting.000'), 'latin1').split('\r\n');
  lines[1] = String(await freePort());
  lines[2] = String(await freePort());
  lines[3] = String(await freePort());
  if (settings) settings(lines);
  writeFileSync(path.join(dir, 'setting.ini'), lines.join('\r\n'), 'latin1');
  copyFileSync(path.join(sourceRoot, 'data', 'setting.000'), path.join(dir, 'setting.000'));
  if (seed) seed(dir);

  const child = spawn(binary, ['--data-dir', dir, '--console', '127.0.0.1:0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stderr.on('data', (chunk) => { output += chunk; });
  const url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no console line within 10 s:\n${output}`)), 10000);
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const found = /console: (http:\/\/\S+)/.exec(output);
      if (found) {
        clearTimeout(timer);
        resolve(found[1]);
      }
    });
    child.on('exit', (code) => reject(new Error(`velmira exited with ${code}:\n${output}`)));
  });
  const exited = once(child, 'exit');
  return {
    dir,
    url,
    tcpPort: Number(lines[1]),
    key: readFileSync(path.join(dir, 'console.key'), 'utf8').split('\n')[0],
    file: (name) => path.join(dir, name),
    read: (name) => readFileSync(path.join(dir, name)),
    exists: (name) => existsSync(path.join(dir, name)),
    // Resolves to the exit code.
    exited: exited.then(([code]) => code),
    async stop() {
      if (child.exitCode === null) {
        child.kill('SIGTERM');
        await exited;
      }
      rmSync(dir, { recursive: true, force: true });
    },
  };
}

export async function launchBrowser() {
  return chromium.launch({ executablePath: chromiumPath, headless: true, args: ['--no-sandbox'] });
}

// A page of the console, logged in with the server's key; each in a context
// of its own, as another operator's browser would be. `beforeLoad(page)`
// runs before the console is loaded.
export async function loggedIn(browser, server, { beforeLoad } = {}) {
  const context = await browser.newContext({ viewport: { width: 1366, height: 900 }, locale: 'ru-RU' });
  const page = await context.newPage();
  if (beforeLoad) await beforeLoad(page);
  await page.goto(server.url);
  await page.fill('#login-key', server.key);
  await page.click('#login button[type=submit]');
  await page.waitForSelector('#console:not([hidden])');
  return page;
}

// Opens a tab and resolves once its page has been fetched from `api`.
export async function openTab(page, caption, api) {
  const drawn = page.waitForResponse((r) => r.url().endsWith(api) && r.request().method() === 'GET');
  await page.click(`[role=tab]:text-is("${caption}")`);
  await drawn;
}

// Answers the message box or question that is open with the button `caption`;
// resolves to the dialog's header and text.
export async function answerDialog(page, caption) {
  const last = page.locator('dialog.box[open]').last();
  await last.waitFor();
  // This box, not the last one: a message the answer brings may open at once.
  const box = await last.elementHandle();
  const seen = { title: await (await box.$('header')).textContent(), text: await (await box.$('.box-text')).textContent() };
  await (await box.$(`footer button:text-is("${caption}")`)).click();
  await box.waitForElementState('hidden');
  return seen;
}

// The whole page, or with `fullPage: false` the window as the operator sees it.
export async function screenshot(page, name, { fullPage = true } = {}) {
  mkdirSync(screenshotDir, { recursive: true });
  await page.screenshot({ path: path.join(screenshotDir, `${name}.png`), fullPage });
}

// One request line on the client port, its reply within `ms`.
export function tcpExchange(port, line, ms = 2000) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    let reply = Buffer.alloc(0);
    const timer = setTimeout(() => { socket.destroy(); resolve(reply); }, ms);
    socket.on('connect', () => socket.write(Buffer.concat([Buffer.from(line, 'utf8'), Buffer.from('\r\n')])));
    socket.on('data', (chunk) => { reply = Buffer.concat([reply, chunk]); });
    socket.on('error', (e) => { clearTimeout(timer); reject(e); });
  });
}
