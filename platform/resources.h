// The program's data resources: textures, the bitmap font and the preview's
// title images, carried inside the executable and found by name ("#101") and
// type ("TEXTUREDATA"). The bytes are used in place; they live for the run.
#pragma once

#include <cstddef>

struct ResourceBytes {
  const unsigned char *data; // null when there is no such resource
  std::size_t size;          // length in bytes
};

// Finds a resource by name and type (both compared exactly); {nullptr, 0} when absent.
ResourceBytes findResource(const char *name, const char *type);

// The ids of every resource the program carries, in increasing order; count set to their number.
const int *resourceIds(std::size_t &count);
