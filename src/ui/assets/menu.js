// The console's context menus: a column of items, one of which may open a
// submenu, used with the mouse or the keyboard (Up and Down move, Right
// opens a submenu and Left leaves it, Escape goes back to where the menu
// was opened from, Tab leaves it). One menu is open at a time.
import { element } from './dom.js';

let shown = null;  // { node, opener }

export function closeMenu() {
  if (!shown) return;
  shown.node.remove();
  shown = null;
  document.removeEventListener('pointerdown', onOutside, true);
}

function onOutside(event) {
  if (shown && !shown.node.contains(event.target)) closeMenu();
}

function backToOpener() {
  const { opener } = shown;
  closeMenu();
  if (opener && opener.isConnected) opener.focus();
}

function openSubmenu(group) {
  group.classList.add('open');
  group.querySelector('.submenu-items [role=menuitem]:not(:disabled)').focus();
}

// An item is {caption, id, onselect, disabled}, or {caption, id, items}
// for a submenu.
function itemNode(item) {
  if (item.items) {
    const group = element('div', { className: 'submenu' });
    group.append(
      element('button', { type: 'button', role: 'menuitem', id: item.id, tabIndex: -1, 'aria-haspopup': 'menu',
                          onclick: () => openSubmenu(group) }, item.caption),
      element('div', { role: 'menu', className: 'submenu-items' }, ...item.items.map(itemNode)));
    return group;
  }
  return element('button', { type: 'button', role: 'menuitem', id: item.id, disabled: item.disabled, tabIndex: -1,
                             onclick: () => { backToOpener(); item.onselect(); } }, item.caption);
}

function onKey(event) {
  const focused = document.activeElement;
  const items = [...shown.node.querySelectorAll('[role=menuitem]:not(:disabled)')]
    .filter((item) => item.offsetParent !== null);
  const at = items.indexOf(focused);
  const keys = {
    ArrowDown: () => items[(at + 1) % items.length].focus(),
    ArrowUp: () => items.at(at <= 0 ? -1 : at - 1).focus(),
    ArrowRight: () => {
      if (focused.getAttribute('aria-haspopup') === 'menu') openSubmenu(focused.closest('.submenu'));
    },
    ArrowLeft: () => {
      const group = focused.closest('.submenu-items')?.closest('.submenu');
      if (!group) return;
      group.classList.remove('open');
      group.querySelector('[aria-haspopup=menu]').focus();
    },
    Escape: backToOpener,
    Tab: closeMenu,
  };
  if (!keys[event.key]) return;
  if (event.key !== 'Tab') event.preventDefault();
  keys[event.key]();
}

// Opens `items` at the pointer (x, y), or under `opener` when opened from
// the keyboard; focus goes back to `opener` when the menu is left with
// Escape or an item is chosen.
export function openMenu(items, { opener, id, x, y }) {
  closeMenu();
  const node = element('div', { className: 'context-menu', role: 'menu', id, onkeydown: onKey },
                       ...items.map(itemNode));
  document.body.append(node);
  shown = { node, opener };
  if (x === undefined) {
    const box = opener.getBoundingClientRect();
    x = box.left + 16;
    y = box.bottom;
  }
  const { width, height } = node.getBoundingClientRect();
  node.style.left = `${Math.max(0, Math.min(x, window.innerWidth - width - 4))}px`;
  node.style.top = `${Math.max(0, Math.min(y, window.innerHeight - height - 4))}px`;
  document.addEventListener('pointerdown', onOutside, true);
  node.querySelector('[role=menuitem]:not(:disabled)').focus();
}
