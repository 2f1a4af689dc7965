#pragma once

// The one definition is public: callers of the library choose the format.
#include "tabvora/export_format.hpp"
