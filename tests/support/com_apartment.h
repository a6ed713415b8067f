// COM on the current thread for the life of the owner: the product's own owner.
#pragma once

#include "framework/com_apartment.h"

namespace testsupport {

using ComApartment = fw::ComApartment;

}  // namespace testsupport
