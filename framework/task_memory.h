// Memory that COM or the shell allocated for the caller (item ids, strings), freed with
// CoTaskMemFree when the owner goes.
#pragma once

#include <objbase.h>

#include "framework/unique_resource.h"

namespace fw {

struct TaskMemoryDeleter { void operator()(void* p) const { CoTaskMemFree(p); } };
template <typename T>
using TaskMemory = UniqueResource<T*, TaskMemoryDeleter>;

}  // namespace fw
