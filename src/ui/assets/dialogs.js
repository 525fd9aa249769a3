// Message boxes and Yes/No questions as modal dialogs; each resolves when
// the operator closes it.
import { element } from './dom.js';

function box(title, text, buttons) {
  return new Promise((resolve) => {
    const dialog = element('dialog', { className: 'box', oncancel: (event) => event.preventDefault() });
    const choices = buttons.map(([caption, value, primary]) => element('button', {
      className: primary ? undefined : 'secondary',
      onclick: () => {
        dialog.close();
        dialog.remove();
        resolve(value);
      },
    }, caption));
    dialog.append(element('article', {},
      element('header', {}, title),
      element('p', { className: 'box-text' }, text),
      element('footer', {}, ...choices)));
    document.body.append(dialog);
    dialog.showModal();
    choices[0].focus();
  });
}

export function showMessage(text, title = 'Сообщение') {
  return box(title, text, [['OK', true, true]]);
}

// Resolves to true for Yes.
export function ask(text, title = 'Внимание!') {
  return box(title, text, [['Да', true, true], ['Нет', false, false]]);
}
