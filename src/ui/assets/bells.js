// "Редактор звонков": the schema list, the time grid of one day, the day
// selectors, the copy menu, the week preview and the classrooms group.
// Every change goes to the server at once; the page is drawn again from the
// state the server returns, so what is shown is always the editor's.
import { action, get, showError } from './api.js';

const DAYS = ['пн', 'вт', 'ср', 'чт', 'пт', 'сб', 'вс'];
const DAY_NAMES = ['понедельник', 'вторник', 'среда', 'четверг', 'пятница', 'суббота', 'воскресенье'];
const LESSONS = 10;
const FIELDS = 6;

let root = null;
let state = null;
const ui = {};

// One request at a time, in the order the operator made them: a quick
// second change must see the grid the first one left.
let queue = Promise.resolve();
function enqueue(task) {
  queue = queue.then(task).catch(showError);
  return queue;
}

function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(props)) {
    if (name === 'class') node.className = value;
    else if (name === 'text') node.textContent = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else if (value === true) node.setAttribute(name, '');
    else if (value !== false && value !== undefined) node.setAttribute(name, value);
  }
  node.append(...children);
  return node;
}

// --- pop-up menus ------------------------------------------------------------

let openMenu = null;

function closeMenu(focusAnchor = false) {
  if (!openMenu) return;
  const { menu, anchor } = openMenu;
  openMenu = null;
  menu.remove();
  document.removeEventListener('pointerdown', onPointerOutside, true);
  if (focusAnchor && anchor && anchor.isConnected) anchor.focus();
}

function onPointerOutside(event) {
  if (openMenu && !openMenu.menu.contains(event.target)) closeMenu();
}

// `entries` are [caption, handler]; shown at the pointer, or under `anchor`
// when opened from the keyboard.
function popup(entries, anchor, point) {
  closeMenu();
  const menu = el('div', { class: 'bells-menu', role: 'menu' });
  for (const [caption, handler] of entries) {
    menu.append(el('button', {
      type: 'button',
      role: 'menuitem',
      text: caption,
      onclick: () => {
        closeMenu(true);
        enqueue(handler);
      },
    }));
  }
  menu.addEventListener('keydown', (event) => {
    const items = [...menu.querySelectorAll('button')];
    const at = items.indexOf(document.activeElement);
    if (event.key === 'Escape') closeMenu(true);
    else if (event.key === 'ArrowDown') items[(at + 1) % items.length].focus();
    else if (event.key === 'ArrowUp') items[(at - 1 + items.length) % items.length].focus();
    else if (event.key === 'Tab') closeMenu(true);
    else return;
    event.preventDefault();
  });
  document.body.append(menu);
  const box = anchor.getBoundingClientRect();
  const x = point ? point.x : box.left;
  const y = point ? point.y : box.bottom;
  menu.style.left = `${Math.min(x, window.innerWidth - menu.offsetWidth - 4)}px`;
  menu.style.top = `${Math.min(y, window.innerHeight - menu.offsetHeight - 4)}px`;
  openMenu = { menu, anchor };
  document.addEventListener('pointerdown', onPointerOutside, true);
  menu.querySelector('button').focus();
}

// --- actions -------------------------------------------------------------------

async function post(path, body) {
  const page = await action(path, body);
  // A refused request showed its error; draw what the server holds now.
  render(page || (await get('/api/bells')));
  return page;
}

function selectSchema(index) {
  return enqueue(() => post('/api/bells/select', { index }));
}

function schemaMenu(index, anchor, point) {
  const open = (at) => popup([
    ['↑ выше', () => post('/api/bells/move', { step: -1 })],
    ['↓ ниже', () => post('/api/bells/move', { step: 1 })],
    ['Переименовать', openRename],
    ['Удалить', () => post('/api/bells/delete', {})],
  ], at, point);
  if (index === state.selected) {
    open(anchor);
    return;
  }
  // The menu acts on the selected schema: another row is selected first.
  selectSchema(index).then(() => {
    const row = ui.schemas.querySelector(`button[data-index="${index}"]`);
    if (state.selected === index && row) open(row);
  });
}

async function openRename() {
  const page = await post('/api/bells/rename_window', { open: true });
  if (!page || !page.rename) return;
  ui.renameOld.textContent = page.rename.old_name;
  ui.renameNew.value = '';
  ui.rename.showModal();
  ui.renameNew.focus();
}

function continueRename(event) {
  event.preventDefault();
  enqueue(async () => {
    const page = await post('/api/bells/rename', { name: ui.renameNew.value });
    if (page && !page.rename) ui.rename.close();
    else ui.renameNew.focus();
  });
}

function cancelRename(event) {
  if (event) event.preventDefault();
  ui.rename.close();
  enqueue(() => post('/api/bells/rename_window', { open: false }));
}

