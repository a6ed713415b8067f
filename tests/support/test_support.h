// The helpers shared by the tests, the tools and the benchmarks, in one include: import
// patches and system overrides, files and pictures, resource counts, windows and DIBs to
// draw into, and the data objects a handler is initialised with.
#pragma once

#include "tests/support/files.h"
#include "tests/support/import_patch.h"
#include "tests/support/resource_counts.h"
#include "tests/support/run_environment.h"
#include "tests/support/screen_objects.h"
#include "tests/support/new_menu.h"
#include "tests/support/shell_data_object.h"
#include "tests/support/menu_look_overrides.h"
#include "tests/support/system_overrides.h"
