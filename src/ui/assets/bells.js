// "Редактор звонков": the schema list, the time grid of one day, the day
// selectors, the copy menu, the week preview and the classrooms group.
// Every change goes to the server at once; the page is drawn again from the
// state the server returns, so what is shown is always the editor's.
import { action, get, inOrder } from './api.js';
import { element, icon } from './dom.js';
import { openMenu } from './menu.js';

const DAYS = ['пн', 'вт', 'ср', 'чт', 'пт', 'сб', 'вс'];
const DAY_NAMES = ['понедельник', 'вторник', 'среда', 'четверг', 'пятница', 'суббота', 'воскресенье'];
const LESSONS = 10;
const FIELDS = 6;

let state = null;
const ui = {};

// One request at a time, in the order the operator made them: a quick
// second change must see the grid the first one left.
const enqueue = inOrder();

// --- actions -------------------------------------------------------------------

// Every action but "Добавить" acts on the selected schema of the list the
// operator sees: it goes with that list's tag (see api.js).
async function post(path, body, guarded = true) {
  const page = await action(path, body, { guarded });
  // A refused request showed its error; draw what the server holds now.
  render(page || (await get('/api/bells')));
  return page;
}

// A menu whose items are [caption, task]; each task runs in the queue.
function popup(entries, opener, point = {}) {
  openMenu(entries.map(([caption, task]) => ({ caption, onselect: () => enqueue(task) })), { opener, ...point });
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
  enqueue(() => post('/api/bells/rename_window', { open: false }, false));
}

