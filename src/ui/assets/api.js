// The console's calls to its server: every request carries the cross-site
// header, every action's messages and question are shown to the operator.
import { ask, showMessage } from './dialogs.js';

export class ApiError extends Error {
  constructor(status, text) {
    super(text);
    this.status = status;
  }
}

// Called when the session has ended (401), so the page can ask for the key.
let onSignedOut = () => {};
export function whenSignedOut(handler) { onSignedOut = handler; }

export async function request(method, path, body) {
  const init = { method, headers: { 'X-Velmira': '1' }, credentials: 'same-origin' };
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
  return data;
}

export const get = (path) => request('GET', path);

// Runs an action: its messages are shown in order, its question asked and
// the action repeated with the answer. Resolves to the page after it.
export async function action(path, body = {}) {
  try {
    let reply = await request('POST', path, body);
    for (const text of reply.messages) await showMessage(text);
    if (reply.question) {
      const answer = (await ask(reply.question.text, reply.question.caption)) ? 'yes' : 'no';
      reply = await request('POST', path, { ...body, answer });
      for (const text of reply.messages) await showMessage(text);
    }
    return reply.page;
  } catch (error) {
    await showError(error);
    return null;
  }
}

export async function showError(error) {
  if (error instanceof ApiError && error.status === 401) return;
  if (error instanceof ApiError && error.status === 409) {
    await showMessage('Дождитесь окончания обмена с сервером.');
    return;
  }
  await showMessage(error.message || String(error), 'Ошибка');
}
