// Two operators on one list, each in a browser of their own: an index or a
// "yes" one of them sends after the other changed the list is refused, and
// the page shows the list as it is now.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, writeFileSync } from 'node:fs';
import { startServer, launchBrowser, loggedIn, openTab, answerDialog, toCp1251, fromCp1251, newsRecord,
         screenshot } from './harness.mjs';

const stale = 'Список изменился в другом окне консоли. Страница обновлена — проверьте и повторите действие.';
const news = (...texts) => texts.map((text, i) => `${newsRecord(`0${i + 1}.12.2026`, text)}\r\n`);
const [first, second, third] = news('первое', 'второе', 'третье');
const users = 'Петров Пётр$1$$Учитель$petrov$p1$Да$Да$Да$\r\nАндреев Андрей$1$$Учитель$andreev$a1$Да$Да$Да$\r\n';

let server, browser;
before(async () => {
  server = await startServer({
    seed: (dir) => {
      mkdirSync(`${dir}/news`, { recursive: true });
      writeFileSync(`${dir}/news/data.ini`, toCp1251(first + second + third));
      writeFileSync(`${dir}/users.ini`, toCp1251(users));
    },
  });
  browser = await launchBrowser();
});
after(async () => { await browser?.close(); await server?.stop(); });

async function moderation(page) {
  await openTab(page, 'Настройки', '/api/settings');
  await page.click('#moderate-news');
  const window = page.locator('dialog#moderation[open]');
  await window.waitFor();
  return window;
}
const messages = (window) => window.locator('tbody tr').evaluateAll((trs) => trs.map((tr) => tr.cells[7].textContent));
async function deleteChecked(window, row) {
  await window.locator('tbody tr').nth(row).locator('input[type=checkbox]').check();
  await window.locator('#moderation-delete').click();
}
const rowCount = (page, count) =>
  page.waitForFunction((n) => document.querySelectorAll('#moderation tbody tr').length === n, count);

test('announcements checked in a list another operator has changed since are not deleted', async () => {
  const a = await loggedIn(browser, server);
  const b = await loggedIn(browser, server);
  const windowA = await moderation(a);
  assert.deepEqual(await messages(windowA), ['первое', 'второе', 'третье']);
  const windowB = await moderation(b);
  await deleteChecked(windowB, 0);
  await rowCount(b, 2);

  // A means "второе", which is row 1 of the list A sees; row 1 is "третье" now.
  await deleteChecked(windowA, 1);
  await a.locator('dialog.box[open]').waitFor();
  await rowCount(a, 2);
  assert.deepEqual(await messages(windowA), ['второе', 'третье']);
  await screenshot(a, 'two-operators-moderation', { fullPage: false });
  assert.equal((await answerDialog(a, 'OK')).text, stale);
  assert.equal(fromCp1251(server.read('news/data.ini')), second + third);

  // The list drawn again is the one A's next delete names.
  await deleteChecked(windowA, 0);
  await rowCount(a, 1);
  assert.equal(fromCp1251(server.read('news/data.ini')), third);
  await a.context().close();
  await b.context().close();
});

const logins = (page) => page.locator('#users-table tbody tr').evaluateAll((trs) => trs.map((tr) => tr.cells[4].textContent));

test('a Yes to the delete question after another operator sorted the list deletes nobody', async () => {
  const a = await loggedIn(browser, server);
  const b = await loggedIn(browser, server);
  await openTab(a, 'Пользователи', '/api/users');
  await openTab(b, 'Пользователи', '/api/users');
  assert.deepEqual(await logins(a), ['petrov', 'andreev']);
  await a.locator('#users-table tbody tr').nth(0).click({ button: 'right' });
  await a.click('#users-menu-delete');
  await a.locator('dialog.box[open]').waitFor();

  await b.locator('#users-table tbody tr').nth(0).click({ button: 'right' });
  await b.hover('#users-menu-sort');
  await b.click('#users-menu-sort-name');
  await b.waitForFunction(() => document.querySelector('#users-table tbody tr').cells[4].textContent === 'andreev');

  // Row 0 was Петров when A was asked; it is Андреев now.
  assert.equal((await answerDialog(a, 'Да')).text, 'Вы действительно хотите удалить \nПетров Пётр');
  await a.locator('dialog.box[open]').waitFor();
  await a.waitForFunction(() => document.querySelector('#users-table tbody tr').cells[4].textContent === 'andreev');
  await screenshot(a, 'two-operators-users', { fullPage: false });
  assert.equal((await answerDialog(a, 'OK')).text, stale);
  assert.deepEqual(await logins(a), ['andreev', 'petrov']);
  const table = await (await fetch(`${server.url}api/users`, { headers: { Authorization: `Bearer ${server.key}` } })).json();
  assert.deepEqual(table.rows.map((row) => row.login), ['andreev', 'petrov']);
  await a.context().close();
  await b.context().close();
});
