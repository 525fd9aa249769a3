// "Пользователи": the user form, the list of every user with its check
// boxes, the list's context menu, a filter over the list, and the import
// and export of class lists. The server holds the form and the table; the
// page draws what it replies and posts what the operator does.
import { action, get, inOrder, request } from './api.js';
import { showMessage } from './dialogs.js';
import { element } from './dom.js';
import { openMenu } from './menu.js';

const form = {};     // control name -> element
const list = {};     // the list's elements
let rows = [];       // the table as last drawn
let selected = -1;   // table index of the selected row, -1 for none
let formRequest = 0; // the latest form post; older replies are stale

// The page's requests, in the order the operator made them: a row index or
// a check box list is read against the list the previous reply drew, and
// goes with that list's tag.
const enqueue = inOrder();

const flagNames = ['active', 'may_read_news', 'may_publish_news', 'may_publish_notes'];
const flagCaptions = {
  active: 'Активен',
  may_read_news: 'Просмотр объявлений',
  may_publish_news: 'Добавление объявлений',
  may_publish_notes: 'Добавление заметок',
};
const columnKeys = ['full_name', 'class', 'role', 'login', 'password', 'may_read_news', 'may_publish_news',
                    'may_publish_notes'];

// --- the form ---------------------------------------------------------------

function select(id, onchange) {
  return element('select', { id, onchange });
}

function fillOptions(node, values, labels = values) {
  if (node.options.length === values.length + 1) return;
  node.replaceChildren(element('option', { value: '' }, '—'),
                       ...values.map((value, i) => element('option', { value: String(value) }, String(labels[i]))));
}

function formValues() {
  const number = form.class_number.value;
  return {
    login: form.login.value,
    password: form.password.value,
    full_name: form.full_name.value,
    class_number: number === '' ? null : Number(number),
    class_letter: form.class_letter.value || null,
    role: form.role.value || null,
    ...Object.fromEntries(flagNames.map((name) => [name, form[name].checked])),
  };
}

// The role rules run on the server: every change that can move them is
// posted at once, and the reply's enabled states and rule-set values shown.
// Text fields keep what is being typed into them.
function formChanged() {
  const mine = ++formRequest;
  const values = formValues();
  return enqueue(async () => {
    const page = await action('/api/users/form', values);
    if (page && mine === formRequest) drawForm(page, false);
  });
}

let typingTimer = null;
function fullNameTyped() {
  clearTimeout(typingTimer);
  typingTimer = setTimeout(formChanged, 150);
}

function drawForm(page, withText = true) {
  const values = page.form;
  fillOptions(form.role, page.roles);
  fillOptions(form.class_number, page.class_numbers);
  fillOptions(form.class_letter, page.class_letters);
  if (withText) {
    for (const name of ['login', 'password', 'full_name']) form[name].value = values[name];
  }
  form.role.value = values.role ?? '';
  form.class_number.value = values.class_number === null ? '' : String(values.class_number);
  form.class_letter.value = values.class_letter ?? '';
  for (const name of flagNames) form[name].checked = values[name];
  form.class_number.disabled = !page.enabled.class_number;
  form.class_letter.disabled = !page.enabled.class_letter;
  form.may_publish_news.disabled = !page.enabled.may_publish_news;
  form.may_publish_notes.disabled = !page.enabled.may_publish_notes;
}

