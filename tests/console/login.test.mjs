import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startServer, launchBrowser, loggedIn, screenshot } from './harness.mjs';

let server, browser;
before(async () => { server = await startServer(); browser = await launchBrowser(); });
after(async () => { await browser?.close(); await server?.stop(); });

test('a wrong key is refused and the right one opens the console', async () => {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(server.url);
  await page.fill('#login-key', 'not-the-key-0123456789');
  await page.click('#login button[type=submit]');
  await page.waitForFunction(() => document.getElementById('login-error').textContent !== '');
  assert.equal(await page.textContent('#login-error'), 'Неверный ключ.');
  assert.equal(await page.isHidden('#console'), true);

  await page.fill('#login-key', server.key);
  await page.click('#login button[type=submit]');
  await page.waitForSelector('#console:not([hidden])');
  const tabs = await page.locator('[role=tab]').allTextContents();
  assert.deepEqual(tabs, ['Сервер', 'Редактор звонков', 'Пользователи', 'Настройки']);
  await context.close();
});

test('every page, as an operator sees it', async () => {
  const page = await loggedIn(browser, server);
  await page.waitForFunction(() => document.getElementById('event-log').textContent.includes('TCP'));
  await screenshot(page, 'server');
  for (const [tab, name] of [['Редактор звонков', 'bells'], ['Пользователи', 'users'], ['Настройки', 'settings']]) {
    await page.click(`[role=tab]:text-is("${tab}")`);
    await page.waitForTimeout(300);
    await screenshot(page, name);
  }
});
