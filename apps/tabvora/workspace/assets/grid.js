// The Data Grid: every row of a table by virtual scrolling. Only the rows in sight are in
// the page; they come from the server in pages of PAGE_ROWS, fetched as they are needed.
import { get, gridParameters } from './api.js';
import { fillCell, editableText, NUMERIC_TYPES } from './cells.js';

export const PAGE_ROWS = 500;
const ROW_HEIGHT = 26;
// Past this height the scroll range is scaled: browsers cap an element's height.
const MAX_SCROLL_HEIGHT = 6_000_000;
const DEFAULT_WIDTH = 150;
const NUMBER_WIDTH = 64;
const KEPT_PAGES = 40;

export class Grid {
  constructor(root, { onError, onEdit, onChange }) {
    this.root = root;
    this.header = root.querySelector('#grid-header');
    this.sizer = root.querySelector('#grid-sizer');
    this.layer = root.querySelector('#grid-rows');
    this.onError = onError;
    this.onEdit = onEdit;
    this.onChange = onChange;
    this.view = null;
    this.columns = [];
    this.total = 0;
    this.lowerBound = false;
    this.pages = new Map();
    this.generation = 0;
    this.widths = new Map();
    this.hidden = new Set();
    this.active = { row: 0, column: 0 };
    this.editing = null;
    root.addEventListener('scroll', () => this.render());
    root.addEventListener('keydown', (event) => this.key(event));
    root.addEventListener('dblclick', (event) => {
      const cell = event.target.closest('[data-column]');
      if (cell) this.startEditing(Number(cell.dataset.row), Number(cell.dataset.column));
    });
    root.addEventListener('click', (event) => {
      const cell = event.target.closest('[data-column]');
      if (!cell || this.editing) return;
      this.active = { row: Number(cell.dataset.row), column: Number(cell.dataset.column) };
      // Marked in place: redrawing the rows here would take a double-click's target away.
      for (const marked of this.layer.querySelectorAll('.cell.active')) {
        marked.classList.remove('active');
        marked.removeAttribute('aria-selected');
      }
      cell.classList.add('active');
      cell.setAttribute('aria-selected', 'true');
    });
    new ResizeObserver(() => this.render()).observe(root);
  }

  // Shows `view` ({table, sort, filters, combination, search}) from its first row.
  async show(view, { keepPlace = false } = {}) {
    this.view = structuredClone(view);
    this.generation += 1;
    this.pages.clear();
    if (!keepPlace) {
      this.root.scrollTop = 0;
      this.active = { row: 0, column: 0 };
    }
    // A filter's first rows show before all the rows it keeps are counted.
    await this.fetchPage(Math.floor(this.firstVisibleRow() / PAGE_ROWS), { countLater: true });
  }

  // A table's saved layout, {widths: {name: px}, hidden: [names]}; drawn with its rows.
  setLayout(layout) {
    this.widths = new Map(Object.entries(layout.widths ?? {}));
    this.hidden = new Set(layout.hidden ?? []);
    this.columns = [];
  }

  layout() {
    return { widths: Object.fromEntries(this.widths), hidden: [...this.hidden] };
  }

  reload() {
    return this.show(this.view, { keepPlace: true });
  }

  visibleColumns() {
    return this.columns.map((column, index) => ({ ...column, index })).filter((c) => !this.hidden.has(c.name));
  }

  width(name) {
    return this.widths.get(name) ?? DEFAULT_WIDTH;
  }

  async fetchPage(index, { countLater = false, recount = false } = {}) {
    if (!this.view || (this.pages.has(index) && !recount)) return;
    const generation = this.generation;
    if (!recount) this.pages.set(index, null);
    try {
      const parameters = { ...gridParameters(this.view), offset: index * PAGE_ROWS, limit: PAGE_ROWS };
      if (countLater && index === 0) parameters.count = 'later';
      const page = await get('/api/rows', parameters);
      if (generation !== this.generation) return;
      const columnsChanged = JSON.stringify(page.columns) !== JSON.stringify(this.columns);
      this.columns = page.columns;
      this.total = page.total;
      this.lowerBound = page.totalIsLowerBound;
      this.pages.set(index, page.rows);
      if (this.pages.size > KEPT_PAGES) this.pages.delete(this.pages.keys().next().value);
      if (columnsChanged) this.drawHeader();
      this.render();
      this.onChange?.();
      if (page.uncounted) this.fetchPage(index, { recount: true });
    } catch (error) {
      if (generation !== this.generation) return;
      if (!recount) this.pages.delete(index);
      this.onError(error.message);
    }
  }