function mountForm() {
  const text = (name, caption, extra = {}) => {
    form[name] = element('input', { type: 'text', id: `user-${name}`, autocomplete: 'off', spellcheck: false, ...extra });
    return element('label', { for: `user-${name}` }, caption, form[name]);
  };
  form.role = select('user-role', formChanged);
  form.class_number = select('user-class-number', formChanged);
  form.class_letter = select('user-class-letter', formChanged);
  form.class_number.setAttribute('aria-label', 'Класс: номер');
  form.class_letter.setAttribute('aria-label', 'Класс: буква');
  const flags = flagNames.map((name) => {
    form[name] = element('input', { type: 'checkbox', id: `user-${name}`, onchange: formChanged });
    return element('label', { for: `user-${name}` }, form[name], flagCaptions[name]);
  });
  const fullName = text('full_name', 'ФИО', { oninput: fullNameTyped });
  const classGroup = element('div', { className: 'user-class' },
    element('span', { className: 'caption', id: 'user-class-caption' }, 'Класс'),
    element('div', { className: 'user-class-lists' }, form.class_number, form.class_letter));
  const add = element('button', { type: 'submit', id: 'user-add' }, 'Добавить пользователя');
  const clearButton = element('button', { type: 'button', id: 'user-clear', className: 'secondary',
                                          onclick: () => run('/api/users/clear') },
                              'Очистить личные данные и права');
  const save = element('button', { type: 'button', id: 'users-save', onclick: () => run('/api/users/save') },
                       'Сохранить');
  const node = element('form', { className: 'user-form', id: 'user-form', onsubmit: (event) => {
    event.preventDefault();
    run('/api/users/add', formValues());
  } },
    element('fieldset', { className: 'user-fields' },
      element('legend', {}, 'Пользователь'),
      text('login', 'Логин*'), text('password', 'Пароль*'), fullName, classGroup,
      element('label', { for: 'user-role' }, 'Роль*', form.role)),
    element('fieldset', { className: 'user-flags' }, element('legend', {}, 'Права'), ...flags),
    element('div', { className: 'buttons user-buttons' }, add, clearButton, save));
  return node;
}

// --- the list ---------------------------------------------------------------

function rowText(row) {
  return [row.full_name, row.class, row.role, row.login, row.password].join('\u0001').toLowerCase();
}

function cell(value) {
  if (typeof value === 'boolean') return value ? 'Да' : 'Нет';
  return value;
}

// One <tr> per table row, built in one fragment: 800 rows draw in a frame.
function drawRows() {
  const fragment = document.createDocumentFragment();
  rows.forEach((row, i) => {
    const box = element('input', { type: 'checkbox', checked: row.active, tabIndex: -1,
                                   'aria-label': `Активен: ${row.full_name || row.login}` });
    const tr = element('tr', { tabIndex: -1 }, element('td', { className: 'check' }, box));
    tr.dataset.row = String(i);
    for (const key of columnKeys) tr.append(element('td', {}, cell(row[key])));
    fragment.append(tr);
  });
  list.body.replaceChildren(fragment);
  list.texts = rows.map(rowText);
  applyFilter();
  if (selected >= rows.length) selected = -1;
  markSelected(false);
  list.count.textContent = `Пользователей: ${rows.length}`;
}

function rowElement(i) {
  return i >= 0 ? list.body.children[i] : null;
}

function visibleRows() {
  return [...list.body.children].filter((tr) => !tr.hidden);
}

function applyFilter() {
  const words = list.filter.value.toLowerCase().split(/\s+/).filter(Boolean);
  let shown = 0;
  [...list.body.children].forEach((tr, i) => {
    tr.hidden = !words.every((word) => list.texts[i].includes(word));
    if (!tr.hidden) shown++;
  });
  list.shown.textContent = words.length ? `Показано: ${shown}` : '';
  list.empty.hidden = shown !== 0;
  list.empty.textContent = rows.length === 0 ? 'Пользователей нет.' : 'Никто не подходит под фильтр.';
  markSelected(false);
}

// The selected row is the list's one tab stop (the first shown row when
// none is selected), so 800 rows do not cost 800 presses of Tab.
function markSelected(focus) {
  for (const tr of list.body.querySelectorAll('tr[aria-selected=true]')) tr.removeAttribute('aria-selected');
  for (const tr of list.body.querySelectorAll('tr[tabindex="0"]')) tr.tabIndex = -1;
  const tr = rowElement(selected);
  const stop = tr && !tr.hidden ? tr : visibleRows()[0];
  if (tr) tr.setAttribute('aria-selected', 'true');
  if (stop) {
    stop.tabIndex = 0;
    if (focus) {
      stop.focus();
      stop.scrollIntoView({ block: 'nearest' });
    }
  }
}

function rowOf(target) {
  const tr = target.closest('tr[data-row]');
  return tr ? Number(tr.dataset.row) : -1;
}

