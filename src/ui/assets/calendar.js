// The calendar schedule's editor: a rich text field with "Ж", "К", "Ч" and
// the two alignment buttons. The document goes to the server as paragraphs
// of styled runs and comes back the same way.
import { action, get, showError } from './api.js';
import { element, icon } from './dom.js';

let editor;
let buttons = [];

function format(command) {
  editor.focus();
  document.execCommand(command, false, null);
}

export function mount() {
  editor = element('div', { id: 'calendar-editor', className: 'rich-text', contentEditable: 'false',
                            role: 'textbox', 'aria-multiline': 'true',
                            'aria-label': 'Календарный график' });
  const tool = (id, caption, title, command, extra = '') =>
    element('button', { type: 'button', id, title, 'aria-label': title, className: `secondary outline ${extra}`,
                        onmousedown: (e) => e.preventDefault(),  // keep the selection in the editor
                        onclick: () => format(command) }, caption);
  buttons = [
    tool('calendar-bold', 'Ж', 'Полужирный', 'bold', 'bold'),
    tool('calendar-italic', 'К', 'Курсив', 'italic', 'italic'),
    tool('calendar-underline', 'Ч', 'Подчёркнутый', 'underline', 'underline'),
    tool('calendar-left', icon('M3 6h18', 'M3 10h11', 'M3 14h18', 'M3 18h11'), 'По левому краю', 'justifyLeft'),
    tool('calendar-centre', icon('M3 6h18', 'M7 10h10', 'M3 14h18', 'M7 18h10'), 'По центру', 'justifyCenter'),
    element('button', { type: 'button', id: 'calendar-save', onclick: save }, 'Сохранить'),
  ];
  return element('fieldset', { id: 'calendar-group' },
                 element('legend', {}, 'Опишите кол-во четвертей, их сроки, кол-во учебных недель в каждую четверть'),
                 element('div', { className: 'format-bar' }, ...buttons), editor);
}

export function enable(on) {
  editor.contentEditable = on ? 'true' : 'false';
  editor.classList.toggle('disabled', !on);
  editor.setAttribute('aria-disabled', String(!on));
  for (const button of buttons) button.disabled = !on;
}

export async function show() {
  try {
    render((await get('/api/calendar')).paragraphs);
  } catch (e) {
    await showError(e);
  }
}

async function save() {
  const page = await action('/api/calendar/save', { paragraphs: paragraphsOfEditor() });
  if (page) render(page.paragraphs);
}

// --- document -> editor ---------------------------------------------------

function render(paragraphs) {
  editor.replaceChildren();
  for (const paragraph of paragraphs) {
    const block = element('div');
    if (paragraph.align && paragraph.align !== 'left') block.style.textAlign = paragraph.align === 'centre' ? 'center' : paragraph.align;
    for (const run of paragraph.runs) {
      let node = document.createTextNode(run.text);
      for (const [flag, tag] of [['u', 'u'], ['i', 'i'], ['b', 'b']]) {
        if (run[flag]) node = element(tag, {}, node);
      }
      block.append(node);
    }
    if (paragraph.runs.length === 0) block.append(element('br'));
    editor.append(block);
  }
}

// --- editor -> document ---------------------------------------------------

function alignmentOf(block) {
  const align = getComputedStyle(block).textAlign;
  if (align === 'center' || align === '-webkit-center') return 'centre';
  if (align === 'right' || align === 'end') return 'right';
  if (align === 'justify') return 'justify';
  return 'left';
}

// Underline is not inherited in computed styles: look at the ancestors.
function underlined(node) {
  for (let n = node; n && n !== editor; n = n.parentElement) {
    if (n.tagName === 'U' || getComputedStyle(n).textDecorationLine.includes('underline')) return true;
  }
  return false;
}

function styleOf(textNode) {
  const parent = textNode.parentElement;
  const style = getComputedStyle(parent);
  return { b: Number(style.fontWeight) >= 600, i: style.fontStyle === 'italic', u: underlined(parent) };
}

// Every block (div, p) and every <br> ends a paragraph; text directly in
// the editor forms paragraphs of its own.
function paragraphsOfEditor() {
  const paragraphs = [];
  let current = null;
  const start = (block) => {
    current = { align: alignmentOf(block), centred: false, runs: [] };
    current.centred = current.align === 'centre';
    paragraphs.push(current);
  };
  const addText = (node) => {
    const text = node.textContent.replace(/[\r\n]+/g, ' ');
    if (text === '') return;
    const style = styleOf(node);
    const last = current.runs[current.runs.length - 1];
    if (last && last.b === style.b && last.i === style.i && last.u === style.u) last.text += text;
    else current.runs.push({ text, ...style });
  };
  const walk = (node, block) => {
    for (const child of node.childNodes) {
      if (child.nodeType === Node.TEXT_NODE) {
        if (!current) start(block);
        addText(child);
      } else if (child.nodeName === 'BR') {
        if (!current) start(block);
        current = null;
      } else if (child.nodeType === Node.ELEMENT_NODE) {
        const isBlock = ['DIV', 'P', 'LI', 'H1', 'H2', 'H3'].includes(child.nodeName);
        if (isBlock) {
          current = null;
          walk(child, child);
          current = null;
        } else {
          walk(child, block);
        }
      }
    }
  };
  walk(editor, editor);
  // A block that ends with <br> leaves its last paragraph closed already;
  // an editor holding nothing is one empty paragraph.
  if (paragraphs.length === 0) paragraphs.push({ align: 'left', centred: false, runs: [] });
  return paragraphs;
}
