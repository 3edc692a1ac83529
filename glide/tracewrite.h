// Writing the call trace: every board call appends one line when a trace is
// running. A single pointer test when it is not.
#pragma once

#include <cstdio>

#include "glide/glide.h"

extern FILE *BoardTraceFile;

// Appends " x y r g b a oow sow tow" of a vertex to the current line.
void traceVertex(const GrVertex *v);
// Appends " <hash>" of a block of bytes (64-bit FNV-1a, hexadecimal).
unsigned long long traceHash(const void *data, size_t bytes);
// Writes the bytes of a texture download once per distinct content, as a
// "texels <hash> <count> <hex>" line ahead of the download.
void traceTexels(const void *data, size_t bytes);
