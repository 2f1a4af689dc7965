// The workspace page: tables, the Data Grid, the SQL Console, Schema, Raw File, statistics,
// export, editing and Save, over the JSON routes of the server that served it.
import { get, post, gridParameters } from './api.js';
import { resultTable } from './cells.js';
import { Grid } from './grid.js';

const OPERATORS = ['contains', 'does not contain', '=', '≠', '>', '≥', '<', '≤', 'starts with', 'ends with',
  'is empty', 'is not empty'];
const HEARTBEAT_MS = 5000;
const LOADING_POLL_MS = 300;
// What waits for the whole file while only its first rows are loaded.
const WAITING_FOR_WHOLE = ['save', 'insert-row', 'delete-row', 'toggle-stats', 'sql-run', 'export'];
const $ = (id) => document.getElementById(id);

const state = {
  info: null,
  loading: null,  // whether the whole file is still loading, once asked
  tables: [],
  view: { table: null, sort: null, filters: [], combination: 'All', search: '' },
  tabs: [],
  activeTab: null,
  mode: 'Data Grid',
};

function say(text, kind = 'error') {
  const message = $('message');
  message.textContent = text;
  message.className = kind === 'error' ? 'message' : 'message info';
  message.hidden = !text;
}

function setDirty(dirty) {
  $('unsaved').hidden = !dirty;
}

const grid = new Grid($('grid'), {
  onError: (text) => say(text),
  onEdit: async (row, column, value) => {
    try {
      const answer = await post('/api/cell', { table: state.view.table, row, column, value });
      setDirty(answer.dirty);
      say('');
      return true;
    } catch (error) {
      say(error.message);
      return false;
    }
  },
  onChange: () => updateFooter(),
});
grid.onLayout = () => {
  post('/api/layout', { table: state.view.table, layout: grid.layout() }).catch((error) => say(error.message));
};
grid.onSort = (sort) => {
  state.view.sort = sort;
  refreshSideParts();
};

function updateFooter() {
  const count = grid.total.toLocaleString();
  const hidden = grid.hidden.size ? ` · ${grid.hidden.size} hidden column(s) ` : '';
  const loading = state.loading ? ' (the first rows: sort, filter and search cover these until the whole file is loaded)' : '';
  $('footer').textContent = `${count}${grid.lowerBound ? '+' : ''} rows${loading}${hidden}`;
  if (grid.hidden.size && !$('show-columns')) {
    const button = document.createElement('button');
    button.id = 'show-columns';
    button.textContent = 'Show all columns';
    button.addEventListener('click', () => {
      grid.showAllColumns();
      button.remove();
      updateFooter();
    });
    $('footer').after(button);
  }
}

// Theme: System, Light or Dark, remembered by the browser.
const systemDark = window.matchMedia('(prefers-color-scheme: dark)');
function applyTheme(theme) {
  document.documentElement.dataset.theme = theme;
  document.documentElement.toggleAttribute('data-dark', theme === 'Dark' || (theme === 'System' && systemDark.matches));
  $('theme').value = theme;
}
systemDark.addEventListener('change', () => applyTheme(document.documentElement.dataset.theme));
$('theme').addEventListener('change', () => {
  localStorage.setItem('tabvora.theme', $('theme').value);
  applyTheme($('theme').value);
});
applyTheme(['System', 'Light', 'Dark'].includes(localStorage.getItem('tabvora.theme'))
  ? localStorage.getItem('tabvora.theme') : 'System');

// View modes.
function setMode(mode) {
  state.mode = mode;
  for (const button of $('view-mode').querySelectorAll('[data-mode]'))
    button.setAttribute('aria-selected', String(button.dataset.mode === mode));
  $('view-grid').hidden = mode !== 'Data Grid';
  $('view-console').hidden = mode !== 'SQL Console';
  $('view-schema').hidden = mode !== 'Schema';
  $('view-raw').hidden = mode !== 'Raw File';
  if (mode === 'Schema') showSchema();
  if (mode === 'Raw File') showRaw();
  if (mode === 'Data Grid') grid.render();
}
$('view-mode').addEventListener('click', (event) => {
  const button = event.target.closest('[data-mode]');
  if (button) setMode(button.dataset.mode);
});