  rowAt(index) {
    const page = this.pages.get(Math.floor(index / PAGE_ROWS));
    return page ? page[index % PAGE_ROWS] : undefined;
  }

  drawHeader() {
    this.header.textContent = '';
    const corner = document.createElement('div');
    corner.className = 'column-header row-num';
    corner.setAttribute('role', 'columnheader');
    corner.style.width = `${NUMBER_WIDTH}px`;
    corner.textContent = '#';
    this.header.append(corner);
    for (const column of this.visibleColumns()) {
      const th = document.createElement('div');
      th.className = 'column-header';
      th.setAttribute('role', 'columnheader');
      th.dataset.testid = 'column-header';
      th.dataset.name = column.name;
      th.style.width = `${this.width(column.name)}px`;
      const sorted = this.view.sort && this.view.sort.column === column.name;
      th.setAttribute('aria-sort', sorted ? (this.view.sort.ascending ? 'ascending' : 'descending') : 'none');
      const name = document.createElement('span');
      name.className = 'col-name';
      name.textContent = column.name;
      const type = document.createElement('span');
      type.className = 'col-type';
      type.textContent = column.type;
      th.append(name, type);
      if (sorted) {
        const mark = document.createElement('span');
        mark.className = 'sort';
        mark.textContent = this.view.sort.ascending ? '▲' : '▼';
        th.append(mark);
      }
      const hide = document.createElement('button');
      hide.className = 'hide';
      hide.textContent = 'hide';
      hide.title = `Hide ${column.name}`;
      hide.addEventListener('click', (event) => {
        event.stopPropagation();
        this.hidden.add(column.name);
        this.drawHeader();
        this.render();
        this.onChange?.();
        this.onLayout?.();
      });
      const handle = document.createElement('span');
      handle.className = 'resize';
      handle.addEventListener('click', (event) => event.stopPropagation());
      handle.addEventListener('pointerdown', (event) => this.resize(event, column.name, th));
      th.append(hide, handle);
      th.addEventListener('click', () => this.cycleSort(column.name));
      this.header.append(th);
    }
  }

  resize(event, name, th) {
    event.preventDefault();
    event.stopPropagation();
    const start = event.clientX;
    const initial = this.width(name);
    const move = (e) => {
      this.widths.set(name, Math.max(40, initial + e.clientX - start));
      th.style.width = `${this.width(name)}px`;
      this.render();
    };
    const up = () => {
      window.removeEventListener('pointermove', move);
      window.removeEventListener('pointerup', up);
      this.onLayout?.();
    };
    window.addEventListener('pointermove', move);
    window.addEventListener('pointerup', up);
  }

  // Ascending, descending, then the table's own order.
  cycleSort(name) {
    const sort = this.view.sort;
    let next = { column: name, ascending: true };
    if (sort && sort.column === name) next = sort.ascending ? { column: name, ascending: false } : null;
    this.view.sort = next;
    this.onSort?.(next);
    this.drawHeader();
    this.show(this.view, { keepPlace: false });
  }

  showAllColumns() {
    this.hidden.clear();
    this.drawHeader();
    this.render();
    this.onLayout?.();
  }

  // Where the scroll range stands in rows: the first row in sight.
  geometry() {
    const headerHeight = this.header.offsetHeight;
    const viewport = Math.max(0, this.root.clientHeight - headerHeight);
    const visible = Math.ceil(viewport / ROW_HEIGHT) + 1;
    const full = this.total * ROW_HEIGHT;
    const scaled = full > MAX_SCROLL_HEIGHT;
    const height = scaled ? MAX_SCROLL_HEIGHT : full;
    const top = this.root.scrollTop;
    let first;
    let offset;
    if (!scaled) {
      first = Math.floor(top / ROW_HEIGHT);
      offset = first * ROW_HEIGHT;
    } else {
      const range = Math.max(1, height - viewport);
      first = Math.round((Math.min(top, range) / range) * Math.max(0, this.total - visible + 1));
      offset = top;
    }
    return { headerHeight, viewport, visible, height, scaled, first: Math.max(0, first), offset };
  }

  firstVisibleRow() {
    return this.geometry().first;
  }

