// The console's calls to its server: every request carries the cross-site
// header, every action's messages and question are shown to the operator.
//
// Another operator may act on the same lists from another console window.
// Each reply that carries a page names its state (ETag); an action that
// names rows, or answers a question, is sent with the tag of the state the
// operator saw, and the server refuses it (412) once that state is gone.
import { ask, showMessage } from './dialogs.js';

export class ApiError extends Error {
  constructor(status, text) {
    super(text);
    this.status = status;
  }
}

const staleText = 'Список изменился в другом окне консоли. Страница обновлена — проверьте и повторите действие.';

// Called when the session has ended (401), so the page can ask for the key.
let onSignedOut = () => {};
export function whenSignedOut(handler) { onSignedOut = handler; }

// The last tag of each page, by its GET path.
const tags = new Map();

// The page a request's reply carries: a GET shows its own path, an action
// belongs to its parent path; the page shown belongs to the server page.
function pageOf(method, path) {
  const bare = path.split('?')[0];
  if (method === 'GET') return bare;
  if (bare === '/api/page') return '/api/server';
  return bare.slice(0, bare.lastIndexOf('/'));
}

// One exchange; resolves to the reply's data and the tag of its page.
async function exchange(method, path, body, ifMatch) {
  const init = { method, headers: { 'X-Velmira': '1' }, credentials: 'same-origin' };
  if (ifMatch) init.headers['If-Match'] = ifMatch;
  if (body !== undefined) {
    // A file goes as its bytes: a class list may be in Windows-1251.
    const csv = typeof body === 'string' || body instanceof Blob;
    init.headers['Content-Type'] = csv ? 'text/csv' : 'application/json';
    init.body = csv ? body : JSON.stringify(body);
  }
  const reply = await fetch(path, init);
  const type = reply.headers.get('Content-Type') || '';
  const data = type.includes('application/json') ? await reply.json() : await reply.text();
  if (reply.status === 401 && path !== '/api/login') onSignedOut();
  if (!reply.ok) throw new ApiError(reply.status, (data && data.error) || reply.statusText);
  const tag = reply.headers.get('ETag');
  if (tag) tags.set(pageOf(method, path), tag);
  return { data, tag };
}

export async function request(method, path, body) {
  return (await exchange(method, path, body)).data;
}

export const get = (path) => request('GET', path);

async function showAll(messages) {
  for (const text of messages) await showMessage(text);
}

// Runs an action: its messages are shown in order, its question asked and
// the action repeated with the answer, sent with the tag of the reply that
// asked. `guarded` sends the first post with the page's last tag too: for
// an action that names rows. Resolves to the page after it and the answer
// given ("yes", "no", or null when nothing was asked); the page is null
// after an error the operator was shown.
export async function perform(path, body = {}, { guarded = false } = {}) {
  try {
    const first = await exchange('POST', path, body, guarded ? tags.get(pageOf('POST', path)) : undefined);
    await showAll(first.data.messages);
    if (!first.data.question) return { page: first.data.page, answer: null };
    const answer = (await ask(first.data.question.text, first.data.question.caption)) ? 'yes' : 'no';
    const second = await exchange('POST', path, { ...body, answer }, first.tag);
    await showAll(second.data.messages);
    return { page: second.data.page, answer };
  } catch (error) {
    if (error instanceof ApiError && error.status === 412) return { page: await reloadStale(path), answer: null };
    await showError(error);
    return { page: null, answer: null };
  }
}

// The page as it is now. The message box is left open over it, so the
// operator reads why while looking at the list drawn again.
async function reloadStale(path) {
  let page = null;
  try {
    page = await get(pageOf('POST', path));
  } catch (error) {
    await showError(error);
    return null;
  }
  showMessage(staleText);
  return page;
}

// Resolves to the page after the action (see perform).
export async function action(path, body = {}, options = {}) {
  return (await perform(path, body, options)).page;
}

// A page's requests one at a time, in the order the operator made them: each
// one sees the page its predecessor's reply left, and goes with that
// reply's tag. A failed task shows its error and the queue goes on.
export function inOrder() {
  let last = Promise.resolve();
  return (task) => {
    last = last.then(task).catch(showError);
    return last;
  };
}

export async function showError(error) {
  if (error instanceof ApiError && error.status === 401) return;
  if (error instanceof ApiError && error.status === 409) {
    await showMessage('Дождитесь окончания обмена с сервером.');
    return;
  }
  await showMessage(error.message || String(error), 'Ошибка');
}
