// Requests to the workspace server. Every answer is JSON; a refusal carries {"error"}.

export class RequestFailed extends Error {}

async function answer(response) {
  let body = null;
  try {
    body = await response.json();
  } catch {
    throw new RequestFailed(`The server answered ${response.status} without a readable body.`);
  }
  if (!response.ok) throw new RequestFailed(body && body.error ? body.error : `The server answered ${response.status}.`);
  return body;
}

export async function get(path, parameters = {}) {
  return answer(await fetch(`${path}?${new URLSearchParams(parameters)}`, { credentials: 'same-origin' }));
}

export async function post(path, body = {}) {
  return answer(await fetch(path, {
    method: 'POST',
    credentials: 'same-origin',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  }));
}

// The query parameters that name a table's rows as the grid shows them.
export function gridParameters(view) {
  const parameters = { table: view.table };
  if (view.sort) {
    parameters.sort = view.sort.column;
    parameters.order = view.sort.ascending ? 'asc' : 'desc';
  }
  const active = view.filters.filter((f) => f.column && (f.op === 'is empty' || f.op === 'is not empty' || f.value !== ''));
  if (active.length) {
    parameters.filters = JSON.stringify(active.map(({ column, op, value }) => ({ column, op, value })));
    parameters.combine = view.combination;
  }
  if (view.search) parameters.search = view.search;
  return parameters;
}