// Tables.
function drawTables() {
  const list = $('table-list');
  list.textContent = '';
  for (const table of state.tables) {
    const button = document.createElement('button');
    button.setAttribute('aria-current', String(table.name === state.view.table));
    button.dataset.table = table.name;
    button.textContent = table.name;
    const kind = document.createElement('span');
    kind.className = 'kind';
    const rows = table.rows === null ? '' : ` · ${table.rows.toLocaleString()}${table.rowsIsLowerBound ? '+' : ''} rows`;
    kind.textContent = table.unreadable ? `${table.kind} · ${table.unreadable}` : `${table.kind}${rows}`;
    button.append(kind);
    button.addEventListener('click', () => chooseTable(table.name));
    list.append(button);
  }
}

async function chooseTable(name) {
  state.view = { table: name, sort: null, filters: [], combination: 'All', search: '' };
  try {
    grid.setLayout(await get('/api/layout', { table: name }));
  } catch (error) {
    grid.setLayout({});
    say(error.message);
  }
  $('search').value = '';
  $('combination').value = 'All';
  drawFilters();
  drawTables();
  showGrid();
  if (state.mode === 'Schema') showSchema();
}

function showGrid() {
  say('');
  grid.show(state.view);
  refreshSideParts();
}

// Filters and search.
function drawFilters() {
  const box = $('filters');
  box.textContent = '';
  state.view.filters.forEach((filter, index) => {
    const row = document.createElement('div');
    row.className = 'filter';
    const column = document.createElement('select');
    column.setAttribute('aria-label', 'Filter column');
    for (const c of grid.columns) column.add(new Option(c.name, c.name));
    column.value = filter.column;
    const op = document.createElement('select');
    op.setAttribute('aria-label', 'Filter operator');
    for (const o of OPERATORS) op.add(new Option(o, o));
    op.value = filter.op;
    const value = document.createElement('input');
    value.setAttribute('aria-label', 'Filter value');
    value.value = filter.value;
    value.hidden = filter.op === 'is empty' || filter.op === 'is not empty';
    const remove = document.createElement('button');
    remove.textContent = '×';
    remove.setAttribute('aria-label', 'Remove filter');
    column.addEventListener('change', () => { filter.column = column.value; filtersChanged(); });
    op.addEventListener('change', () => {
      filter.op = op.value;
      value.hidden = filter.op === 'is empty' || filter.op === 'is not empty';
      filtersChanged();
    });
    value.addEventListener('input', () => { filter.value = value.value; filtersChanged(); });
    remove.addEventListener('click', () => { state.view.filters.splice(index, 1); drawFilters(); filtersChanged(); });
    row.append(column, op, value, remove);
    box.append(row);
  });
}

let pending = null;
function filtersChanged() {
  clearTimeout(pending);
  pending = setTimeout(showGrid, 300);
}
$('add-filter').addEventListener('click', () => {
  if (!grid.columns.length) return;
  state.view.filters.push({ column: grid.columns[0].name, op: 'contains', value: '' });
  drawFilters();
});
$('combination').addEventListener('change', () => { state.view.combination = $('combination').value; filtersChanged(); });
$('search').addEventListener('input', () => { state.view.search = $('search').value; filtersChanged(); });

// Statistics and export follow the grid's sort, filters and search.
async function refreshSideParts() {
  const parameters = gridParameters(state.view);
  $('export').href = `/api/export?${new URLSearchParams({ ...parameters, format: $('export-format').value })}`;
  if (!$('stats-panel').hidden) await showStatistics();
}
$('export-format').addEventListener('change', refreshSideParts);
$('export').addEventListener('click', (event) => {
  if (!state.loading) return;
  event.preventDefault();
  say('The file is still loading: exports start once it is loaded.', 'info');
});
$('toggle-stats').addEventListener('click', () => {
  const panel = $('stats-panel');
  panel.hidden = !panel.hidden;
  $('toggle-stats').setAttribute('aria-pressed', String(!panel.hidden));
  if (!panel.hidden) showStatistics();
  grid.render();
});

async function showStatistics() {
  const panel = $('stats-panel');
  panel.textContent = 'Counting…';
  try {
    const statistics = await get('/api/stats', gridParameters(state.view));
    panel.textContent = '';
    for (const column of statistics) {
      const title = document.createElement('h3');
      title.textContent = `${column.column} (${column.type})`;
      const list = document.createElement('dl');
      const entries = [
        ['Rows', column.rows], ['Nulls', `${column.nulls} (${column.nullPercentage.toFixed(1)}%)`],
        ['Distinct', `${column.distinctIsEstimate ? '~' : ''}${column.distinct}`], ['Min', column.min],
        ['Max', column.max], ['Average', column.average], ['Samples', column.samples.join(', ')],
      ];
      for (const [name, value] of entries) {
        const dt = document.createElement('dt');
        dt.textContent = name;
        const dd = document.createElement('dd');
        dd.textContent = value === null || value === undefined ? '—' : String(value);
        list.append(dt, dd);
      }
      panel.append(title, list);
    }
  } catch (error) {
    panel.textContent = '';
    say(error.message);
  }
}

