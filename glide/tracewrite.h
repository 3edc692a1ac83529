// Writing the call trace: every board call appends one line when a trace is
// running. A single pointer test when it is not:
//
//   if (BoardTraceFile)
//     traceCall(TraceCall::GrColorMask, {rgb, a});
//
// What each call's line holds (its name and the kinds of its arguments) is
// described once, in the table in trace.cpp, which the replay reads by too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <initializer_list>

#include "glide/glide.h"

extern FILE *BoardTraceFile;

// The traced calls, in the order of the table in trace.cpp.
enum class TraceCall {
  GrGlideInit,
  GrGlideShutdown,
  GrSstQueryBoards,
  GrSstQueryHardware,
  GrSstSelect,
  GrSstWinOpen,
  GrSstWinClose,
  GrSstControl,
  GrSstScreenWidth,
  GrSstScreenHeight,
  GrBufferClear,
  GrBufferSwap,
  GrRenderBuffer,
  GrColorMask,
  GrDitherMode,
  GrDepthBufferMode,
  GrCullMode,
  GrHints,
  GuColorCombineFunction,
  GrTexCombineFunction,
  GuAlphaSource,
  GrAlphaBlendFunction,
  GrAlphaTestFunction,
  GrAlphaTestReferenceValue,
  GuTexAllocateMemory,
  Texels, // the bytes of a download, ahead of it (once per content)
  GuTexDownloadMipMap,
  GuTexSource,
  GrDrawPolygon,
  GrDrawPlanarPolygon,
  GrDrawLine,
  GrAADrawLine,
  GrAADrawPoint,
  GrLfbLock,
  LfbWrite, // pixels written through a lock, ahead of its release
  GrLfbUnlock,
  GrLfbReadRegion,
  GrLfbConstantDepth,
  ScreenSize, // the size the next screen opens at, ahead of a grSstWinOpen
              // that opens at a size of its own rather than its code's
  Count
};

// One argument as a call site hands it over; the table says how it is written.
struct TraceValue {
  long long number = 0;               // int, unsigned, or a hash's bits
  double real = 0.0;                  // float
  const GrVertex *vertices = nullptr; // a vertex, or the list indexed by `index`
  const int *index = nullptr;
  const void *bytes = nullptr; // texels, or 16-bit pixels
  size_t count = 0;            // vertices in the list, bytes or pixels

  TraceValue(int v) : number(v) {}
  TraceValue(unsigned v) : number(v) {}
  TraceValue(unsigned long v) : number((long long)v) {}
  TraceValue(unsigned long long v) : number((long long)v) {}
  TraceValue(float v) : real(v) {}
  TraceValue(const GrVertex *v) : vertices(v), count(1) {}
  TraceValue() = default;

  static TraceValue vertexList(int n, const int ilist[], const GrVertex vlist[]) {
    TraceValue t;
    t.number = n;
    t.index = ilist;
    t.vertices = vlist;
    t.count = n > 0 ? (size_t)n : 0;
    return t;
  }
  static TraceValue data(const void *p, size_t n) {
    TraceValue t;
    t.bytes = p;
    t.count = n;
    return t;
  }
};

// Appends the call's line to the trace. Call only while BoardTraceFile is set.
void traceCall(TraceCall call, std::initializer_list<TraceValue> args);
// 64-bit FNV-1a of a block of bytes: what a download's line names its texels by.
unsigned long long traceHash(const void *data, size_t bytes);
// Writes the bytes of a texture download once per distinct content, as a
// "texels <hash> <count> <hex>" line ahead of the download.
void traceTexels(const void *data, size_t bytes);