function selectRow(i, focus = false) {
  selected = i;
  markSelected(focus);
}

function checksChanged() {
  const active = [...list.body.children].map((tr) => tr.querySelector('input').checked);
  return run('/api/users/checks', { active }, { guarded: true });
}

function moveSelection(step) {
  const shown = visibleRows().map((tr) => Number(tr.dataset.row));
  if (shown.length === 0) return;
  const at = shown.indexOf(selected);
  const next = at < 0 ? 0 : Math.min(shown.length - 1, Math.max(0, at + step));
  selectRow(shown[next], true);
}

function onListKey(event) {
  const i = rowOf(event.target);
  if (i < 0) return;
  const keys = {
    ArrowDown: () => moveSelection(1),
    ArrowUp: () => moveSelection(-1),
    PageDown: () => moveSelection(15),
    PageUp: () => moveSelection(-15),
    Home: () => moveSelection(-rows.length),
    End: () => moveSelection(rows.length),
    Enter: () => loadRow(i),
    ' ': () => {
      const box = rowElement(i).querySelector('input');
      box.checked = !box.checked;
      checksChanged();
    },
    Delete: () => deleteRow(i),
    ContextMenu: () => openListMenu(rowElement(i), i),
  };
  const key = event.key === 'F10' && event.shiftKey ? 'ContextMenu' : event.key;
  if (!keys[key]) return;
  event.preventDefault();
  if (key !== 'Enter' && key !== 'ContextMenu' && key !== 'Delete') selectRow(i);
  keys[key]();
}

function loadRow(i) {
  selectRow(i, true);
  return run('/api/users/load_row', { row: i }, { guarded: true });
}

function deleteRow(i) {
  if (i < 0) return;
  run('/api/users/delete', { row: i }, { guarded: true });
}

function mountList() {
  list.filter = element('input', { type: 'search', id: 'users-filter', placeholder: 'Фильтр: фамилия, класс, логин…',
                                   'aria-label': 'Фильтр списка пользователей', oninput: applyFilter });
  list.count = element('span', { className: 'users-count' });
  list.shown = element('span', { className: 'users-count' });
  list.body = element('tbody', {
    onclick: (event) => {
      const i = rowOf(event.target);
      if (i < 0) return;
      selectRow(i);
      if (event.target.matches('input[type=checkbox]')) checksChanged();
    },
    ondblclick: (event) => {
      const i = rowOf(event.target);
      if (i >= 0 && !event.target.matches('input')) loadRow(i);
    },
    oncontextmenu: (event) => {
      const i = rowOf(event.target);
      event.preventDefault();
      if (i >= 0) selectRow(i);
      openListMenu(null, i, event.clientX, event.clientY);
    },
    onkeydown: onListKey,
  });
  const head = element('tr', {}, element('th', { className: 'check', scope: 'col', title: 'Активен' }, '✓'));
  for (const caption of ['ФИО', 'Класс', 'Роль', 'Логин', 'Пароль', 'Объяв. просмотр', 'Объяв. добавление',
                         'Добав. заметок']) {
    head.append(element('th', { scope: 'col' }, caption));
  }
  list.empty = element('p', { className: 'empty', hidden: true });
  const menuButton = element('button', { type: 'button', id: 'users-menu', className: 'secondary outline',
                                         'aria-haspopup': 'menu',
                                         onclick: (event) => openListMenu(event.currentTarget, selected) },
                             'Действия со списком ▾');
  const importFile = element('input', { type: 'file', id: 'users-import-file', accept: '.csv,text/csv', hidden: true,
                                        onchange: () => importChosen(importFile) });
  const generate = element('input', { type: 'checkbox', id: 'users-import-generate' });
  list.generate = generate;
  const tools = element('div', { className: 'toolbar users-tools' },
    list.filter, list.count, list.shown, element('span', { className: 'spacer' }), menuButton,
    element('button', { type: 'button', id: 'users-import', className: 'secondary',
                        onclick: () => importFile.click() }, 'Импорт из CSV…'),
    element('label', { for: 'users-import-generate', className: 'inline' }, generate,
            'создать недостающие логины и пароли'),
    importFile,
    element('a', { href: '/api/users/export.csv', download: 'users.csv', id: 'users-export', role: 'button',
                   className: 'secondary outline' }, 'Экспорт в CSV'));
  return element('div', { className: 'users-list' }, tools,
    element('div', { className: 'table-scroll users-scroll' },
            element('table', { className: 'users-table', id: 'users-table' }, element('thead', {}, head), list.body)),
    list.empty);
}

