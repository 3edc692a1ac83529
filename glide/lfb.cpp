// Linear frame buffer access: reading regions, and locks that hand out a
// pointer to 16-bit RGB 565 pixels. Writes through the pixel pipeline are
// gathered in a shadow buffer and blended in when the lock is released.
#include <cstdio>
#include <cstring>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/pipeline.h"
#include "glide/tracewrite.h"
#include "glide/workers.h"

namespace {

// Pixels of a pipeline write lock that still hold this value were not written.
// (A pixel written with exactly this near-black value is lost.)
constexpr uint16_t Untouched = 0x0821;

// Memory row (lowest row first) of a row counted from the given origin.
int memoryRow(int row, int origin) { return origin == GR_ORIGIN_UPPER_LEFT ? Board.height - 1 - row : row; }

int effectiveOrigin(GrOriginLocation_t origin) { return origin == GR_ORIGIN_ANY ? Board.origin : origin; }

// Writes the lines that let a replay repeat the pixels the caller wrote.
void traceWrittenPixels(const uint16_t *before) {
  const BoardLfbLock &l = Board.lfb;
  const int w = Board.width;
  for (int y = 0; y < Board.height; ++y) {
    const uint16_t *row = l.shadow.data() + (size_t)y * w;
    const uint16_t *old = before ? before + (size_t)memoryRow(y, l.origin) * w : nullptr;
    int x = 0;
    while (x < w) {
      auto written = [&](int i) { return old ? row[i] != old[i] : row[i] != Untouched; };
      if (!written(x)) {
        ++x;
        continue;
      }
      int start = x;
      while (x < w && written(x)) ++x;
      traceCall(TraceCall::LfbWrite,
                {start, y, x - start, TraceValue::data(row + start, (size_t)(x - start))});
    }
  }
}

} // namespace

FxBool grLfbLock(GrLock_t type, GrBuffer_t buffer, GrLfbWriteMode_t writeMode, GrOriginLocation_t origin,
                 FxBool pixelPipeline, GrLfbInfo_t *info) {
  if (BoardTraceFile) traceCall(TraceCall::GrLfbLock, {type, buffer, writeMode, origin, pixelPipeline});
  boardDrain();
  if (!Board.open || !info) return FXFALSE;
  if (buffer != GR_BUFFER_FRONTBUFFER && buffer != GR_BUFFER_BACKBUFFER) return FXFALSE;
  bool write = (type & 1) == GR_LFB_WRITE_ONLY;
  BoardLfbLock &l = Board.lfb;
  if (l.readLocked || l.writeLocked) return FXFALSE;
  if (write && writeMode != GR_LFBWRITEMODE_565 && writeMode != GR_LFBWRITEMODE_ANY) return FXFALSE;
  uint16_t *pixels = boardBuffer(buffer);
  const int w = Board.width, h = Board.height;
  l.origin = effectiveOrigin(origin);
  l.buffer = buffer;
  l.flipRows = l.origin != GR_ORIGIN_LOWER_LEFT;
  l.pipeline = write && pixelPipeline;
  l.direct = !l.flipRows && !l.pipeline && !BoardTraceFile;
  if (!l.direct) {
    if (l.pipeline) {
      l.shadow.assign((size_t)w * h, Untouched);
    } else {
      l.shadow.resize((size_t)w * h);
      for (int y = 0; y < h; ++y)
        std::memcpy(l.shadow.data() + (size_t)y * w, pixels + (size_t)memoryRow(y, l.origin) * w,
                    (size_t)w * 2);
    }
  }
  if (write)
    l.writeLocked = true;
  else
    l.readLocked = true;
  info->lfbPtr = l.direct ? (void *)pixels : (void *)l.shadow.data();
  info->strideInBytes = (FxU32)(w * 2);
  info->writeMode = GR_LFBWRITEMODE_565;
  info->origin = l.origin;
  return FXTRUE;
}

