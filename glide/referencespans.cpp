// The reference span: every pixel through the reference pipeline, for every
// render state.
#include "glide/pipeline.h"
#include "glide/spans.h"

void spanReference(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  int64_t r = it.r, g = it.g, b = it.b, a = it.a;
  int32_t u = it.u, v = it.v;
  const bool textured = p.useTexture && p.tex;
  for (int x = x0, i = 0; x <= x1; ++x, ++i) {
    uint32_t texel = NoTexel;
    if (textured) {
      int32_t tu = u, tv = v;
      if (it.texMode == TexPerspective)
        perspectiveUV(it.sw + it.dsw * (float)i, it.tw + it.dtw * (float)i, it.w + it.dw * (float)i, it.scale,
                      tu, tv);
      texel = sampleTexel(*p.tex, tu, tv);
    }
    shadeFragment(p, x, y, channel(r), channel(g), channel(b), channel(a), texel);
    r += it.dr;
    g += it.dg;
    b += it.db;
    a += it.da;
    u = stepWrapping(u, it.du);
    v = stepWrapping(v, it.dv);
  }
}
