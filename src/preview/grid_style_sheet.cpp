#include "preview/grid_style_sheet.hpp"

namespace tabvora::internal {

const std::string_view kGridStyleSheet = R"css(  :root {
    --bg: #ffffff;
    --text: #1d1d1f;
    --secondary-text: #86868b;
    --border: #e5e5e7;
    --header-bg: #f5f5f7;
    --row-even: #ffffff;
    --row-odd: #fbfbfd;
    --hover: #f0f0f2;
    --badge-bg: rgba(0, 122, 255, 0.1);
    --badge-text: #007aff;
    --null-bg: rgba(142, 142, 147, 0.15);
    --null-text: #8e8e93;
    --bool-true-bg: rgba(52, 199, 89, 0.15);
    --bool-true-text: #28a745;
    --bool-false-bg: rgba(142, 142, 147, 0.15);
    --bool-false-text: #8e8e93;
    --card-bg: #f5f5f7;
  }
  @media (prefers-color-scheme: dark) {
    :root {
      --bg: #1e1e1e;
      --text: #f5f5f7;
      --secondary-text: #86868b;
      --border: #333336;
      --header-bg: #28282a;
      --row-even: #1e1e1e;
      --row-odd: #242426;
      --hover: #2c2c2e;
      --badge-bg: rgba(10, 132, 255, 0.2);
      --badge-text: #0a84ff;
      --null-bg: rgba(142, 142, 147, 0.2);
      --null-text: #98989d;
      --bool-true-bg: rgba(48, 209, 88, 0.2);
      --bool-true-text: #30d158;
      --bool-false-bg: rgba(142, 142, 147, 0.2);
      --bool-false-text: #98989d;
      --card-bg: #28282a;
    }
  }
  * { box-sizing: border-box; margin: 0; padding: 0; }
  body {
    font-family: -apple-system, BlinkMacSystemFont, "SF Pro Text", "Helvetica Neue", sans-serif;
    background: var(--bg);
    color: var(--text);
    padding: 16px;
    font-size: 12px;
    line-height: 1.4;
  }
  .header {
    display: flex;
    align-items: center;
    justify-content: space-between;
    padding-bottom: 12px;
    border-bottom: 1px solid var(--border);
    margin-bottom: 12px;
  }
  .file-info { display: flex; align-items: center; gap: 8px; }
  .filename { font-size: 15px; font-weight: 600; }
  .format-badge {
    font-size: 10px;
    font-weight: 600;
    padding: 2px 6px;
    border-radius: 4px;
    background: var(--badge-bg);
    color: var(--badge-text);
    text-transform: uppercase;
  }
  .meta-text { font-size: 12px; color: var(--secondary-text); }
  .tables-bar { display: flex; gap: 6px; flex-wrap: wrap; margin-bottom: 12px; }
  .table-pill {
    font-size: 11px;
    padding: 3px 8px;
    border-radius: 12px;
    background: var(--card-bg);
    color: var(--secondary-text);
    border: 1px solid var(--border);
  }
  .table-pill.active {
    background: var(--badge-bg);
    color: var(--badge-text);
    border-color: var(--badge-text);
    font-weight: 600;
  }
  .table-container {
    overflow-x: auto;
    border: 1px solid var(--border);
    border-radius: 8px;
    max-height: 420px;
    background: var(--bg);
  }
  table { width: 100%; border-collapse: collapse; font-size: 12px; }
  th {
    position: sticky;
    top: 0;
    background: var(--header-bg);
    color: var(--text);
    padding: 8px 10px;
    text-align: left;
    font-weight: 600;
    border-bottom: 1px solid var(--border);
    border-right: 1px solid var(--border);
    white-space: nowrap;
    z-index: 10;
  }
  th:last-child { border-right: none; }
  .col-name { display: block; font-size: 12px; font-weight: 600; }
  .col-type {
    display: block;
    font-size: 9px;
    font-weight: 400;
    color: var(--secondary-text);
    font-family: ui-monospace, monospace;
    margin-top: 1px;
  }
  td {
    padding: 6px 10px;
    border-bottom: 1px solid var(--border);
    border-right: 1px solid var(--border);
    white-space: nowrap;
  }
  td:last-child { border-right: none; }
  tr.even { background: var(--row-even); }
  tr.odd { background: var(--row-odd); }
  tr:hover { background: var(--hover); }
  td.row-num {
    color: var(--secondary-text);
    font-family: ui-monospace, monospace;
    font-size: 10px;
    text-align: center;
    width: 40px;
    background: var(--header-bg);
  }
  .align-right { text-align: right; }
  .align-left { text-align: left; }
  .mono { font-family: ui-monospace, "SF Mono", Menlo, monospace; font-size: 11px; }
  .badge-null {
    font-size: 9px;
    font-weight: 600;
    font-family: ui-monospace, monospace;
    padding: 1px 4px;
    border-radius: 3px;
    background: var(--null-bg);
    color: var(--null-text);
  }
  .badge-true {
    font-size: 10px;
    font-weight: 600;
    padding: 1px 5px;
    border-radius: 3px;
    background: var(--bool-true-bg);
    color: var(--bool-true-text);
  }
  .badge-false {
    font-size: 10px;
    font-weight: 600;
    padding: 1px 5px;
    border-radius: 3px;
    background: var(--bool-false-bg);
    color: var(--bool-false-text);
  }
  .footer {
    display: flex;
    justify-content: space-between;
    align-items: center;
    margin-top: 10px;
    font-size: 11px;
    color: var(--secondary-text);
  }
  .brand { font-weight: 600; color: var(--secondary-text); }
)css";

}  // namespace tabvora::internal