FxBool grLfbUnlock(GrLock_t type, GrBuffer_t buffer) {
  BoardLfbLock &l = Board.lfb;
  bool write = (type & 1) == GR_LFB_WRITE_ONLY;
  bool held = write ? l.writeLocked : l.readLocked;
  uint16_t *pixels = Board.open ? boardBuffer(l.buffer) : nullptr;
  if (BoardTraceFile) {
    if (held && write && !l.direct) traceWrittenPixels(l.pipeline ? nullptr : pixels);
    traceCall(TraceCall::GrLfbUnlock, {type, buffer});
  }
  boardDrain();
  if (!held || buffer != l.buffer) return FXFALSE;
  if (write && !l.direct && pixels && boardDrawing()) {
    const int w = Board.width, h = Board.height;
    if (l.pipeline) {
      // Each written pixel enters the pipeline as an opaque colour: the current
      // blend, dither and colour mask apply. Drawing goes to the locked buffer.
      int saved = Board.renderBuffer;
      Board.renderBuffer = l.buffer;
      Pipe p = makePipe();
      Board.renderBuffer = saved;
      p.colorCombine = GR_COLORCOMBINE_ITRGB;
      p.alphaSource = GR_ALPHASOURCE_ITERATED_ALPHA;
      p.texCombine = GR_TEXTURECOMBINE_DECAL;
      p.useTexture = false;
      for (int y = 0; y < h; ++y) {
        const uint16_t *row = l.shadow.data() + (size_t)y * w;
        int my = memoryRow(y, l.origin);
        for (int x = 0; x < w; ++x) {
          // Skip untouched stretches four pixels at a time.
          const uint64_t four = 0x0001000100010001ull * Untouched;
          uint64_t block;
          while (x + 4 <= w && (std::memcpy(&block, row + x, 8), block == four)) x += 4;
          if (x >= w) break;
          uint16_t v = row[x];
          if (v != Untouched)
            shadeFragment(p, x, my, expand5(v >> 11), expand6((v >> 5) & 63), expand5(v & 31), 255, NoTexel);
        }
      }
    } else {
      for (int y = 0; y < h; ++y)
        std::memcpy(pixels + (size_t)memoryRow(y, l.origin) * w, l.shadow.data() + (size_t)y * w,
                    (size_t)w * 2);
    }
  }
  l.readLocked = l.writeLocked = false;
  l.direct = l.pipeline = false;
  return FXTRUE;
}

FxBool grLfbReadRegion(GrBuffer_t src_buffer, FxU32 src_x, FxU32 src_y, FxU32 src_width, FxU32 src_height,
                       FxU32 dst_stride, void *dst_data) {
  if (BoardTraceFile)
    traceCall(TraceCall::GrLfbReadRegion, {src_buffer, src_x, src_y, src_width, src_height, dst_stride});
  boardDrain();
  if (!Board.open || !dst_data) return FXFALSE;
  if (src_buffer != GR_BUFFER_FRONTBUFFER && src_buffer != GR_BUFFER_BACKBUFFER) return FXFALSE;
  const uint64_t w = (uint64_t)Board.width, h = (uint64_t)Board.height;
  if ((uint64_t)src_x + src_width > w || (uint64_t)src_y + src_height > h || dst_stride < src_width * 2)
    return FXFALSE;
  const uint16_t *pixels = boardBuffer(src_buffer);
  uint8_t *out = static_cast<uint8_t *>(dst_data);
  for (FxU32 j = 0; j < src_height; ++j) {
    // Region reads count rows from the top of the screen, whatever origin the
    // screen was opened with: the first row copied is the region's top row.
    int row = memoryRow((int)(src_y + j), GR_ORIGIN_UPPER_LEFT);
    std::memcpy(out + (size_t)j * dst_stride, pixels + (size_t)row * w + src_x, (size_t)src_width * 2);
  }
  return FXTRUE;
}

void grLfbConstantDepth(FxU16 depth) {
  if (BoardTraceFile) traceCall(TraceCall::GrLfbConstantDepth, {(unsigned)depth});
  Board.lfbDepth = depth; // there is no depth buffer: accepted and kept
}
