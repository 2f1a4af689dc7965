#pragma once

// The whole public API: Document to read a file's tables, rows and query results,
// previewPage/errorPage for the HTML pages, and the Error every failure throws.
#include "tabvora/document.hpp"
#include "tabvora/error.hpp"
#include "tabvora/library.hpp"
#include "tabvora/preview_page.hpp"
#include "tabvora/value.hpp"
