#include "hosts/common/frameconversion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "glide/extension.h"

namespace {
// One 565 pixel as 8-bit channels: each widened by repeating its top bits, then
// through the gamma table when there is one.
inline void expand565(unsigned p, const uint8_t *gamma, unsigned &r, unsigned &g, unsigned &b) {
  r = (p >> 11) & 0x1F;
  g = (p >> 5) & 0x3F;
  b = p & 0x1F;
  r = (r << 3) | (r >> 2);
  g = (g << 2) | (g >> 4);
  b = (b << 3) | (b >> 2);
  if (gamma) {
    r = gamma[r];
    g = gamma[g];
    b = gamma[b];
  }
}
} // namespace

void frameToRgb(const PresentedFrame &f, unsigned char *rgb) {
  for (int row = 0; row < f.height; ++row) {
    // The board's origin is the lower left: the image's top row is the last.
    const uint16_t *src = f.pixels + static_cast<size_t>(f.height - 1 - row) * f.strideInPixels;
    unsigned char *dst = rgb + static_cast<size_t>(row) * f.width * 3;
    for (int x = 0; x < f.width; ++x) {
      unsigned r, g, b;
      expand565(src[x], f.gamma, r, g, b);
      dst[3 * x] = static_cast<unsigned char>(r);
      dst[3 * x + 1] = static_cast<unsigned char>(g);
      dst[3 * x + 2] = static_cast<unsigned char>(b);
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
#define LV_CONVERT_VECTORS 1
#include <immintrin.h>

namespace {

// One byte of each of 16 indexes (0 to 31) looked up in a 32-byte table.
__attribute__((target("avx2"))) inline __m128i lookup32(const uint8_t *t, __m128i i) {
  const __m128i lo = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)t), i);
  const __m128i hi = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(t + 16)), i);
  return _mm_blendv_epi8(lo, hi, _mm_slli_epi16(i, 3)); // index bit 4 to each byte's top bit
}

// The same for indexes 0 to 63 in a 64-byte table.
__attribute__((target("avx2"))) inline __m128i lookup64(const uint8_t *t, __m128i i) {
  return _mm_blendv_epi8(lookup32(t, i), lookup32(t + 32, i), _mm_slli_epi16(i, 2));
}

// Sixteen pixels a step: each channel's index looked up in its own small
// table (the full table is the three put together), then the bytes woven
// into 0xFFRRGGBB. Returns how many pixels it did.
__attribute__((target("avx2"))) int rowToRgb32(const uint16_t *src, uint32_t *dst, int width,
                                               const uint8_t *reds, const uint8_t *greens,
                                               const uint8_t *blues) {
  const __m128i low5 = _mm_set1_epi16(0x1F), low6 = _mm_set1_epi16(0x3F);
  const __m128i opaque = _mm_set1_epi8((char)0xFF);
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i p0 = _mm_loadu_si128((const __m128i *)(src + x));
    const __m128i p1 = _mm_loadu_si128((const __m128i *)(src + x + 8));
    const __m128i ri = _mm_packus_epi16(_mm_srli_epi16(p0, 11), _mm_srli_epi16(p1, 11));
    const __m128i gi = _mm_packus_epi16(_mm_and_si128(_mm_srli_epi16(p0, 5), low6),
                                        _mm_and_si128(_mm_srli_epi16(p1, 5), low6));
    const __m128i bi = _mm_packus_epi16(_mm_and_si128(p0, low5), _mm_and_si128(p1, low5));
    const __m128i r = lookup32(reds, ri), g = lookup64(greens, gi), b = lookup32(blues, bi);
    const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i raLo = _mm_unpacklo_epi8(r, opaque), raHi = _mm_unpackhi_epi8(r, opaque);
    __m128i *out = (__m128i *)(dst + x);
    _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLo, raLo));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLo, raLo));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHi, raHi));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHi, raHi));
  }
  return x;
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

// Whether the processor has 512-bit byte permutes, and LUMENVEIL_VECTORS
// does not keep the vectors narrower.
bool haveVbmi() {
  static const bool have = [] {
    return boardVectorBitsAllowed() >= 512 && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  }();
  return have;
}

