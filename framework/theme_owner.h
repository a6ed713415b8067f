// Owner for a visual-style handle from OpenThemeData.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include "framework/unique_resource.h"

namespace fw {

struct ThemeDeleter { void operator()(HTHEME h) const { CloseThemeData(h); } };
using UniqueTheme = UniqueResource<HTHEME, ThemeDeleter>;

}  // namespace fw
