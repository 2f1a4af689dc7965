// Cells as the server sends them: [kind, text] or [kind, text, data].

export const NUMERIC_TYPES = new Set(['INTEGER', 'REAL']);

export function fillCell(element, cell) {
  const [kind, text] = cell;
  element.textContent = '';
  if (kind === 'null') {
    const badge = document.createElement('span');
    badge.className = 'badge-null';
    badge.textContent = 'NULL';
    element.append(badge);
  } else if (kind === 'boolean') {
    const badge = document.createElement('span');
    badge.className = cell[2] ? 'badge-true' : 'badge-false';
    badge.textContent = cell[2] ? 'TRUE' : 'FALSE';
    element.append(badge);
  } else {
    element.textContent = text.length > 10000 ? `${text.slice(0, 10000)}…` : text;
  }
  element.title = kind === 'null' ? 'NULL' : text.slice(0, 2000);
}

// The text an editor starts from: the value itself where it differs from its shown form.
export function editableText(cell) {
  const [kind, text, data] = cell;
  if (kind === 'null') return '';
  if ((kind === 'text' || kind === 'json') && typeof data === 'string') return data;
  return text;
}

// A plain table of a result, for the SQL console: at most `limit` rows drawn.
export function resultTable(result, limit = 1000) {
  const table = document.createElement('table');
  table.className = 'result';
  table.setAttribute('role', 'grid');
  const head = table.createTHead().insertRow();
  head.setAttribute('role', 'row');
  for (const column of result.columns) {
    const th = document.createElement('th');
    th.setAttribute('role', 'columnheader');
    th.textContent = `${column.name} `;
    const type = document.createElement('span');
    type.className = 'meta-text mono';
    type.textContent = column.type;
    th.append(type);
    head.append(th);
  }
  const body = table.createTBody();
  result.rows.slice(0, limit).forEach((row) => {
    const tr = body.insertRow();
    tr.setAttribute('role', 'row');
    row.c.forEach((cell, j) => {
      const td = tr.insertCell();
      td.setAttribute('role', 'gridcell');
      if (NUMERIC_TYPES.has(result.columns[j]?.type)) td.className = 'align-right mono';
      fillCell(td, cell);
    });
  });
  return table;
}