// Editing.
$('insert-row').addEventListener('click', async () => {
  try {
    setDirty((await post('/api/insert', { table: state.view.table })).dirty);
    await grid.reload();
    say('');
  } catch (error) {
    say(error.message);
  }
});
$('delete-row').addEventListener('click', async () => {
  const row = grid.activeRow();
  if (!row) return;
  try {
    setDirty((await post('/api/delete', { table: state.view.table, rows: [row] })).dirty);
    await grid.reload();
    say('');
  } catch (error) {
    say(error.message);
  }
});
$('save').addEventListener('click', async () => {
  try {
    const answer = await post('/api/save');
    setDirty(answer.dirty);
    say('Saved.', 'info');
    await loadTables();
  } catch (error) {
    say(error.message);
  }
});

// SQL Console: tabs of a title, a statement, its result, time, error and running state.
function newTab() {
  const tab = {
    id: crypto.randomUUID(), title: `Query ${state.tabs.length + 1}`,
    queryText: state.view.table ? `SELECT * FROM "${state.view.table.replaceAll('"', '""')}" LIMIT 100` : '',
    resultData: null, executionTimeMs: null, errorMessage: null, isExecuting: false,
  };
  state.tabs.push(tab);
  selectTab(tab.id);
}

function currentTab() {
  return state.tabs.find((tab) => tab.id === state.activeTab);
}

function selectTab(id) {
  const previous = currentTab();
  if (previous) previous.queryText = $('sql-editor').value;
  state.activeTab = id;
  drawTabs();
  const tab = currentTab();
  $('sql-editor').value = tab.queryText;
  drawResult(tab);
}

function drawTabs() {
  const bar = $('console-tabs');
  bar.textContent = '';
  for (const tab of state.tabs) {
    const button = document.createElement('button');
    button.setAttribute('role', 'tab');
    button.setAttribute('aria-selected', String(tab.id === state.activeTab));
    button.dataset.testid = 'sql-tab';
    button.textContent = tab.isExecuting ? `${tab.title} …` : tab.title;
    button.addEventListener('click', () => selectTab(tab.id));
    bar.append(button);
  }
  const add = document.createElement('button');
  add.textContent = '+';
  add.setAttribute('aria-label', 'New tab');
  add.dataset.testid = 'sql-new-tab';
  add.addEventListener('click', newTab);
  bar.append(add);
}

function drawResult(tab) {
  const box = $('sql-result');
  box.textContent = '';
  $('sql-status').textContent = '';
  $('sql-cancel').hidden = !tab.isExecuting;
  if (tab.isExecuting) $('sql-status').textContent = 'Running…';
  if (tab.errorMessage) {
    const error = document.createElement('div');
    error.className = 'error-text';
    error.textContent = tab.errorMessage;
    box.append(error);
  }
  if (tab.resultData) {
    const result = tab.resultData;
    box.append(resultTable(result));
    const more = result.totalIsLowerBound ? '+' : '';
    const shown = result.rows.length > 1000 ? ' (first 1,000 shown)' : '';
    $('sql-status').textContent = `${result.total.toLocaleString()}${more} rows${shown} · ${tab.executionTimeMs.toFixed(1)} ms`;
  }
}

async function runTab() {
  const tab = currentTab();
  if (!tab || tab.isExecuting) return;
  tab.queryText = $('sql-editor').value;
  tab.isExecuting = true;
  tab.errorMessage = null;
  drawTabs();
  drawResult(tab);
  try {
    const result = await post('/api/query', { sql: tab.queryText });
    tab.resultData = result;
    tab.executionTimeMs = result.ms;
  } catch (error) {
    tab.resultData = null;
    tab.errorMessage = error.message;
  }
  tab.isExecuting = false;
  drawTabs();
  if (tab.id === state.activeTab) drawResult(tab);
}
$('sql-run').addEventListener('click', runTab);
// The statement running stops and its tab shows "cancelled" (its answer says so). Asked
// again while it runs: a request that reaches the server before the statement starts has
// nothing to stop.
async function cancelTab() {
  const tab = currentTab();
  for (let tries = 0; tab && tab.isExecuting && tries < 20; tries += 1) {
    try {
      await post('/api/cancel');
    } catch (error) {
      say(error.message);
      return;
    }
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
}
$('sql-cancel').addEventListener('click', cancelTab);
$('sql-editor').addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    runTab();
  }
});

