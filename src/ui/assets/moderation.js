// The moderation window: every announcement or note with a check box,
// "Удалить отмеченные" and "Удалить всё".
import { action, get, inOrder, showError } from './api.js';
import { element } from './dom.js';

let dialog = null;

// One request at a time: a second click waits for the list the first one
// leaves, and names the rows checked in that list.
const enqueue = inOrder();

export async function open(kind) {
  let page;
  try {
    page = await get(`/api/moderation/${kind}`);
  } catch (e) {
    await showError(e);
    return;
  }
  dialog = element('dialog', { id: 'moderation', className: 'moderation' });
  document.body.append(dialog);
  render(kind, page);
  dialog.addEventListener('close', () => dialog.remove());
  dialog.showModal();
}

function checkedRows() {
  return [...dialog.querySelectorAll('tbody input[type=checkbox]')].flatMap((box, i) => (box.checked ? [i] : []));
}

// `bodyOfList` reads the body off the list as drawn when the request goes.
function run(kind, path, bodyOfList, guarded = false) {
  return enqueue(async () => {
    const page = await action(`/api/moderation/${kind}/${path}`, bodyOfList(), { guarded });
    if (page) render(kind, page);
  });
}

function render(kind, page) {
  const head = element('tr', {}, element('th', { className: 'check' }, ''));
  for (const column of page.columns) {
    head.append(element('th', { className: column.hidden ? 'hidden-column' : '' }, column.caption));
  }
  const body = element('tbody');
  page.rows.forEach((row, i) => {
    const tr = element('tr', {}, element('td', { className: 'check' },
                                         element('input', { type: 'checkbox', 'aria-label': `Запись ${i + 1}` })));
    for (const column of page.columns) {
      tr.append(element('td', { className: column.hidden ? 'hidden-column' : '' }, row[column.key] ?? ''));
    }
    body.append(tr);
  });
  const empty = page.rows.length === 0;
  dialog.replaceChildren(element('article', {},
    element('header', {}, element('strong', {}, page.title)),
    element('div', { className: 'table-scroll' },
            element('table', { className: 'striped' }, element('thead', {}, head), body)),
    empty ? element('p', { className: 'empty' }, 'Записей нет.') : null,
    element('footer', {},
            element('button', { type: 'button', id: 'moderation-delete', disabled: empty,
                                onclick: () => run(kind, 'delete', () => ({ rows: checkedRows() }), true) }, 'Удалить отмеченные'),
            element('button', { type: 'button', id: 'moderation-delete-all', className: 'secondary', disabled: empty,
                                onclick: () => run(kind, 'delete_all', () => ({})) }, 'Удалить всё'),
            element('button', { type: 'button', id: 'moderation-close', className: 'secondary outline',
                                onclick: () => dialog.close() }, 'Закрыть'))));
}
