// The operator console: log-in, the four tabs, and the "Сервер" page with
// its live event log. Every state shown comes from the server; the page
// keeps nothing of its own that a reload would lose.
import { action, get, perform, request, showError, whenSignedOut, ApiError } from './api.js';
import { showMessage } from './dialogs.js';
import * as bells from './bells.js';
import * as settings from './settings.js';
import * as users from './users.js';
import { element, clear } from './dom.js';

const pages = { server: null, bells, users, settings };
const POLL_MS = 1000;

let pollTimer = null;
let pollRound = 0;          // a poll of an earlier round does not arm another
let shownMessages = false;  // a queued-message dialog is open

// --- log-in ---------------------------------------------------------------

function showLogin() {
  stopPolling();
  document.getElementById('console').hidden = true;
  document.getElementById('login').hidden = false;
  document.getElementById('login-key').focus();
}

async function logIn(event) {
  event.preventDefault();
  const key = document.getElementById('login-key');
  const error = document.getElementById('login-error');
  error.textContent = '';
  try {
    await request('POST', '/api/login', { key: key.value.trim() });
    key.value = '';
    await openConsole();
  } catch (e) {
    error.textContent = e.status === 429 ? 'Слишком много неверных ключей: попробуйте через минуту.'
                                         : 'Неверный ключ.';
  }
}

async function logOut() {
  try { await request('POST', '/api/logout', {}); } catch (e) { /* the session is gone either way */ }
  showLogin();
}

async function openConsole() {
  document.getElementById('login').hidden = true;
  document.getElementById('console').hidden = false;
  await selectTab('server');
  startPolling();
}

// --- tabs -----------------------------------------------------------------

async function selectTab(name) {
  for (const tab of document.querySelectorAll('[role=tab]')) {
    tab.setAttribute('aria-selected', String(tab.dataset.page === name));
  }
  for (const panel of document.querySelectorAll('[role=tabpanel]')) panel.hidden = panel.dataset.page !== name;
  try {
    await request('POST', '/api/page', { page: name });
  } catch (e) {
    await showError(e);
  }
  if (name === 'server') await refreshServer();
  else await pages[name].show();
}

// --- the "Сервер" page ----------------------------------------------------

const server = {};

function mountServer(section) {
  server.startStop = element('button', { id: 'start-stop', onclick: () => serverAction('/api/server/start_stop') });
  server.requestData = element('button', { id: 'request-data', onclick: () => serverAction('/api/server/request_data') },
                               'Запросить данные с сервера');
  server.clearLog = element('button', { id: 'clear-log', className: 'secondary', title: 'Очистить журнал',
                                        onclick: () => serverAction('/api/server/clear_log') }, 'Очистить журнал');
  server.backup = element('a', { id: 'backup', href: '/api/backup.tar.gz', role: 'button',
                                 className: 'secondary outline', title: 'Архив всех файлов данных (без console.key)' },
                          'Скачать резервную копию');
  server.close = element('button', { id: 'close-app', className: 'secondary outline',
                                     onclick: () => closeApplication() }, 'Закрыть');
  server.state = element('span', { id: 'running-state' });
  server.mode = element('strong', { id: 'mode-caption' });
  server.games = element('span', { id: 'game-counter' });
  server.busy = element('span', { id: 'busy', className: 'busy', hidden: true }, 'Идёт обмен с сервером…');
  server.pull = element('progress', { id: 'pull-progress', hidden: true });
  server.addresses = element('ul', { id: 'addresses' });
  server.log = element('pre', { id: 'event-log', tabIndex: 0, 'aria-live': 'polite' });

  section.append(
    element('div', { className: 'toolbar' }, server.startStop, server.requestData, server.state, server.mode,
            server.games, server.busy, element('span', { className: 'spacer' }), server.clearLog, server.backup, server.close),
    server.pull,
    element('div', { className: 'server-columns' },
            element('article', {}, element('header', {}, 'Журнал событий'), server.log),
            element('article', { className: 'addresses' },
                    element('header', {}, 'Сервер доступен на IP-адресах'), server.addresses)));
}

