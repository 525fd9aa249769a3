// "Настройки": every control of the settings page. A change of a control
// goes to the server at once (the log switches count before "Сохранить",
// the purge selectors answer with their lists), and the page is drawn
// again from what the server then holds.
import { action, get, request, showError } from './api.js';
import { element, checkbox, icon, textField } from './dom.js';
import * as calendar from './calendar.js';
import * as moderation from './moderation.js';

const controls = {};  // field name -> input element(s)
let localOnly = [];   // groups shown only while the page shows local settings

async function change(fields) {
  try {
    render((await request('POST', '/api/settings/change', fields)).page);
  } catch (e) {
    await showError(e);
    await show();
  }
}

function textControl(name, caption, type = 'text') {
  const field = textField(`set-${name}`, caption, (value) => change({ [name]: value }), type);
  controls[name] = field.input;
  return field.label;
}

// A password field with the eye button that shows it while held down.
function passwordControl(name, caption) {
  const field = textField(`set-${name}`, caption, (value) => change({ [name]: value }), 'password');
  controls[name] = field.input;
  const reveal = (shown) => { field.input.type = shown ? 'text' : 'password'; };
  const eye = element('button', {
    type: 'button', className: 'eye secondary outline', title: 'Показать пароль, пока кнопка нажата',
    'aria-label': `Показать: ${caption}`, id: `eye-${name}`,
    onpointerdown: () => reveal(true), onpointerup: () => reveal(false), onpointerleave: () => reveal(false),
    onkeydown: (e) => { if (e.key === ' ' || e.key === 'Enter') reveal(true); },
    onkeyup: () => reveal(false), onblur: () => reveal(false),
  }, icon('M2 12s4-7 10-7 10 7 10 7-4 7-10 7S2 12 2 12z', 'M12 9a3 3 0 1 0 0 6 3 3 0 1 0 0-6z'));
  field.label.append(element('span', { className: 'with-eye' }, field.input, eye));
  return field.label;
}

function switchControl(name, caption) {
  const box = checkbox(`set-${name}`, caption, (on) => change({ [name]: on }));
  controls[name] = box.input;
  return box.label;
}

// A purge line: its switch, the age list (months) and the unit label.
function purgeControl(name, caption) {
  const box = checkbox(`set-${name}`, caption, (on) => change({ [name]: on }));
  const ages = element('select', { id: `set-${name}_age`, 'aria-label': `${caption}: месяцев`,
                                   onchange: () => change({ [`${name}_age`]: Number(ages.value) }) });
  const unit = element('span', { id: `set-${name}_unit`, className: 'unit' });
  controls[name] = box.input;
  controls[`${name}_age`] = ages;
  controls[`${name}_unit`] = unit;
  return element('div', { className: 'purge-line' }, box.label, ages, unit);
}

function group(caption, ...children) {
  return element('fieldset', {}, element('legend', {}, caption), ...children);
}

function mountLogGroup() {
  const rows = [
    ['Новостей', 'log_news_changes', 'log_news_views'],
    ['Заметок', 'log_notes_changes', 'log_notes_views'],
    ['Расписания', 'log_timetable_changes', 'log_timetable_views'],
    ['Меню', 'log_menu_changes', 'log_menu_views'],
  ];
  const table = element('table', { className: 'log-switches' },
                        element('thead', {}, element('tr', {}, element('th', {}),
                                                     element('th', {}, 'добавления, удаления'),
                                                     element('th', {}, 'просмотр'))));
  const body = element('tbody');
  for (const [caption, changes, views] of rows) {
    const cell = (name, text) => {
      const box = checkbox(`set-${name}`, '', (on) => change({ [name]: on }));
      box.input.setAttribute('aria-label', `${caption}: ${text}`);
      controls[name] = box.input;
      return element('td', {}, box.input);
    };
    body.append(element('tr', {}, element('th', { scope: 'row' }, caption),
                        cell(changes, 'добавления, удаления'), cell(views, 'просмотр')));
  }
  table.append(body);
  return group('Вести лог', table,
               element('fieldset', { className: 'inner' }, element('legend', {}, 'Прочее'),
                       switchControl('log_bell_list', 'получения списка звонков'),
                       switchControl('log_checks', 'проверка новых объявлений, расписания, меню'),
                       switchControl('log_games', 'создания игр')));
}

