#pragma once

// The one definition is public: a filter is what callers of the library pass in.
#include "tabvora/column_filter.hpp"
