// The "Сервер" page: the live log and the close question.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { startServer, launchBrowser, loggedIn, answerDialog, tcpExchange, toCp1251 } from './harness.mjs';

const teacher = 'Учитель Иван$1$$Учитель$teach$t1$Да$Да$Да$\r\n';
let server, browser;
before(async () => {
  server = await startServer({ seed: (dir) => writeFileSync(`${dir}/users.ini`, toCp1251(teacher)) });
  browser = await launchBrowser();
});
after(async () => { await browser?.close(); await server?.stop(); });

test('a line caused by a TCP client appears in the log without a reload', async () => {
  const page = await loggedIn(browser, server);
  await tcpExchange(server.tcpPort, 'newsSUhitteach\vt1\vimg\vПривет\v', 300);
  await page.waitForFunction(
    () => document.getElementById('event-log').textContent.includes('teach Uhit добавление новости'), null,
    { timeout: 3000 });
  await page.click('#clear-log');
  await page.waitForFunction(() => document.getElementById('event-log').textContent === '');
});

test('the backup link downloads an archive of the data files', async () => {
  const page = await loggedIn(browser, server);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#backup')]);
  assert.match(download.suggestedFilename(), /^velmira-backup-\d{8}-\d{6}\.tar\.gz$/);
  const bytes = readFileSync(await download.path());
  assert.equal(bytes[0], 0x1f);
  assert.equal(bytes[1], 0x8b);
});

test('the close question answered No keeps the server, Yes ends it with status 0', async () => {
  const page = await loggedIn(browser, server);
  await page.click('#close-app');
  assert.deepEqual(await answerDialog(page, 'Нет'), { title: 'Внимание!', text: 'Закрыть приложение?' });
  await page.waitForTimeout(500);
  assert.equal(await page.isVisible('#start-stop'), true);

  await page.click('#close-app');
  await answerDialog(page, 'Да');
  assert.equal(await server.exited, 0);
  await page.waitForSelector('#closed');
});
