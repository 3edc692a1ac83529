// Writes every resource the program carries as a PNG picture, for looking at them.
#pragma once

#include <string>

// Writes DIR/resource-<id>.png for each resource (textures as they decode, the
// font as a sheet of its glyphs, the preview images upright). Returns false
// with a message in error when a resource cannot be decoded or a file written.
bool dumpResources(const char *dir, std::string &error);