function addSchema(event) {
  event.preventDefault();
  enqueue(async () => {
    const page = await post('/api/bells/add', { name: ui.name.value }, false);
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
  ui.schemas = element('tbody');
  ui.name = element('input', { type: 'text', 'aria-label': 'Название новой схемы', autocomplete: 'off' });
  return element('div', { className: 'bells-list' },
    element('table', { className: 'bells-schemas' },
      element('thead', {}, element('tr', {}, element('th', { scope: 'col' }, 'Схема'))), ui.schemas),
    element('form', { className: 'bells-add', onsubmit: addSchema },
      ui.name, element('button', { type: 'submit' }, 'Добавить')));
}

function buildGrid() {
  const head = element('thead', {},
    element('tr', {},
      element('th', { rowSpan: 2, scope: 'col', 'aria-label': 'Урок' }),
      element('th', { colSpan: 2, scope: 'colgroup' }, 'Начало'),
      element('th', { colSpan: 2, rowSpan: 2, scope: 'colgroup' }, 'Окончание'),
      element('th', { rowSpan: 2, scope: 'col' }, 'Длит.'),
      element('th', { rowSpan: 2, scope: 'col' }, 'Перемена')),
    element('tr', {}, element('th', { scope: 'col' }, 'час.'), element('th', { scope: 'col' }, 'мин.')));
  const captions = ['начало, час.', 'начало, мин.', 'окончание, час.', 'окончание, мин.', 'длительность', 'перемена'];
  const body = element('tbody');
  ui.grid = [];
  for (let lesson = 1; lesson <= LESSONS; lesson += 1) {
    const row = element('tr', {}, element('th', { scope: 'row' }, String(lesson)));
    const selects = [];
    for (let field = 1; field <= FIELDS; field += 1) {
      const select = element('select', { 'aria-label': `Урок ${lesson}, ${captions[field - 1]}`,
                                         onchange: () => changeField(lesson, field, select) });
      selects.push(select);
      row.append(element('td', {}, select));
    }
    ui.grid.push(selects);
    body.append(row);
  }
  return element('table', { className: 'bells-grid' }, head, body);
}

function buildDays() {
  ui.days = DAYS.map((caption, i) => element('input', {
    type: 'radio', name: 'bells-day', value: String(i + 1),
    onchange: () => enqueue(() => post('/api/bells/day', { day: i + 1 })),
  }));
  return element('div', { className: 'bells-days', role: 'radiogroup', 'aria-label': 'День недели' },
    ...ui.days.map((radio, i) => element('label', {}, radio, DAYS[i])));
}

function buildTimeGroup() {
  // Two overlapping sheets.
  const copy = element('button', {
    type: 'button',
    className: 'bells-copy secondary outline',
    title: 'Копировать расписание звонков',
    'aria-label': 'Копировать расписание звонков',
    'aria-haspopup': 'menu',
    onclick: () => popup(DAY_NAMES.map((name, i) => [name, () => post('/api/bells/copy_day', { from: i + 1 })]), copy),
  }, icon('M9 9h11a1 1 0 0 1 1 1v10a1 1 0 0 1-1 1H10a1 1 0 0 1-1-1z',
          'M5 15H4a1 1 0 0 1-1-1V4a1 1 0 0 1 1-1h10a1 1 0 0 1 1 1v1'));
  const save = element('button', { type: 'button', onclick: () => enqueue(() => post('/api/bells/save', {})) },
                       'Сохранить');
  ui.time = element('fieldset', { className: 'bells-time' }, element('legend', {}, 'Время'), buildGrid(),
    element('div', { className: 'bells-under-grid' }, buildDays(), copy, save));
  return ui.time;
}

function buildWeek() {
  ui.week = element('tbody');
  return element('section', { className: 'bells-week', 'aria-label': 'Неделя выбранной схемы' },
    element('table', {},
      element('caption', {}, 'Неделя (как увидят клиенты после сохранения)'),
      element('thead', {}, element('tr', {}, element('th', { scope: 'col', 'aria-label': 'Урок' }),
        ...DAYS.map((d) => element('th', { scope: 'col' }, d)))),
      ui.week));
}

function buildRooms() {
  ui.rooms = element('textarea', { rows: 8, 'aria-label': 'Кабинеты, по одному в строке', spellcheck: false });
  return element('form', { className: 'bells-rooms', onsubmit: saveClassrooms },
    element('fieldset', {}, element('legend', {}, 'Кабинеты'), ui.rooms,
            element('button', { type: 'submit' }, 'Сохранить')));
}

function buildRenameDialog() {
  ui.renameOld = element('strong');
  ui.renameNew = element('input', { type: 'text', 'aria-label': 'Новое название', autocomplete: 'off' });
  ui.rename = element('dialog', { className: 'bells-rename', oncancel: cancelRename },
    element('article', {},
      element('header', {}, 'Переименовать'),
      element('form', { onsubmit: continueRename },
        element('p', {}, ui.renameOld), element('p', {}, 'в'), ui.renameNew,
        element('footer', {},
          element('button', { type: 'button', className: 'secondary', onclick: cancelRename }, 'Отмена'),
          element('button', { type: 'submit' }, 'Продолжить')))));
  return ui.rename;
}

// --- drawing the state ------------------------------------------------------------

function schemaButton(name, index) {
  const button = element('button', {
    type: 'button',
    className: 'bells-schema',
    'data-index': String(index),
    'aria-pressed': String(index === state.selected),
    'aria-haspopup': 'menu',
    title: 'Меню: правая кнопка мыши или Shift+F10',
    onclick: () => selectSchema(index),
    oncontextmenu: (event) => {
      event.preventDefault();
      schemaMenu(index, button, { x: event.clientX, y: event.clientY });
    },
    onkeydown: (event) => {
      if (event.key === 'ContextMenu' || (event.key === 'F10' && event.shiftKey)) {
        event.preventDefault();
        schemaMenu(index, button);
      }
    },
  }, name);
  return button;
}

function renderList() {
  const focused = document.activeElement && document.activeElement.dataset
    ? document.activeElement.dataset.index : undefined;
  ui.schemas.replaceChildren(...state.schemas.map((name, index) => element('tr',
    { 'aria-selected': String(index === state.selected) }, element('td', {}, schemaButton(name, index)))));
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
        for (const item of state.items[field]) select.append(element('option', { value: item }, item));
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
    const row = element('tr', {}, element('th', { scope: 'row' }, String(lesson + 1)));
    state.week.forEach((day, d) => {
      const span = day[lesson];
      // Start over end keeps seven days narrow enough to sit beside the grid.
      const cell = element('td', { className: d + 1 === state.day ? 'bells-shown-day' : '' });
      if (span) cell.append(span.start || '?', element('br'), span.end || '?');
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
  ui.today = element('p', { className: 'bells-today', 'aria-live': 'polite' });
  section.replaceChildren(
    element('div', { className: 'bells' },
      element('div', { className: 'bells-columns' }, buildList(), buildTimeGroup(), buildWeek()),
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
