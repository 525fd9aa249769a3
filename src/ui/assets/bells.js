// "Редактор звонков".
export function mount(section) {
  section.innerHTML = '<p>Редактор звонков появится в следующей версии.</p>';
}

export async function show() {}
