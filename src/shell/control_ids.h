// The control tables now live beside the display code (operation/display_ids.h); this name
// stays only until the benchmarks include that header themselves.
#pragma once

#include "operation/display_ids.h"