  render() {
    if (!this.view) return;
    const g = this.geometry();
    this.sizer.style.height = `${g.height}px`;
    this.layer.style.top = `${g.headerHeight + g.offset}px`;
    if (this.editing) return;
    const columns = this.visibleColumns();
    const last = Math.min(this.total, g.first + g.visible);
    const rows = [];
    for (let index = g.first; index < last; index += 1) {
      const row = this.rowAt(index);
      if (row === undefined) this.fetchPage(Math.floor(index / PAGE_ROWS));
      rows.push(this.drawRow(index, row, columns));
    }
    this.layer.replaceChildren(...rows);
    this.root.setAttribute('aria-rowcount', String(this.total + 1));
  }

  drawRow(index, row, columns) {
    const tr = document.createElement('div');
    tr.className = row ? 'grid-row' : 'grid-row pending';
    tr.setAttribute('role', 'row');
    tr.setAttribute('aria-rowindex', String(index + 2));
    tr.dataset.testid = 'grid-row';
    const number = document.createElement('div');
    number.className = 'cell row-num';
    number.setAttribute('role', 'rowheader');
    number.style.width = `${NUMBER_WIDTH}px`;
    number.textContent = String(index + 1);
    tr.append(number);
    columns.forEach((column, visibleIndex) => {
      const td = document.createElement('div');
      td.className = NUMERIC_TYPES.has(column.type) ? 'cell align-right mono' : 'cell';
      td.setAttribute('role', 'gridcell');
      td.dataset.testid = 'grid-cell';
      td.dataset.row = String(index);
      td.dataset.column = String(visibleIndex);
      td.style.width = `${this.width(column.name)}px`;
      if (this.active.row === index && this.active.column === visibleIndex) {
        td.classList.add('active');
        td.setAttribute('aria-selected', 'true');
      }
      if (row) fillCell(td, row.c[column.index]);
      else td.textContent = '…';
      tr.append(td);
    });
    return tr;
  }

  // Scrolls so that row `index` is in sight.
  reveal(index) {
    const g = this.geometry();
    if (!g.scaled) {
      const top = index * ROW_HEIGHT;
      if (top < this.root.scrollTop) this.root.scrollTop = top;
      else if (top + ROW_HEIGHT > this.root.scrollTop + g.viewport) this.root.scrollTop = top + ROW_HEIGHT - g.viewport;
    } else if (index < g.first || index >= g.first + g.visible - 2) {
      const range = Math.max(1, g.height - g.viewport);
      this.root.scrollTop = (index / Math.max(1, this.total - g.visible + 1)) * range;
    }
    this.render();
  }

  key(event) {
    if (this.editing) return;
    const columns = this.visibleColumns().length;
    const { row, column } = this.active;
    const g = this.geometry();
    const moves = {
      ArrowDown: [row + 1, column],
      ArrowUp: [row - 1, column],
      ArrowRight: [row, column + 1],
      ArrowLeft: [row, column - 1],
      PageDown: [row + g.visible - 1, column],
      PageUp: [row - g.visible + 1, column],
      Home: [event.ctrlKey ? 0 : row, 0],
      End: [event.ctrlKey ? this.total - 1 : row, columns - 1],
    };
    if (event.key === 'Enter') {
      event.preventDefault();
      this.startEditing(row, column);
      return;
    }
    const target = moves[event.key];
    if (!target) return;
    event.preventDefault();
    this.active = {
      row: Math.max(0, Math.min(this.total - 1, target[0])),
      column: Math.max(0, Math.min(columns - 1, target[1])),
    };
    this.reveal(this.active.row);
  }

  startEditing(rowIndex, visibleColumn) {
    const row = this.rowAt(rowIndex);
    const column = this.visibleColumns()[visibleColumn];
    if (!row || !column) return;
    const td = this.layer.querySelector(`[data-row="${rowIndex}"][data-column="${visibleColumn}"]`);
    if (!td) return;
    this.active = { row: rowIndex, column: visibleColumn };
    const input = document.createElement('input');
    input.value = editableText(row.c[column.index]);
    input.setAttribute('aria-label', `New value of ${column.name}`);
    td.replaceChildren(input);
    this.editing = input;
    input.focus();
    input.select();
    const finish = async (commit) => {
      if (this.editing !== input) return;
      this.editing = null;
      if (commit) {
        const ok = await this.onEdit(row, column.name, input.value);
        if (ok) await this.reload();
      }
      this.render();
      this.root.focus();
    };
    input.addEventListener('keydown', (event) => {
      event.stopPropagation();
      if (event.key === 'Enter') finish(true);
      else if (event.key === 'Escape') finish(false);
    });
    input.addEventListener('blur', () => finish(false));
  }

  activeRow() {
    return this.rowAt(this.active.row);
  }
}