function modeControl() {
  const radio = (value, caption) => {
    const input = element('input', { type: 'radio', name: 'mode', id: `set-mode-${value}`, value,
                                     onchange: () => change({ mode: value }) });
    return element('label', { for: `set-mode-${value}` }, input, caption);
  };
  controls.mode = null;
  return group('Режим работы', radio('local', 'Локальный сервер'), radio('remote', 'Удаленный доступ'));
}

export function mount(section) {
  const ports = group('Порт (все поля обязательны для заполнения)',
                      textControl('main_tcp_port', 'Основной (TCP)'),
                      textControl('file_server_port', 'Файловый сервер (HTTP)'),
                      element('fieldset', { className: 'inner' },
                              element('legend', {}, 'Расписание, заметки, новости (HTTP)'),
                              textControl('data_http_port', 'Порт'), textControl('http_login', 'Логин'),
                              passwordControl('http_password', 'Пароль')));
  const admin = group('Данные для удаленного администрирования',
                      textControl('admin_login', 'Логин'), passwordControl('admin_password', 'Пароль'),
                      textControl('master_address', 'IP сервера'));
  const startup = element('div', {}, switchControl('hide_at_startup', 'Сворачивать при запуске'),
                          switchControl('autostart', 'Автозапуск'),
                          switchControl('allow_remote_admin', 'Разрешить удаленное управление'));
  localOnly = [ports, admin, startup];

  const school = group('Сведения для клиентов',
                       textControl('client_version', 'Последняя версия клиента'), textControl('phone', 'Телефон'),
                       textControl('site', 'Сайт'), textControl('email', 'e-mail'), textControl('vk', 'VK'));
  const purges = group('Удалять ...', switchControl('purge_notes', 'заметки старше 1 дня'),
                       purgeControl('purge_news', 'объявления старше'), purgeControl('purge_menus', 'меню старше'),
                       purgeControl('purge_timetables', 'расписание старше'),
                       element('div', { className: 'buttons' },
                               element('button', { type: 'button', id: 'moderate-notes', className: 'secondary',
                                                   onclick: () => moderation.open('notes') }, '... заметки'),
                               element('button', { type: 'button', id: 'moderate-news', className: 'secondary',
                                                   onclick: () => moderation.open('news') }, '... объявления')));
  const save = element('button', { type: 'button', id: 'settings-save', onclick: saveSettings }, 'Сохранить');

  section.append(
    element('div', { className: 'settings-grid' },
            element('div', {}, ports, admin, modeControl(), startup, school),
            element('div', {}, mountLogGroup(), purges, switchControl('calendar_on', 'Календарный график'),
                    calendar.mount())),
    element('div', { className: 'toolbar' }, save));
}

// What the controls hold now, for "Сохранить".
function fieldsOfControls() {
  const fields = {};
  for (const [name, input] of Object.entries(controls)) {
    if (!input || name.endsWith('_unit') || name.endsWith('_age') || input.closest('[hidden]')) continue;
    fields[name] = input.type === 'checkbox' ? input.checked : input.value;
  }
  const mode = document.querySelector('input[name=mode]:checked');
  if (mode) fields.mode = mode.value;
  return fields;
}

async function saveSettings() {
  const page = await action('/api/settings/save', fieldsOfControls());
  if (page) render(page);
  else await show();
}

function render(page) {
  for (const group of localOnly) group.hidden = !page.local_only_visible;
  for (const [name, input] of Object.entries(controls)) {
    if (!input || !(name in page)) continue;
    if (name.endsWith('_unit')) input.textContent = page[name];
    else if (name.endsWith('_age')) renderAges(input, page, name.slice(0, -4));
    else if (input.type === 'checkbox') input.checked = page[name];
    else if (document.activeElement !== input || input.value === '') input.value = page[name];
  }
  const mode = document.getElementById(`set-mode-${page.mode}`);
  if (mode) mode.checked = true;
  calendar.enable(page.calendar_editor_enabled);
}

function renderAges(select, page, purge) {
  const count = page[`${purge}_ages`];
  if (select.options.length !== count + 1) {
    select.replaceChildren(element('option', { value: '-1' }, ''));
    for (let i = 0; i < count; ++i) select.append(element('option', { value: String(i) }, String(i + 1)));
  }
  select.value = String(page[`${purge}_age`]);
  select.disabled = !page[`${purge}_list_enabled`];
}

export async function show() {
  try {
    render(await get('/api/settings'));
    await calendar.show();
  } catch (e) {
    await showError(e);
  }
}
