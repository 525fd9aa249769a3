// "Редактор звонков": building a day through the drop-downs, days, the copy
// menu, the list's operations and the classrooms field.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startServer, launchBrowser, loggedIn, openTab, answerDialog, fromCp1251, screenshot } from './harness.mjs';

let server, browser, page;
before(async () => {
  server = await startServer();
  browser = await launchBrowser();
  page = await loggedIn(browser, server);
  await openTab(page, 'Редактор звонков', '/api/bells');
});
after(async () => { await browser?.close(); await server?.stop(); });

const field = (lesson, caption) => page.getByLabel(`Урок ${lesson}, ${caption}`, { exact: true });
// Resolves once the action's reply is drawn.
async function acted(path, act) {
  const reply = page.waitForResponse((r) => r.url().endsWith(path));
  await act();
  await reply;
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => resolve())));
}
const pick = (lesson, caption, value) =>
  acted('/api/bells/change', () => field(lesson, caption).selectOption({ label: value }));
const day = (caption) => acted('/api/bells/day', () => page.click(`.bells-days label:has-text("${caption}")`));
const shown = async (lesson) => Promise.all(
  ['начало, час.', 'начало, мин.', 'окончание, час.', 'окончание, мин.'].map((c) => field(lesson, c).inputValue()));

async function addSchema(name) {
  await page.getByLabel('Название новой схемы').fill(name);
  await page.click('.bells-add button[type=submit]');
  await page.waitForFunction((n) => [...document.querySelectorAll('.bells-schema')].some((b) => b.textContent === n),
                             name);
}

test('the chain of lessons is built through the drop-downs and saved as the schema file', async () => {
  await addSchema('Основное');
  await page.click('.bells-schema:text-is("Основное")');
  await day('пн');
  await pick(1, 'начало, час.', '8');
  await pick(1, 'начало, мин.', '30');
  await pick(1, 'длительность', '45');
  await pick(1, 'перемена', '10');
  await pick(2, 'длительность', '45');
  await pick(2, 'перемена', '15');
  await pick(3, 'длительность', '40');
  assert.deepEqual(await shown(1), ['8', '30', '9', '15']);
  assert.deepEqual(await shown(2), ['9', '25', '10', '10']);
  assert.deepEqual(await shown(3), ['10', '25', '11', '05']);
  await screenshot(page, 'bells-chain');
  await acted('/api/bells/save', () => page.click('.bells-under-grid button:text-is("Сохранить")'));
  const lines = fromCp1251(server.read('zvonok/Основное.ini')).split('\r\n');
  assert.ok(lines[0].startsWith('8:30:9:15:45:10:'), lines[0]);
  assert.ok(lines[1].startsWith('9:25:10:10:45:15:'), lines[1]);
  assert.ok(lines[2].startsWith('10:25:11:05:40: :'), lines[2]);
  assert.equal(lines[0].split(':').length, 43);
});

test('a day switch keeps the unsaved edits of the day left, and the copy menu copies a day', async () => {
  await day('вт');
  assert.equal(await field(1, 'начало, час.').inputValue(), ' ');
  await pick(1, 'начало, час.', '9');
  await day('пн');
  assert.equal(await field(1, 'начало, час.').inputValue(), '8');
  await day('вт');
  assert.equal(await field(1, 'начало, час.').inputValue(), '9');

  await page.click('button[aria-label="Копировать расписание звонков"]');
  await acted('/api/bells/copy_day', () => page.click('.context-menu [role=menuitem] >> nth=0'));  // from Monday
  assert.deepEqual(await shown(2), ['9', '25', '10', '10']);
});

test('rename and delete with their window and question', async () => {
  await addSchema('Короткий');
  await page.click('.bells-schema:text-is("Короткий")', { button: 'right' });
  await page.click('.context-menu [role=menuitem]:text-is("Переименовать")');
  const rename = page.locator('dialog.bells-rename[open]');
  await rename.waitFor();
  assert.equal(await rename.locator('header').textContent(), 'Переименовать');
  await rename.getByLabel('Новое название').fill('Сокращённый');
  await rename.locator('button:text-is("Продолжить")').click();
  await page.waitForSelector('.bells-schema:text-is("Сокращённый")');
  assert.equal(server.exists('zvonok/Сокращённый.ini'), true);

  await page.click('.bells-schema:text-is("Сокращённый")', { button: 'right' });
  await page.click('.context-menu [role=menuitem]:text-is("Удалить")');
  const asked = await answerDialog(page, 'Нет');
  assert.equal(asked.title, 'Внимание!');
  assert.ok(asked.text.includes('Сокращённый'), asked.text);
  assert.equal(await page.locator('.bells-schema:text-is("Сокращённый")').count(), 1);
  await page.click('.bells-schema:text-is("Сокращённый")', { button: 'right' });
  await page.click('.context-menu [role=menuitem]:text-is("Удалить")');
  await answerDialog(page, 'Да');
  await page.waitForSelector('.bells-schema:text-is("Сокращённый")', { state: 'detached' });
  assert.equal(server.exists('zvonok/Сокращённый.ini'), false);
});

test('the classrooms field is saved as kab.ini', async () => {
  await page.getByLabel('Кабинеты, по одному в строке').fill('101\nФизика\n\n  102  ');
  await acted('/api/classrooms/save', () => page.click('.bells-rooms button[type=submit]'));
  assert.equal(fromCp1251(server.read('raspisanie/kab.ini')), '101/Физика/  102/\r\n');
  await page.getByLabel('Кабинеты, по одному в строке').fill('Зал|1');
  await page.click('.bells-rooms button[type=submit]');
  const refused = await answerDialog(page, 'OK');
  assert.equal(refused.text, 'Название кабинета не может содержать символы "|" и "^"');
  assert.equal(fromCp1251(server.read('raspisanie/kab.ini')), '101/Физика/  102/\r\n');
});