// Sixteen pixels a step, 512 bits: the three channel indexes of each pixel
// cut out into the bytes of its lane by one multishift, offset into the
// 128-byte table of the channels (blue, red, green) and looked up together
// by one two-register byte permute, whose masked-off top byte keeps its
// 0xFF. Rows are written past the cache from the first pixel on a 64-byte
// boundary (the frame goes to the window system, not back to us); the
// pixels before it go through `table`. Returns how many pixels it did.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized" // GCC 12 on the intrinsics' undefined sources
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int rowToRgb32Vbmi(const uint16_t *src, uint32_t *dst,
                                                                          int width, const uint8_t *channels,
                                                                          const uint32_t *table) {
  int x = std::min(width, (int)(((64 - ((uintptr_t)dst & 63)) & 63) / 4));
  if (((uintptr_t)dst & 3) != 0) return 0;
  for (int i = 0; i < x; ++i) dst[i] = table[src[i]];
  // Bits 0, 5 and 11 of each 32-bit lane's pixel to bytes 0, 1 and 2.
  const __m512i cuts = _mm512_set1_epi64(0x002B2520000B0500ll);
  const __m512i keep = _mm512_set1_epi32(0x001F3F1F);
  const __m512i offsets = _mm512_set1_epi32((int)0xFF204000);
  const __m512i low = _mm512_load_si512(channels), high = _mm512_load_si512(channels + 64);
  for (; x + 16 <= width; x += 16) {
    const __m512i pixels = _mm512_cvtepu16_epi32(_mm256_loadu_si256((const __m256i *)(src + x)));
    const __m512i index =
        _mm512_ternarylogic_epi32(_mm512_multishift_epi64_epi8(cuts, pixels), keep, offsets, 0xEA);
    _mm512_stream_si512((__m512i *)(dst + x),
                        _mm512_mask2_permutex2var_epi8(low, index, 0x7777777777777777ull, high));
  }
  return x;
}
#pragma GCC diagnostic pop

} // namespace
#endif

void FrameConverter::toRgb32(const PresentedFrame &f, uint32_t *out, int stride) {
  if (table_.empty() || f.gamma != gamma_) {
    table_.resize(65536);
    for (unsigned p = 0; p < 65536; ++p) {
      unsigned r, g, b;
      expand565(p, f.gamma, r, g, b);
      table_[p] = 0xFF000000u | r << 16 | g << 8 | b;
    }
    for (unsigned i = 0; i < 32; ++i) {
      channels_[i] = (uint8_t)table_[i];
      channels_[32 + i] = (uint8_t)(table_[i << 11] >> 16);
    }
    for (unsigned i = 0; i < 64; ++i) channels_[64 + i] = (uint8_t)(table_[i << 5] >> 8);
    gamma_ = f.gamma;
  }
  // The rows in bands on the board's drawing threads.
  struct Work {
    const FrameConverter *self;
    const PresentedFrame *frame;
    uint32_t *out;
    int stride;
  } work{this, &f, out, stride};
  boardRunRows(
      [](void *context, int first, int last) {
        const Work &w = *static_cast<const Work *>(context);
        w.self->convertRows(*w.frame, w.out, w.stride, first, last);
      },
      &work, f.height);
}

void FrameConverter::convertRows(const PresentedFrame &f, uint32_t *out, int stride, int first, int last) const {
#if LV_CONVERT_VECTORS
  const bool vbmi = widest_ && haveVbmi(), avx2 = haveAvx2();
#endif
  const uint32_t *table = table_.data();
  for (int y = first; y <= last; ++y) {
    // The board's origin is the lower left: the image's top row is the last.
    const uint16_t *src = f.pixels + static_cast<size_t>(y) * f.strideInPixels;
    uint32_t *dst = out + static_cast<size_t>(f.height - 1 - y) * stride;
    int x = 0;
#if LV_CONVERT_VECTORS
    if (vbmi) x = rowToRgb32Vbmi(src, dst, f.width, channels_, table);
    if (avx2) x += rowToRgb32(src + x, dst + x, f.width - x, channels_ + 32, channels_ + 64, channels_);
#endif
    for (; x < f.width; ++x) dst[x] = table[src[x]];
  }
#if LV_CONVERT_VECTORS
  if (vbmi) _mm_sfence(); // the rows written past the cache are complete before anyone reads them
#endif
}
