// "Пользователи".
export function mount(section) {
  section.innerHTML = '<p>Пользователи появятся в следующей версии.</p>';
}

export async function show() {}
