// "Пользователи": the form, the list's menu and its questions, saving, and
// the import of a class list.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import { startServer, launchBrowser, loggedIn, openTab, answerDialog, toCp1251, fromCp1251, screenshot } from './harness.mjs';

const seeded = 'Петров Пётр$1$$Учитель$petrov$p1$Да$Да$Да$\r\nАндреев Андрей$1$$Учитель$andreev$a1$Да$Да$Да$\r\n';
let server, browser, page;
before(async () => {
  server = await startServer({ seed: (dir) => writeFileSync(`${dir}/users.ini`, toCp1251(seeded)) });
  browser = await launchBrowser();
  page = await loggedIn(browser, server);
  await openTab(page, 'Пользователи', '/api/users');
});
after(async () => { await browser?.close(); await server?.stop(); });

const rows = () => page.locator('#users-table tbody tr');
const logins = async () => (await rows().evaluateAll((trs) => trs.map((tr) => tr.cells[4].textContent)));
async function menu(row, item) {
  await rows().nth(row).click({ button: 'right' });
  await page.click(item);
}

test('adding, the duplicate question answered Yes, delete answered No', async () => {
  await page.fill('#user-login', 'ivanov');
  await page.fill('#user-password', 'pw1');
  await page.fill('#user-full_name', 'Иванов Иван');
  await page.selectOption('#user-role', 'Учитель');
  await page.check('#user-active');
  await page.click('#user-add');
  await page.waitForFunction(() => document.querySelectorAll('#users-table tbody tr').length === 3);
  assert.deepEqual(await logins(), ['petrov', 'andreev', 'ivanov']);

  await page.fill('#user-login', 'ivanov');
  await page.fill('#user-password', 'pw2');
  await page.selectOption('#user-role', 'Учитель');
  await page.click('#user-add');
  const asked = await answerDialog(page, 'Да');
  assert.deepEqual(asked, { title: 'Внимание!', text: 'Такой пользователь уже существует.\nВнести изменения?' });
  await page.waitForFunction(() => [...document.querySelectorAll('#users-table tbody tr')]
    .some((tr) => tr.cells[5].textContent === 'pw2'));
  assert.equal(await rows().count(), 3);

  await menu(0, '#users-menu-delete');
  await answerDialog(page, 'Нет');
  assert.equal((await answerDialog(page, 'OK')).text, 'Какие вы не решительные');
  assert.equal(await rows().count(), 3);
  await screenshot(page, 'users');
});

test('sorting by login, blocking everybody, saving', async () => {
  await rows().nth(0).click({ button: 'right' });
  await page.hover('#users-menu-sort');
  await page.click('#users-menu-sort-login');
  await page.waitForFunction(() => document.querySelector('#users-table tbody tr').cells[4].textContent === 'andreev');
  assert.deepEqual(await logins(), ['andreev', 'ivanov', 'petrov']);

  await menu(0, '#users-menu-block');
  await answerDialog(page, 'Да');
  await page.waitForFunction(() => [...document.querySelectorAll('#users-table tbody input[type=checkbox]')]
    .every((box) => !box.checked));

  const saved = page.waitForResponse((r) => r.url().endsWith('/api/users/save'));
  await page.click('#users-save');
  await saved;
  const lines = fromCp1251(server.read('users.ini')).split('\r\n').filter(Boolean);
  assert.deepEqual(lines.map((l) => l.split('$')[4]), ['andreev', 'ivanov', 'petrov']);
  assert.ok(lines.every((l) => l.split('$')[1] === '0'), lines.join('\n'));
});

test('a class list of 30 pupils with two bad rows is imported with a report', async () => {
  const csv = ['ФИО;Класс;Роль;Логин;Пароль'];
  for (let i = 1; i <= 30; ++i) csv.push(`Ученик Номер${i};5А;Ученик;pupil${i};pw${i}`);
  csv[10] = 'Ученик Без Роли;5А;Космонавт;pupil10;pw10';
  csv[20] = 'Ученик С Ошибкой;5А;Ученик;pupil 20!;pw20';
  const before = await rows().count();
  await page.setInputFiles('#users-import-file', {
    name: '5a.csv', mimeType: 'text/csv', buffer: toCp1251(csv.join('\r\n') + '\r\n'),
  });
  const report = page.locator('dialog#users-import-report[open]');
  await report.waitFor();
  assert.match(await report.textContent(), /Добавлено 28 из 30/);
  assert.equal(await report.locator('tbody tr.import-refused').count(), 2);
  await screenshot(page, 'users-import');
  await report.locator('button:text-is("Закрыть")').click();
  assert.equal(await rows().count(), before + 28);
});
