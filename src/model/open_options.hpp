#pragma once

// The one definition is public: callers of the library decide how a file is opened.
#include "tabvora/open_options.hpp"