// Schema and Raw File.
async function showSchema() {
  const box = $('schema');
  box.textContent = '';
  for (const table of state.tables) {
    if (table.unreadable) continue;
    try {
      const schema = await get('/api/schema', { table: table.name });
      const part = document.createElement('div');
      part.className = 'schema-table';
      const title = document.createElement('h3');
      title.textContent = `${schema.table} (${table.kind})`;
      const list = document.createElement('table');
      list.className = 'result';
      for (const column of schema.columns) {
        const row = list.insertRow();
        row.insertCell().textContent = column.name;
        row.insertCell().textContent = column.type;
      }
      part.append(title, list);
      if (schema.create) {
        const create = document.createElement('pre');
        create.className = 'create';
        create.textContent = schema.create;
        part.append(create);
      }
      box.append(part);
    } catch (error) {
      say(error.message);
    }
  }
}

async function showRaw() {
  try {
    const raw = await get('/api/raw');
    $('raw').textContent = raw.text;
    const form = raw.hex ? 'in hexadecimal' : 'as text';
    $('raw-note').textContent = raw.cut
      ? `The first 64 KB of ${raw.size.toLocaleString()} bytes, ${form}; the rest is cut.`
      : `All ${raw.size.toLocaleString()} bytes, ${form}.`;
  } catch (error) {
    say(error.message);
  }
}

async function loadTables() {
  state.tables = await get('/api/tables');
  drawTables();
}

function showEditable() {
  for (const id of ['save', 'insert-row', 'delete-row']) {
    $(id).disabled = !state.info.editable;
    $(id).title = state.info.editRefusal;
  }
}

// While the whole file loads behind its first rows: a progress bar, and what needs every row
// marked as waiting; once loaded, the counts, the grid and the editing state are fetched anew.
async function followLoading() {
  let loading;
  try {
    loading = await get('/api/loading');
  } catch (error) {
    say(error.message);
    return;
  }
  const was = state.loading ?? state.info.loading;
  state.loading = loading.loading;
  const bar = $('progress');
  bar.hidden = !loading.loading;
  const percent = loading.total ? Math.min(100, Math.round((100 * loading.done) / loading.total)) : null;
  $('progress-bar').style.width = `${percent ?? 0}%`;
  if (percent === null) bar.removeAttribute('aria-valuenow');
  else bar.setAttribute('aria-valuenow', String(percent));
  for (const id of WAITING_FOR_WHOLE) {
    const control = $(id);
    control.classList.toggle('waiting', loading.loading);
    if (loading.loading) {
      control.dataset.loading = 'true';
      control.title = `Loading the whole file${percent === null ? '' : ` (${percent}%)`}: this waits until it is loaded.`;
    } else if (control.dataset.loading) {
      delete control.dataset.loading;
      control.title = '';
    }
  }
  if (loading.loading) {
    setTimeout(followLoading, LOADING_POLL_MS);
    updateFooter();
    return;
  }
  if (loading.failed) say(loading.failed);
  if (was) {
    state.info = await get('/api/info');
    showEditable();
    await loadTables();
    await grid.reload();
    await refreshSideParts();
  }
}

async function start() {
  try {
    state.info = await get('/api/info');
    $('format').textContent = state.info.format;
    $('filename').textContent = state.info.name;
    $('meta').textContent = `• ${state.info.size.toLocaleString()} bytes`;
    document.title = `${state.info.name} — Tabvora`;
    setDirty(state.info.dirty);
    showEditable();
    if (state.info.warnings.length) say(state.info.warnings.join(' '), 'info');
    await followLoading();
    await loadTables();
    const first = state.tables.find((table) => !table.unreadable) ?? state.tables[0];
    if (first) await chooseTable(first.name);
    newTab();
  } catch (error) {
    say(error.message);
  }
  const beat = () => post('/api/heartbeat').catch(() => {});
  beat();
  setInterval(beat, HEARTBEAT_MS);
}

start();
