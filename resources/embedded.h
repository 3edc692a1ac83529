// The table of resources compiled into the program (written by the build's
// resource generator).
#pragma once

#include <cstddef>

struct EmbeddedResource {
  int id;                    // the number in the name "#id"
  const char *type;          // "TEXTUREDATA"
  const unsigned char *data;
  std::size_t size;
};

extern const EmbeddedResource EmbeddedResources[];
extern const std::size_t EmbeddedResourceCount;
