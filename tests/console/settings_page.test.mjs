// The "Настройки" page: saving, the purge selectors, the calendar editor
// and the moderation window.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync, mkdirSync } from 'node:fs';
import { startServer, launchBrowser, loggedIn, answerDialog, freePort, tcpExchange, toCp1251, fromCp1251,
         newsRecord as record, screenshot } from './harness.mjs';

let server, browser;
before(async () => {
  server = await startServer({
    seed: (dir) => {
      mkdirSync(`${dir}/news`, { recursive: true });
      writeFileSync(`${dir}/news/data.ini`,
                    toCp1251(`${record('01.12.2026', 'первое')}\r\n${record('02.12.2026', 'второе')}\r\n`));
    },
  });
  browser = await launchBrowser();
});
after(async () => { await browser?.close(); await server?.stop(); });

async function settingsPage() {
  const page = await loggedIn(browser, server);
  await page.click('[role=tab]:text-is("Настройки")');
  await page.waitForFunction(() => document.getElementById('set-main_tcp_port').value !== '');
  return page;
}

test('a port with a letter is refused and nothing is saved; a valid save restarts the listeners', async () => {
  const page = await settingsPage();
  const before = server.read('setting.ini');
  await page.fill('#set-main_tcp_port', '70a1');
  await page.click('#settings-save');
  const refused = await answerDialog(page, 'OK');
  assert.equal(refused.text, 'Не заполнены ВСЕ поля раздаела "Порт". Можно использовать только буквы латинского ' +
                             'алфавита, цифры, знаки _ и -');
  assert.deepEqual(server.read('setting.ini'), before);

  const port = await freePort();
  await page.fill('#set-main_tcp_port', String(port));
  await page.fill('#set-phone', '+7 495 000-00-00');
  await page.click('#settings-save');
  assert.equal((await answerDialog(page, 'OK')).text, 'Настройки сохранены');
  const lines = fromCp1251(server.read('setting.ini')).split('\r\n');
  assert.equal(lines[1], String(port));
  assert.equal(lines[4], '+7 495 000-00-00');
  const reply = await tcpExchange(port, 'conecZvon', 1000);
  assert.equal(reply.subarray(0, 5).toString(), 'conec');
  await page.reload();
  await page.click('[role=tab]:text-is("Настройки")');
  await page.waitForFunction((p) => document.getElementById('set-main_tcp_port').value === p, String(port));
});

test('ticking a purge selects one month and enables its list; unticking empties and disables it', async () => {
  const page = await settingsPage();
  await page.check('#set-purge_news');
  await page.waitForFunction(() => document.getElementById('set-purge_news_age').value === '0');
  assert.equal(await page.isEnabled('#set-purge_news_age'), true);
  assert.equal(await page.textContent('#set-purge_news_unit'), 'месяца');
  await page.selectOption('#set-purge_news_age', '3');
  await page.waitForFunction(() => document.getElementById('set-purge_news_unit').textContent === 'месяцев');
  assert.equal(await page.locator('#set-purge_menus_age option').count(), 13);

  await page.uncheck('#set-purge_news');
  await page.waitForFunction(() => document.getElementById('set-purge_news_age').disabled);
  assert.equal(await page.inputValue('#set-purge_news_age'), '-1');
});

test('the password is masked and shown only while the eye is held', async () => {
  const page = await settingsPage();
  assert.equal(await page.getAttribute('#set-http_password', 'type'), 'password');
  await page.hover('#eye-http_password');
  await page.mouse.down();
  assert.equal(await page.getAttribute('#set-http_password', 'type'), 'text');
  await page.mouse.up();
  assert.equal(await page.getAttribute('#set-http_password', 'type'), 'password');
});

test('bold centred text in the calendar editor is saved as its markup', async () => {
  const page = await settingsPage();
  assert.equal(await page.isDisabled('#calendar-bold'), true);
  await page.check('#set-calendar_on');
  await page.waitForFunction(() => !document.getElementById('calendar-bold').disabled);
  await page.click('#calendar-editor');
  await page.keyboard.type('1 четверть');
  await page.keyboard.press('Enter');
  await page.keyboard.type('8 недель <всего>');
  // The first line: bold and centred.
  await page.keyboard.press('Control+Home');
  await page.keyboard.press('Shift+End');
  await page.click('#calendar-bold');
  await page.click('#calendar-centre');
  await screenshot(page, 'settings-calendar');
  await page.click('#calendar-save');
  await page.waitForFunction(() => !document.querySelector('dialog[open]'));
  await page.waitForTimeout(200);
  assert.equal(fromCp1251(server.read('kalendgraf.ini')), '<c><b>1 четверть</b></c><br>8 недель <всего>\r\n');
  assert.equal(server.exists('kalendgraf.rtf'), true);
  await page.reload();
  await page.click('[role=tab]:text-is("Настройки")');
  await page.waitForSelector('#calendar-editor b');
  assert.equal(await page.textContent('#calendar-editor b'), '1 четверть');
});

test('the moderation window deletes the checked announcement', async () => {
  const page = await settingsPage();
  await page.click('#moderate-news');
  const window = page.locator('dialog#moderation[open]');
  await window.waitFor();
  assert.equal(await window.locator('header').textContent(), 'Удаление объявлений');
  const headers = await window.locator('thead th').allTextContents();
  assert.deepEqual(headers.slice(1), ['Дата', 'Время', 'Логин', 'Пароль', 'ФИО', 'Роль', 'Сообщение', 'Цвет']);
  const visible = await window.locator('thead th:visible').allTextContents();
  assert.deepEqual(visible.slice(1), ['Дата', 'Логин', 'ФИО', 'Роль', 'Сообщение']);
  assert.equal(await window.locator('tbody tr td:visible').nth(2).textContent(), 'teach');
  await screenshot(page, 'moderation');
  await window.locator('tbody tr').first().locator('input[type=checkbox]').check();
  await window.locator('#moderation-delete').click();
  await page.waitForFunction(() => document.querySelectorAll('#moderation tbody tr').length === 1);
  assert.equal(await window.locator('tbody tr td').nth(7).textContent(), 'второе');
  assert.equal(fromCp1251(server.read('news/data.ini')), `${record('02.12.2026', 'второе')}\r\n`);

  await window.locator('#moderation-delete-all').click();
  assert.equal((await answerDialog(page, 'Нет')).text, 'Вы действительно хотите удалить ВСЕ сообщения?');
  assert.equal(server.exists('news/data.ini'), true);
  await window.locator('#moderation-delete-all').click();
  await answerDialog(page, 'Да');
  await page.waitForFunction(() => document.querySelectorAll('#moderation tbody tr').length === 0);
  assert.equal(server.exists('news/data.ini'), false);
});
