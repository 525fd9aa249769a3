// Message boxes and Yes/No questions as modal dialogs; each resolves when
// the operator closes it.

function box(title, text, buttons) {
  return new Promise((resolve) => {
    const dialog = document.createElement('dialog');
    dialog.className = 'box';
    const article = document.createElement('article');
    const header = document.createElement('header');
    header.textContent = title;
    const body = document.createElement('p');
    body.className = 'box-text';
    body.textContent = text;
    const footer = document.createElement('footer');
    for (const [caption, value, primary] of buttons) {
      const button = document.createElement('button');
      button.textContent = caption;
      button.dataset.value = String(value);
      if (!primary) button.className = 'secondary';
      button.addEventListener('click', () => {
        dialog.close();
        dialog.remove();
        resolve(value);
      });
      footer.append(button);
    }
    dialog.addEventListener('cancel', (event) => event.preventDefault());
    article.append(header, body, footer);
    dialog.append(article);
    document.body.append(dialog);
    dialog.showModal();
    footer.querySelector('button').focus();
  });
}

export function showMessage(text, title = 'Сообщение') {
  return box(title, text, [['OK', true, true]]);
}

// Resolves to true for Yes.
export function ask(text, title = 'Внимание!') {
  return box(title, text, [['Да', true, true], ['Нет', false, false]]);
}
