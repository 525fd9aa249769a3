// A little help for building the page's elements.

// element('button', {id: 'x', onclick: f}, 'text', child, ...): properties
// are set as properties, except names with a dash or "for", set as attributes.
export function element(tag, properties = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(properties)) {
    if (value === undefined) continue;
    if (name.includes('-') || name === 'for') node.setAttribute(name, value);
    else node[name] = value;
  }
  for (const child of children) {
    if (child !== null && child !== undefined) node.append(child);
  }
  return node;
}

export function clear(node) {
  node.replaceChildren();
}

// A labelled check box; `onchange` receives the new state.
export function checkbox(id, caption, onchange) {
  const input = element('input', { type: 'checkbox', id, onchange: () => onchange(input.checked) });
  return { input, label: element('label', { for: id }, input, caption) };
}

// A labelled text field; `onchange` receives the text when the field is left.
export function textField(id, caption, onchange, type = 'text') {
  const input = element('input', { type, id, onchange: () => onchange(input.value) });
  return { input, label: element('label', { for: id }, caption, input) };
}

// A small line icon: `paths` are SVG path data on a 24 × 24 grid.
export function icon(...paths) {
  const ns = 'http://www.w3.org/2000/svg';
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', '0 0 24 24');
  svg.setAttribute('aria-hidden', 'true');
  for (const d of paths) {
    const path = document.createElementNS(ns, 'path');
    path.setAttribute('d', d);
    svg.append(path);
  }
  return svg;
}