function addSchema(event) {
  event.preventDefault();
  enqueue(async () => {
    const page = await post('/api/bells/add', { name: ui.name.value });
    if (page) ui.name.value = page.name_field;
    ui.name.focus();
  });
}

function changeField(lesson, field, select) {
  enqueue(() => post('/api/bells/change', { lesson, field, value: select.value }));
}

function saveClassrooms(event) {
  event.preventDefault();
  enqueue(async () => {
    const page = await action('/api/classrooms/save', { text: ui.rooms.value });
    if (page) ui.rooms.value = page.text;
  });
}

// --- building the page -----------------------------------------------------------

function buildList() {
  ui.schemas = el('tbody');
  ui.name = el('input', { type: 'text', 'aria-label': 'Название новой схемы', autocomplete: 'off' });
  return el('div', { class: 'bells-list' },
    el('table', { class: 'bells-schemas' }, el('thead', {}, el('tr', {}, el('th', { scope: 'col', text: 'Схема' }))),
      ui.schemas),
    el('form', { class: 'bells-add', onsubmit: addSchema }, ui.name, el('button', { type: 'submit', text: 'Добавить' })));
}

function buildGrid() {
  const head = el('thead', {},
    el('tr', {},
      el('th', { rowspan: 2, scope: 'col', 'aria-label': 'Урок' }),
      el('th', { colspan: 2, scope: 'colgroup', text: 'Начало' }),
      el('th', { colspan: 2, rowspan: 2, scope: 'colgroup', text: 'Окончание' }),
      el('th', { rowspan: 2, scope: 'col', text: 'Длит.' }),
      el('th', { rowspan: 2, scope: 'col', text: 'Перемена' })),
    el('tr', {}, el('th', { scope: 'col', text: 'час.' }), el('th', { scope: 'col', text: 'мин.' })));
  const captions = ['начало, час.', 'начало, мин.', 'окончание, час.', 'окончание, мин.', 'длительность', 'перемена'];
  const body = el('tbody');
  ui.grid = [];
  for (let lesson = 1; lesson <= LESSONS; lesson += 1) {
    const row = el('tr', {}, el('th', { scope: 'row', text: String(lesson) }));
    const selects = [];
    for (let field = 1; field <= FIELDS; field += 1) {
      const select = el('select', { 'aria-label': `Урок ${lesson}, ${captions[field - 1]}` });
      select.addEventListener('change', () => changeField(lesson, field, select));
      selects.push(select);
      row.append(el('td', {}, select));
    }
    ui.grid.push(selects);
    body.append(row);
  }
  return el('table', { class: 'bells-grid' }, head, body);
}

function buildDays() {
  ui.days = DAYS.map((caption, i) => {
    const radio = el('input', { type: 'radio', name: 'bells-day', value: String(i + 1) });
    radio.addEventListener('change', () => enqueue(() => post('/api/bells/day', { day: i + 1 })));
    return radio;
  });
  return el('div', { class: 'bells-days', role: 'radiogroup', 'aria-label': 'День недели' },
    ...ui.days.map((radio, i) => el('label', {}, radio, DAYS[i])));
}

// Two overlapping sheets, drawn here so the page needs no image file.
function copyImage() {
  const ns = 'http://www.w3.org/2000/svg';
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', '0 0 16 16');
  svg.setAttribute('aria-hidden', 'true');
  for (const [x, y] of [[1, 1], [5, 5]]) {
    const sheet = document.createElementNS(ns, 'rect');
    for (const [name, value] of Object.entries({ x, y, width: 10, height: 10, rx: 1.5 })) sheet.setAttribute(name, value);
    sheet.setAttribute('fill', x === 1 ? 'none' : 'currentColor');
    sheet.setAttribute('stroke', 'currentColor');
    sheet.setAttribute('stroke-width', '1.5');
    svg.append(sheet);
  }
  return svg;
}

function buildTimeGroup() {
  const copy = el('button', {
    type: 'button',
    class: 'bells-copy secondary outline',
    title: 'Копировать расписание звонков',
    'aria-label': 'Копировать расписание звонков',
    'aria-haspopup': 'menu',
  });
  copy.append(copyImage());
  copy.addEventListener('click', () => popup(
    DAY_NAMES.map((name, i) => [name, () => post('/api/bells/copy_day', { from: i + 1 })]), copy));
  const save = el('button', { type: 'button', text: 'Сохранить', onclick: () => enqueue(() => post('/api/bells/save', {})) });
  ui.time = el('fieldset', { class: 'bells-time' }, el('legend', { text: 'Время' }), buildGrid(),
    el('div', { class: 'bells-under-grid' }, buildDays(), copy, save));
  return ui.time;
}