// --- the context menu -------------------------------------------------------

// Opened by a right click at (x, y), or from a row or the menu button with
// the keyboard; "Удалить" acts on row `i`.
function openListMenu(opener, i, x, y) {
  openMenu([
    { caption: 'Сортировать по ...', id: 'users-menu-sort', items: [
      { caption: 'Логину', id: 'users-menu-sort-login', onselect: () => run('/api/users/sort', { by: 'login' }) },
      { caption: 'ФИО', id: 'users-menu-sort-name', onselect: () => run('/api/users/sort', { by: 'full_name' }) },
    ] },
    { caption: 'Заблокировать всех', id: 'users-menu-block', onselect: () => run('/api/users/block_all') },
    { caption: 'Активировать всех', id: 'users-menu-activate', onselect: () => run('/api/users/activate_all') },
    { caption: 'Удалить', id: 'users-menu-delete', onselect: () => deleteRow(i), disabled: i < 0 },
  ], { opener: opener || rowElement(i) || list.body, id: 'users-menu-list', x, y });
}

// --- import -----------------------------------------------------------------

const outcomeCaptions = { added: 'добавлен', exists: 'уже есть', refused: 'не добавлен' };

function importChosen(input) {
  const file = input.files[0];
  input.value = '';
  if (!file) return;
  const path = list.generate.checked ? '/api/users/import?generate=1' : '/api/users/import';
  enqueue(async () => {
    const reply = await request('POST', path, file);
    for (const text of reply.messages) await showMessage(text);
    draw(reply.page);
    if (!reply.report.error) showReport(file.name, reply.report);
  });
}

function showReport(name, report) {
  const body = element('tbody');
  for (const row of report.rows) {
    body.append(element('tr', { className: `import-${row.outcome}` },
      element('td', {}, String(row.line)), element('td', {}, outcomeCaptions[row.outcome]),
      element('td', {}, row.full_name), element('td', {}, row.login), element('td', {}, row.password),
      element('td', {}, row.message)));
  }
  const dialog = element('dialog', { className: 'import-report', id: 'users-import-report' });
  const close = element('button', { type: 'button', onclick: () => dialog.close() }, 'Закрыть');
  dialog.append(element('article', {},
    element('header', {}, element('strong', {}, `Импорт: ${name}`)),
    element('p', {}, `Добавлено ${report.added} из ${report.rows.length}. Сохраните список кнопкой «Сохранить».`),
    element('div', { className: 'table-scroll' },
      element('table', {},
        element('thead', {}, element('tr', {}, ...['Строка', 'Итог', 'ФИО', 'Логин', 'Пароль', 'Причина']
          .map((caption) => element('th', { scope: 'col' }, caption)))),
        body)),
    element('footer', {}, close)));
  dialog.addEventListener('close', () => dialog.remove());
  document.body.append(dialog);
  dialog.showModal();
  close.focus();
}

// --- drawing ----------------------------------------------------------------

function sameRows(next) {
  return next.length === rows.length && JSON.stringify(next) === JSON.stringify(rows);
}

function draw(page) {
  drawForm(page);
  if (!sameRows(page.rows)) {
    const focused = document.activeElement && list.body.contains(document.activeElement);
    rows = page.rows;
    drawRows();
    if (focused) markSelected(true);
  }
}

async function reload() {
  draw(await get('/api/users'));
}

function run(path, body = {}, options = {}) {
  return enqueue(async () => {
    const page = await action(path, body, options);
    if (page) draw(page);
    else await reload();
  });
}

export function mount(section) {
  section.replaceChildren(element('div', { className: 'users-page' }, mountForm(), mountList()));
}

export function show() {
  return enqueue(reload);
}
