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

// The page's clock is the test's: ten seconds of it pass at once while the
// server holds back its reply to one poll.
test('a poll goes out only once the reply to the one before has been handled', async () => {
  let holding = false;
  const held = [];
  let holdingOne;
  const heldOne = new Promise((resolve) => { holdingOne = resolve; });
  const page = await loggedIn(browser, server, {
    beforeLoad: async (tab) => {
      await tab.clock.install();
      await tab.addInitScript(() => {
        const send = window.fetch;
        window.serverPolls = 0;
        window.fetch = (path, init) => {
          if (path === '/api/server' && init.method === 'GET') window.serverPolls += 1;
          return send(path, init);
        };
      });
      await tab.route((url) => url.pathname === '/api/server', (route) => {
        if (!holding) return route.continue();
        held.push(route);
        holdingOne();
      });
    },
  });
  // Polling starts once the page's first look at the server is drawn.
  await page.waitForFunction(() => document.getElementById('running-state').textContent !== '');
  holding = true;
  await heldOne;
  const sent = await page.evaluate(() => window.serverPolls);
  await page.clock.runFor(10_000);
  assert.equal(await page.evaluate(() => window.serverPolls), sent);

  holding = false;
  await held[0].continue();
  await page.waitForFunction((n) => window.serverPolls > n, sent);
  await page.context().close();
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