function renderServer(page) {
  if (!page) return;
  document.getElementById('title').textContent = page.title;
  const local = page.mode === 'local';
  server.startStop.hidden = !local;
  server.startStop.textContent = page.running ? '■ Остановить' : '▶ Запустить';
  server.startStop.setAttribute('aria-pressed', String(page.running));
  server.state.hidden = !local;
  server.state.textContent = page.running ? 'работает' : 'остановлен';
  server.state.className = page.running ? 'state running' : 'state stopped';
  server.requestData.hidden = local;
  server.mode.textContent = page.mode_caption;
  server.games.hidden = page.game_counter === null;
  server.games.textContent = page.game_counter ?? '';
  server.busy.hidden = !page.busy;
  for (const button of [server.startStop, server.requestData, server.close]) button.disabled = page.busy;
  server.pull.hidden = !page.pull;
  if (page.pull) {
    server.pull.max = page.pull.of;
    server.pull.value = page.pull.step;
    server.pull.title = `Шаг ${page.pull.step} из ${page.pull.of}`;
  }
  clear(server.addresses);
  for (const address of page.addresses) server.addresses.append(element('li', {}, address));
  showQueuedMessages(page.messages);
}

function renderLog(lines) {
  const text = lines.join('\n');
  if (server.log.textContent === text) return;
  const atBottom = server.log.scrollTop + server.log.clientHeight >= server.log.scrollHeight - 4;
  server.log.textContent = text;
  if (atBottom) server.log.scrollTop = server.log.scrollHeight;
}

async function refreshServer() {
  const [page, log] = await Promise.all([get('/api/server'), get('/api/log')]);
  renderServer(page);
  renderLog(log.lines);
}

async function serverAction(path, body) {
  const page = await action(path, body);
  renderServer(page);
  try { renderLog((await get('/api/log')).lines); } catch (e) { /* the next poll shows it */ }
}

async function closeApplication() {
  const { page, answer } = await perform('/api/server/close');
  if (answer !== 'yes' || !page) {
    renderServer(page);
    return;
  }
  stopPolling();
  document.getElementById('console').replaceChildren(
    element('p', { id: 'closed', className: 'closed' }, 'Сервер завершил работу. Окно можно закрыть.'));
}

// Messages no action produced (the master's replies): shown one by one,
// then removed from the server's queue.
async function showQueuedMessages(messages) {
  if (shownMessages || !messages || messages.length === 0) return;
  shownMessages = true;
  try {
    for (const text of messages) await showMessage(text);
    await request('POST', '/api/server/ack', { count: messages.length });
  } catch (e) {
    await showError(e);
  } finally {
    shownMessages = false;
  }
}

// --- polling --------------------------------------------------------------

// The next poll is armed once the last one's reply has been handled, so a
// slow server never has a pile of polls waiting on it.
function startPolling() {
  stopPolling();
  armPoll(pollRound);
}

function armPoll(round) {
  pollTimer = setTimeout(() => poll(round), POLL_MS);
}

async function poll(round) {
  const tab = document.querySelector('[role=tab][aria-selected=true]')?.dataset.page;
  try {
    if (tab === 'server') await refreshServer();
    else renderServer(await get('/api/server'));  // queued messages show on every page
  } catch (e) {
    if (!(e instanceof ApiError)) return;  // the server has gone
  }
  if (round === pollRound) armPoll(round);
}

function stopPolling() {
  pollRound += 1;
  clearTimeout(pollTimer);
  pollTimer = null;
}

// --- start ----------------------------------------------------------------

async function start() {
  mountServer(document.getElementById('page-server'));
  for (const name of ['bells', 'users', 'settings']) pages[name].mount(document.getElementById(`page-${name}`));
  document.getElementById('login').addEventListener('submit', logIn);
  document.getElementById('logout').addEventListener('click', logOut);
  for (const tab of document.querySelectorAll('[role=tab]')) {
    tab.addEventListener('click', () => selectTab(tab.dataset.page));
  }
  whenSignedOut(showLogin);
  try {
    await get('/api/server');
    await openConsole();
  } catch (e) {
    showLogin();
  }
}

start();
