#pragma once

// The whole public API: Document to read, query, summarise, export and edit a file's
// tables (opened with OpenOptions; pages narrowed by ColumnFilter), previewPage and
// previewText for the HTML page and the text grid, AtomicFileWriter and visibleOnTerminal
// for programs that write what they read, TableColumnLayout for a table's saved column
// widths and hidden columns, and the Error every failure throws.
#include "tabvora/atomic_file.hpp"
#include "tabvora/column_filter.hpp"
#include "tabvora/column_layout.hpp"
#include "tabvora/column_statistics.hpp"
#include "tabvora/document.hpp"
#include "tabvora/error.hpp"
#include "tabvora/export_format.hpp"
#include "tabvora/library.hpp"
#include "tabvora/open_options.hpp"
#include "tabvora/preview_page.hpp"
#include "tabvora/progress.hpp"
#include "tabvora/terminal_text.hpp"
#include "tabvora/value.hpp"
