// Window handles as the program passes them around: an opaque number, 0 for none.
#pragma once

#include <cstdint>

using WindowHandle = std::uintptr_t;
