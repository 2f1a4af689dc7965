#pragma once

// The one definition is public, beside ColumnFilter.
#include "tabvora/column_filter.hpp"