function buildWeek() {
  ui.week = el('tbody');
  return el('section', { class: 'bells-week', 'aria-label': 'Неделя выбранной схемы' },
    el('table', {},
      el('caption', { text: 'Неделя (как увидят клиенты после сохранения)' }),
      el('thead', {}, el('tr', {}, el('th', { scope: 'col', 'aria-label': 'Урок' }),
        ...DAYS.map((d) => el('th', { scope: 'col', text: d })))),
      ui.week));
}

function buildRooms() {
  ui.rooms = el('textarea', { rows: 8, 'aria-label': 'Кабинеты, по одному в строке', spellcheck: 'false' });
  return el('form', { class: 'bells-rooms', onsubmit: saveClassrooms },
    el('fieldset', {}, el('legend', { text: 'Кабинеты' }), ui.rooms, el('button', { type: 'submit', text: 'Сохранить' })));
}

function buildRenameDialog() {
  ui.renameOld = el('strong');
  ui.renameNew = el('input', { type: 'text', 'aria-label': 'Новое название', autocomplete: 'off' });
  ui.rename = el('dialog', { class: 'bells-rename' },
    el('article', {},
      el('header', { text: 'Переименовать' }),
      el('form', { onsubmit: continueRename },
        el('p', {}, ui.renameOld), el('p', { text: 'в' }), ui.renameNew,
        el('footer', {},
          el('button', { type: 'button', class: 'secondary', text: 'Отмена', onclick: cancelRename }),
          el('button', { type: 'submit', text: 'Продолжить' })))));
  ui.rename.addEventListener('cancel', cancelRename);
  return ui.rename;
}

// --- drawing the state ------------------------------------------------------------

function renderList() {
  const focused = document.activeElement && document.activeElement.dataset
    ? document.activeElement.dataset.index : undefined;
  ui.schemas.replaceChildren(...state.schemas.map((name, index) => {
    const selected = index === state.selected;
    const button = el('button', {
      type: 'button',
      class: 'bells-schema',
      'data-index': String(index),
      'aria-pressed': String(selected),
      'aria-haspopup': 'menu',
      title: 'Меню: правая кнопка мыши или Shift+F10',
      text: name,
    });
    button.addEventListener('click', () => selectSchema(index));
    button.addEventListener('contextmenu', (event) => {
      event.preventDefault();
      schemaMenu(index, button, { x: event.clientX, y: event.clientY });
    });
    button.addEventListener('keydown', (event) => {
      if (event.key === 'ContextMenu' || (event.key === 'F10' && event.shiftKey)) {
        event.preventDefault();
        schemaMenu(index, button);
      }
    });
    return el('tr', { 'aria-selected': String(selected) }, el('td', {}, button));
  }));
  if (focused !== undefined) {
    const again = ui.schemas.querySelector(`button[data-index="${focused}"]`);
    if (again) again.focus();
  }
}

function renderGrid() {
  ui.time.disabled = !state.group_enabled;
  for (let lesson = 0; lesson < LESSONS; lesson += 1) {
    for (let field = 0; field < FIELDS; field += 1) {
      const select = ui.grid[lesson][field];
      if (select.options.length === 0) {
        for (const item of state.items[field]) select.append(el('option', { value: item, text: item }));
      }
      select.value = state.grid[lesson][field];
      select.disabled = !state.enabled[lesson][field];
    }
  }
  ui.days.forEach((radio, i) => { radio.checked = state.day === i + 1; });
}

function renderWeek() {
  const rows = [];
  for (let lesson = 0; lesson < LESSONS; lesson += 1) {
    const row = el('tr', {}, el('th', { scope: 'row', text: String(lesson + 1) }));
    state.week.forEach((day, d) => {
      const span = day[lesson];
      // Start over end keeps seven days narrow enough to sit beside the grid.
      const cell = el('td', { class: d + 1 === state.day ? 'bells-shown-day' : '' });
      if (span) cell.append(span.start || '?', el('br'), span.end || '?');
      row.append(cell);
    });
    rows.push(row);
  }
  ui.week.replaceChildren(...rows);
}

function render(page) {
  if (!page) return;
  state = page;
  renderList();
  renderGrid();
  renderWeek();
  ui.today.textContent = state.today_caption;
  if (!state.rename && ui.rename.open) ui.rename.close();
}

export function mount(section) {
  root = section;
  ui.today = el('p', { class: 'bells-today', 'aria-live': 'polite' });
  root.replaceChildren(
    el('div', { class: 'bells' },
      el('div', { class: 'bells-columns' }, buildList(), buildTimeGroup(), buildWeek()),
      ui.today,
      buildRooms(),
      buildRenameDialog()));
}

// Called each time the tab opens, after the main page has told the server
// the page is shown (which refreshes the today caption).
export async function show() {
  await enqueue(async () => {
    const [page, rooms] = await Promise.all([get('/api/bells'), get('/api/classrooms')]);
    render(page);
    ui.name.value = page.name_field;
    ui.rooms.value = rooms.text;
  });
}
