// bench_glpeer TRACE: the board against Mesa's llvmpipe (through OSMesa) on the
// same trace. The trace is read once; its calls are drawn by the board and,
// translated to OpenGL, by llvmpipe: the same vertices, textures (formats,
// filtering, clamping), combine, alpha test, blending, clears and swaps, in two
// colour buffers of RGB 565 like the board's. The two replays are timed in
// turn (board, llvmpipe, board, llvmpipe, ...), once for every llvmpipe thread
// count asked for (each count in a process of its own: llvmpipe reads
// LP_NUM_THREADS when its screen is made), and the last frame of each is
// written as PNG for a look side by side.
//
//   bench_glpeer TRACE [--rounds N] [--board-threads N] [--lp-threads 1,2] [--png DIR]
#define GL_GLEXT_PROTOTYPES 1
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <string>
#include <unordered_map>
#include <vector>

#include "glide/extension.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "glide/texels.h"
#include "glide/trace.h"
#include "glide/tracewrite.h"
#include "hosts/common/processtime.h"
#include "hosts/headless/pngpresenter.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---- The OpenGL side -------------------------------------------------------------

// A vertex as the shaders take it: clip position (x, y in pixels scaled to the
// unit square and multiplied by w), colour and alpha on the 0..1 scale, texture
// coordinates times w (so that the perspective division gives s and t back),
// and the coverage of antialiased lines and points.
struct GlVertex {
  float pos[4];
  float color[4];
  float tex[2];
  float cover;
};

// What a draw needs of the state, beyond the blend: one shader per key.
struct ShaderKey {
  int colorCombine, alphaSource, texCombine, alphaFunc;
  bool textured;
  bool operator<(const ShaderKey &o) const {
    return std::tie(colorCombine, alphaSource, texCombine, alphaFunc, textured) <
           std::tie(o.colorCombine, o.alphaSource, o.texCombine, o.alphaFunc, o.textured);
  }
};

struct Shader {
  GLuint program = 0;
  GLint ref = -1, sampler = -1;
};

struct GlTexture {
  GLuint name = 0;
  int width = 0, height = 0, format = 0;
  float scale = 1.0f;
  bool loaded = false;
};

const char *VertexSource = R"(#version 330 core
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec2 aTex;
layout(location = 3) in float aCover;
noperspective out vec4 vColor;
noperspective out float vCover;
out vec2 vTex;
void main() {
  gl_Position = aPos;
  vColor = aColor;
  vCover = aCover;
  vTex = aTex;
}
)";

// The board's pixel pipeline in a fragment shader: texel, texture combine,
// alpha source, colour combine, alpha test (blending is the GL blend).
const char *FragmentSource = R"(
noperspective in vec4 vColor;
noperspective in float vCover;
in vec2 vTex;
uniform sampler2D uTex;
uniform float uRef;
out vec4 fragColor;
void main() {
  vec3 it = vColor.rgb;
  float ia = vColor.a * vCover;
#if TEXTURED
  vec4 t = texture(uTex, vTex);
#else
  vec4 t = vec4(0.0, 0.0, 0.0, 1.0);
#endif
#if TC == 0 || TC == 2
  t = vec4(0.0);
#elif TC == 10
  t = vec4(1.0);
#endif
#if AS == 0
  float a = 1.0;
#elif AS == 2
  float a = t.a;
#elif AS == 3
  float a = t.a * ia;
#else
  float a = ia;
#endif
#if CC == 0 || CC == 1 || CC == 5
  vec3 c = vec3(0.0);
#elif CC == 4
  vec3 c = t.rgb;
#elif CC == 6 || CC == 7 || CC == 14 || CC == 15
  vec3 c = t.rgb * it;
#elif CC == 8
  vec3 c = min(vec3(1.0), t.rgb * it + ia);
#elif CC == 9
  vec3 c = t.rgb * a;
#elif CC == 10
  vec3 c = min(vec3(1.0), t.rgb * a + it);
#elif CC == 11
  vec3 c = min(vec3(1.0), t.rgb + it);
#elif CC == 12
  vec3 c = max(vec3(0.0), t.rgb - it);
#elif CC == 13
  vec3 c = it * (1.0 - t.a);
#elif CC == 16
  vec3 c = vec3(1.0);
#else
  vec3 c = it;
#endif
  float a8 = floor(clamp(a, 0.0, 1.0) * 255.0 + 0.001);
#if AF == 0
  discard;
#elif AF == 1
  if (!(a8 < uRef)) discard;
#elif AF == 2
  if (!(a8 == uRef)) discard;
#elif AF == 3
  if (!(a8 <= uRef)) discard;
#elif AF == 4
  if (!(a8 > uRef)) discard;
#elif AF == 5
  if (!(a8 != uRef)) discard;
#elif AF == 6
  if (!(a8 >= uRef)) discard;
#endif
  fragColor = vec4(c, a);
}
)";

GLuint compile(GLenum kind, const std::string &text) {
  GLuint s = glCreateShader(kind);
  const char *p = text.c_str();
  glShaderSource(s, 1, &p, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048];
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    std::fprintf(stderr, "bench_glpeer: shader: %s\n", log);
    std::exit(1);
  }
  return s;
}

// Glide's blend factor as GL's, on the board's terms: there is no alpha in the
// colour buffer (destination alpha reads as one), GR_BLEND_SRC_COLOR as a
// source factor is the destination colour, and the alpha-saturate code as a
// destination factor is the incoming colour.
GLenum glFactor(int factor, bool source) {
  switch (factor) {
  case GR_BLEND_ZERO: return GL_ZERO;
  case GR_BLEND_SRC_ALPHA: return GL_SRC_ALPHA;
  case GR_BLEND_SRC_COLOR: return source ? GL_DST_COLOR : GL_SRC_COLOR;
  case GR_BLEND_DST_ALPHA: return GL_ONE;
  case GR_BLEND_ONE: return GL_ONE;
  case GR_BLEND_ONE_MINUS_SRC_ALPHA: return GL_ONE_MINUS_SRC_ALPHA;
  case GR_BLEND_ONE_MINUS_SRC_COLOR: return source ? GL_ONE_MINUS_DST_COLOR : GL_ONE_MINUS_SRC_COLOR;
  case GR_BLEND_ONE_MINUS_DST_ALPHA: return GL_ZERO;
  case GR_BLEND_ALPHA_SATURATE: return source ? GL_ZERO : GL_SRC_COLOR;
  default: return GL_ZERO;
  }
}

bool combineUsesTexture(int fnc) {
  return fnc >= GR_COLORCOMBINE_DECAL_TEXTURE && fnc <= GR_COLORCOMBINE_DIFF_SPEC_B;
}
bool alphaUsesTexture(int src) {
  return src == GR_ALPHASOURCE_TEXTURE_ALPHA || src == GR_ALPHASOURCE_TEXTURE_ALPHA_TIMES_ITERATED_ALPHA;
}

// The texture formats as GL takes them without expanding: internal format,
// format and type of the uploaded texels, and the swizzle that reads them as
// the board does (alpha-only texels are white, intensity texels grey).
struct GlFormat {
  GLint internal;
  GLenum format, type;
  GLint swizzle[4];
  bool native;
};

GlFormat glFormatOf(int format) {
  switch (format) {
  case GR_TEXFMT_RGB_565:
    return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, true};
  case GR_TEXFMT_ARGB_4444:
    return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, true};
  case GR_TEXFMT_ARGB_1555:
    return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, true};
  case GR_TEXFMT_ALPHA_8: return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_ONE, GL_ONE, GL_ONE, GL_RED}, true};
  case GR_TEXFMT_INTENSITY_8:
    return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}, true};
  case GR_TEXFMT_ALPHA_INTENSITY_88:
    return {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_GREEN}, true};
  case GR_TEXFMT_RGB_332:
    return {GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, true};
  default: // the rest expanded to 8 bits a channel, as the board reads them
    return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false};
  }
}

enum Batch { BatchNone, BatchTriangles, BatchLines };

class GlPeer {
public:
  bool begin(std::string &error) {
    const int attributes[] = {OSMESA_FORMAT,
                              OSMESA_RGB_565,
                              OSMESA_DEPTH_BITS,
                              0,
                              OSMESA_STENCIL_BITS,
                              0,
                              OSMESA_ACCUM_BITS,
                              0,
                              OSMESA_PROFILE,
                              OSMESA_CORE_PROFILE,
                              OSMESA_CONTEXT_MAJOR_VERSION,
                              3,
                              OSMESA_CONTEXT_MINOR_VERSION,
                              3,
                              0};
    context_ = OSMesaCreateContextAttribs(attributes, nullptr);
    if (!context_) {
      error = "OSMesa could not make an OpenGL 3.3 core context";
      return false;
    }
    dummy_.assign(16, 0);
    if (!OSMesaMakeCurrent(context_, dummy_.data(), GL_UNSIGNED_SHORT_5_6_5, 4, 4)) {
      error = "OSMesaMakeCurrent failed";
      return false;
    }
    renderer_ = (const char *)glGetString(GL_RENDERER);
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &vbo_);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(GlVertex), (void *)offsetof(GlVertex, pos));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, sizeof(GlVertex), (void *)offsetof(GlVertex, color));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(GlVertex), (void *)offsetof(GlVertex, tex));
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, sizeof(GlVertex), (void *)offsetof(GlVertex, cover));
    vertexShader_ = compile(GL_VERTEX_SHADER, VertexSource);
    glGenFramebuffers(2, fbo_);
    glGenRenderbuffers(2, colour_);
    glGenFramebuffers(1, &scratchFbo_);
    glGenTextures(1, &scratchTex_);
    return true;
  }

  const std::string &renderer() const { return renderer_; }

  // Everything a replay set up goes, for the next replay to start afresh.
  void reset() {
    flush();
    for (auto &t : textures_)
      if (t.second.name) glDeleteTextures(1, &t.second.name);
    textures_.clear();
    texels_.clear();
    current_ = -1;
    frames_ = 0;
    draws_ = 0;
    state_ = State();
    pendingWidth_ = pendingHeight_ = 0;
    lfbRuns_.clear();
    lfbLocked_ = false;
    appliedShader_ = nullptr;
    appliedTexture_ = 0;
    appliedBlend_ = -1;
  }

  long frames() const { return frames_; }
  long draws() const { return draws_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // The front buffer, lowest row first.
  std::vector<uint16_t> front() {
    flush();
    glFinish();
    std::vector<uint16_t> out((size_t)width_ * height_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_[front_]);
    glPixelStorei(GL_PACK_ALIGNMENT, 2);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, out.data());
    return out;
  }

  static bool visit(void *context, int call, const BoardTraceArgs &a) {
    static_cast<GlPeer *>(context)->call((TraceCall)call, a);
    return true;
  }

private:
  struct State {
    int colorFormat = GR_COLORFORMAT_ARGB;
    int origin = GR_ORIGIN_LOWER_LEFT;
    bool rgbMask = true, alphaMask = false;
    int renderBuffer = GR_BUFFER_BACKBUFFER;
    int dither = GR_DITHER_4x4;
    int colorCombine = GR_COLORCOMBINE_ITRGB;
    int texCombine = GR_TEXTURECOMBINE_DECAL;
    int alphaSource = GR_ALPHASOURCE_ITERATED_ALPHA;
    int rgbSrc = GR_BLEND_ONE, rgbDst = GR_BLEND_ZERO;
    int alphaFunc = GR_CMP_ALWAYS, alphaRef = 0;
  };

  void call(TraceCall c, const BoardTraceArgs &a) {
    const auto n = [&](int k) { return (int)a.number[k]; };
    switch (c) {
    case TraceCall::GrSstWinOpen: open(n(1), n(3), n(4)); break;
    case TraceCall::ScreenSize:
      pendingWidth_ = n(0);
      pendingHeight_ = n(1);
      break;
    case TraceCall::GrBufferClear: clear((GrColor_t)a.number[0]); break;
    case TraceCall::GrBufferSwap: swap(); break;
    case TraceCall::GrRenderBuffer:
      flush();
      state_.renderBuffer = n(0);
      bindTarget();
      break;
    case TraceCall::GrColorMask:
      state_.rgbMask = n(0) != 0;
      state_.alphaMask = n(1) != 0;
      break;
    case TraceCall::GrDitherMode:
      if (n(0) >= GR_DITHER_DISABLE && n(0) <= GR_DITHER_4x4) state_.dither = n(0);
      break;
    case TraceCall::GuColorCombineFunction: state_.colorCombine = n(0); break;
    case TraceCall::GrTexCombineFunction: state_.texCombine = n(1); break;
    case TraceCall::GuAlphaSource: state_.alphaSource = n(0); break;
    case TraceCall::GrAlphaBlendFunction:
      state_.rgbSrc = n(0);
      state_.rgbDst = n(1);
      break;
    case TraceCall::GrAlphaTestFunction: state_.alphaFunc = n(0) & 7; break;
    case TraceCall::GrAlphaTestReferenceValue: state_.alphaRef = n(0) & 255; break;
    case TraceCall::GuTexAllocateMemory: allocate(a); break;
    case TraceCall::Texels: texels_[(unsigned long long)a.number[0]] = a.bytes; break;
    case TraceCall::GuTexDownloadMipMap: download(a.number[0], (unsigned long long)a.number[1]); break;
    case TraceCall::GuTexSource:
      if (textures_.count(a.number[0])) current_ = a.number[0];
      break;
    case TraceCall::GrDrawPolygon:
    case TraceCall::GrDrawPlanarPolygon: polygon(a.list); break;
    case TraceCall::GrDrawLine: line(a.vertex[0], a.vertex[1]); break;
    case TraceCall::GrAADrawLine: aaLine(a.vertex[0], a.vertex[1]); break;
    case TraceCall::GrAADrawPoint: aaPoint(a.vertex[0]); break;
    case TraceCall::GrLfbLock:
      if (n(0) & GR_LFB_WRITE_ONLY) {
        lfbLocked_ = true;
        lfbBuffer_ = n(1);
        lfbOrigin_ = n(3);
        lfbRuns_.clear();
      }
      break;
    case TraceCall::LfbWrite:
      if (lfbLocked_) lfbRuns_.push_back({n(0), n(1), a.pixels});
      break;
    case TraceCall::GrLfbUnlock:
      if (lfbLocked_ && (n(0) & GR_LFB_WRITE_ONLY)) unlockWrite();
      break;
    case TraceCall::GrLfbReadRegion: readRegion(a); break;
    default: break; // calls that change nothing a frame shows
    }
  }

  void open(int resolution, int colorFormat, int origin) {
    flush();
    int w = pendingWidth_, h = pendingHeight_;
    pendingWidth_ = pendingHeight_ = 0;
    if (w <= 0 || h <= 0) {
      if (resolution < 0 || resolution >= (int)std::size(BoardResolutions)) return;
      w = BoardResolutions[resolution].width;
      h = BoardResolutions[resolution].height;
    }
    // Opening resets the render state, as the board's does.
    state_ = State();
    current_ = -1;
    state_.colorFormat = colorFormat;
    state_.origin = origin;
    if (w != width_ || h != height_) {
      width_ = w;
      height_ = h;
      for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, colour_[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, w, h);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_[i]);
      }
      glBindTexture(GL_TEXTURE_2D, scratchTex_);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB565, w, h, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      glBindFramebuffer(GL_FRAMEBUFFER, scratchFbo_);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, scratchTex_, 0);
      appliedTexture_ = 0;
    }
    glViewport(0, 0, w, h);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    for (int i = 0; i < 2; ++i) {
      glBindFramebuffer(GL_FRAMEBUFFER, fbo_[i]);
      glClear(GL_COLOR_BUFFER_BIT);
    }
    front_ = 0;
    bindTarget();
  }

  void bindTarget() {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER,
                      fbo_[state_.renderBuffer == GR_BUFFER_FRONTBUFFER ? front_ : 1 - front_]);
  }

  void clear(GrColor_t color) {
    flush();
    if (!state_.rgbMask || !width_) return;
    unsigned r, g, b;
    boardColorChannels(color, state_.colorFormat, r, g, b);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }

  void swap() {
    flush();
    if (!width_) return;
    glFinish(); // the frame is done before it is shown, as the board's is
    front_ = 1 - front_;
    bindTarget();
    ++frames_;
  }

  void allocate(const BoardTraceArgs &a) {
    const long long recorded = a.number[15];
    const int fmt = (int)a.number[4];
    int w = 0, h = 0;
    if (recorded < 0 || boardTexelBytes(fmt) == 0 ||
        !boardLevelSize((int)a.number[7], (int)a.number[8], w, h))
      return;
    GlTexture t;
    t.width = w;
    t.height = h;
    t.format = fmt;
    t.scale = (float)std::max(w, h) / 256.0f;
    glGenTextures(1, &t.name);
    glBindTexture(GL_TEXTURE_2D, t.name);
    appliedTexture_ = 0;
    // The board samples the largest level only: no mipmaps here either.
    const GLint filter = a.number[12] == GR_TEXTUREFILTER_BILINEAR ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S,
                    a.number[9] == GR_TEXTURECLAMP_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T,
                    a.number[10] == GR_TEXTURECLAMP_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT);
    const GlFormat f = glFormatOf(fmt);
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
    glTexImage2D(GL_TEXTURE_2D, 0, f.internal, w, h, 0, f.format, f.type, nullptr);
    textures_[recorded] = t;
  }

  void download(long long recorded, unsigned long long hash) {
    auto t = textures_.find(recorded);
    auto data = texels_.find(hash);
    if (t == textures_.end() || data == texels_.end()) return;
    GlTexture &tex = t->second;
    const int bpp = boardTexelBytes(tex.format);
    if (data->second.size() < (size_t)tex.width * tex.height * bpp) return;
    flush();
    const GlFormat f = glFormatOf(tex.format);
    glBindTexture(GL_TEXTURE_2D, tex.name);
    appliedTexture_ = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (f.native) {
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tex.width, tex.height, f.format, f.type, data->second.data());
    } else {
      std::vector<uint32_t> expanded((size_t)tex.width * tex.height);
      for (size_t i = 0; i < expanded.size(); ++i)
        expanded[i] = boardExpandTexel(tex.format, data->second.data() + i * bpp);
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tex.width, tex.height, GL_BGRA, GL_UNSIGNED_BYTE,
                      expanded.data());
    }
    tex.loaded = true;
  }

  const GlTexture *currentTexture() const {
    auto t = textures_.find(current_);
    return t != textures_.end() && t->second.loaded ? &t->second : nullptr;
  }

  // Makes the GL state that of the board for the next draw; flushes the
  // vertices gathered so far first when it changes.
  void prepare(Batch kind) {
    const GlTexture *tex = currentTexture();
    const bool textured =
        tex && (combineUsesTexture(state_.colorCombine) || alphaUsesTexture(state_.alphaSource));
    ShaderKey key{state_.colorCombine, state_.alphaSource, state_.texCombine, state_.alphaFunc, textured};
    Shader *shader = shaderFor(key);
    const GLuint texName = textured ? tex->name : 0;
    const int blend = state_.rgbSrc << 8 | state_.rgbDst;
    if (kind == batch_ && shader == appliedShader_ && texName == appliedTexture_ && blend == appliedBlend_ &&
        state_.alphaRef == appliedRef_ && state_.dither == appliedDither_)
      return;
    flush();
    batch_ = kind;
    if (shader != appliedShader_) {
      glUseProgram(shader->program);
      appliedShader_ = shader;
      appliedRef_ = -1;
    }
    if (state_.alphaRef != appliedRef_) {
      glUniform1f(shader->ref, (float)state_.alphaRef);
      appliedRef_ = state_.alphaRef;
    }
    if (texName && texName != appliedTexture_) {
      glBindTexture(GL_TEXTURE_2D, texName);
      appliedTexture_ = texName;
    }
    if (blend != appliedBlend_) {
      if (state_.rgbSrc == GR_BLEND_ONE && state_.rgbDst == GR_BLEND_ZERO) {
        glDisable(GL_BLEND);
      } else {
        glEnable(GL_BLEND);
        glBlendFunc(glFactor(state_.rgbSrc, true), glFactor(state_.rgbDst, false));
      }
      appliedBlend_ = blend;
    }
    if (state_.dither != appliedDither_) {
      if (state_.dither == GR_DITHER_DISABLE)
        glDisable(GL_DITHER);
      else
        glEnable(GL_DITHER);
      appliedDither_ = state_.dither;
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, state_.alphaMask);
    batchTexture_ = textured ? *tex : GlTexture();
  }

  Shader *shaderFor(const ShaderKey &key) {
    auto found = shaders_.find(key);
    if (found != shaders_.end()) return &found->second;
    char defines[256];
    std::snprintf(defines, sizeof defines,
                  "#version 330 core\n#define CC %d\n#define AS %d\n#define TC %d\n#define AF %d\n"
                  "#define TEXTURED %d\n",
                  key.colorCombine, key.alphaSource, key.texCombine, key.alphaFunc, key.textured ? 1 : 0);
    GLuint fs = compile(GL_FRAGMENT_SHADER, std::string(defines) + FragmentSource);
    Shader s;
    s.program = glCreateProgram();
    glAttachShader(s.program, vertexShader_);
    glAttachShader(s.program, fs);
    glLinkProgram(s.program);
    GLint ok = 0;
    glGetProgramiv(s.program, GL_LINK_STATUS, &ok);
    if (!ok) {
      std::fprintf(stderr, "bench_glpeer: a shader program does not link\n");
      std::exit(1);
    }
    s.ref = glGetUniformLocation(s.program, "uRef");
    s.sampler = glGetUniformLocation(s.program, "uTex");
    glUseProgram(s.program);
    if (s.sampler >= 0) glUniform1i(s.sampler, 0);
    appliedShader_ = nullptr;
    return &shaders_.emplace(key, s).first->second;
  }

  // A board vertex as GL's, moved by (dx, dy) pixels with a coverage.
  GlVertex convert(const GrVertex &v, float dx = 0.0f, float dy = 0.0f, float cover = 1.0f) const {
    double x = ((double)v.x - BoardSnapBias) + dx, y = ((double)v.y - BoardSnapBias) + dy;
    if (state_.origin == GR_ORIGIN_UPPER_LEFT) y = height_ - y;
    float w = 1.0f;
    if (v.oow > 0.0f && std::isfinite(1.0f / v.oow)) w = 1.0f / v.oow;
    GlVertex g;
    g.pos[0] = (float)(2.0 * x / width_ - 1.0) * w;
    g.pos[1] = (float)(2.0 * y / height_ - 1.0) * w;
    g.pos[2] = 0.0f;
    g.pos[3] = w;
    g.color[0] = std::clamp(v.r, 0.0f, 255.0f) / 255.0f;
    g.color[1] = std::clamp(v.g, 0.0f, 255.0f) / 255.0f;
    g.color[2] = std::clamp(v.b, 0.0f, 255.0f) / 255.0f;
    g.color[3] = std::clamp(v.a, 0.0f, 255.0f) / 255.0f;
    if (batchTexture_.name) {
      g.tex[0] = v.tmuvtx[0].sow * w * batchTexture_.scale / (float)batchTexture_.width;
      g.tex[1] = v.tmuvtx[0].tow * w * batchTexture_.scale / (float)batchTexture_.height;
    } else {
      g.tex[0] = g.tex[1] = 0.0f;
    }
    g.cover = cover;
    return g;
  }

  bool drawable() const { return width_ > 0 && state_.rgbMask; }

  void polygon(const std::vector<GrVertex> &list) {
    if (!drawable() || list.size() < 3) return;
    prepare(BatchTriangles);
    const size_t n = std::min<size_t>(list.size(), 64); // the board's limit
    const GlVertex first = convert(list[0]);
    GlVertex prev = convert(list[1]);
    for (size_t i = 2; i < n; ++i) {
      const GlVertex next = convert(list[i]);
      vertices_.push_back(first);
      vertices_.push_back(prev);
      vertices_.push_back(next);
      prev = next;
    }
  }

  void line(const GrVertex &a, const GrVertex &b) {
    if (!drawable()) return;
    prepare(BatchLines);
    vertices_.push_back(convert(a));
    vertices_.push_back(convert(b));
  }

  // The board's antialiased line: one pixel either side along the minor axis,
  // coverage falling from 1 on the line to 0 at the outer edges.
  void aaLine(const GrVertex &a, const GrVertex &b) {
    if (!drawable()) return;
    prepare(BatchTriangles);
    const bool xMajor = std::fabs(b.x - a.x) >= std::fabs(b.y - a.y);
    const float ox = xMajor ? 0.0f : 1.0f, oy = xMajor ? 1.0f : 0.0f;
    const GlVertex a0 = convert(a, -ox, -oy, 0.0f), am = convert(a), a1 = convert(a, ox, oy, 0.0f);
    const GlVertex b0 = convert(b, -ox, -oy, 0.0f), bm = convert(b), b1 = convert(b, ox, oy, 0.0f);
    const GlVertex quad[12] = {a0, b0, bm, a0, bm, am, am, bm, b1, am, b1, a1};
    vertices_.insert(vertices_.end(), quad, quad + 12);
  }

  // The board's antialiased point: the square one pixel either side, coverage
  // falling from 1 at the centre to 0 at its edges.
  void aaPoint(const GrVertex &p) {
    if (!drawable()) return;
    prepare(BatchTriangles);
    const GlVertex c = convert(p);
    const GlVertex corner[4] = {convert(p, -1, -1, 0), convert(p, 1, -1, 0), convert(p, 1, 1, 0),
                                convert(p, -1, 1, 0)};
    for (int i = 0; i < 4; ++i) {
      vertices_.push_back(c);
      vertices_.push_back(corner[i]);
      vertices_.push_back(corner[(i + 1) & 3]);
    }
  }

  void flush() {
    if (vertices_.empty()) return;
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(vertices_.size() * sizeof(GlVertex)), vertices_.data(),
                 GL_STREAM_DRAW);
    glDrawArrays(batch_ == BatchLines ? GL_LINES : GL_TRIANGLES, 0, (GLsizei)vertices_.size());
    vertices_.clear();
    ++draws_;
  }

  // Pixels written through a lock go into the buffer as they are, past the
  // pixel pipeline: through a scratch texture holding the rows they touch.
  void unlockWrite() {
    flush();
    lfbLocked_ = false;
    if (lfbRuns_.empty() || !width_) return;
    const GLuint target = fbo_[lfbBuffer_ == GR_BUFFER_FRONTBUFFER ? front_ : 1 - front_];
    int low = height_, high = -1;
    for (auto &run : lfbRuns_) {
      if (lfbOrigin_ == GR_ORIGIN_UPPER_LEFT) run.y = height_ - 1 - run.y;
      if (run.y >= 0 && run.y < height_) {
        low = std::min(low, run.y);
        high = std::max(high, run.y);
      }
    }
    if (high < low) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, scratchFbo_);
    glBlitFramebuffer(0, low, width_, high + 1, 0, low, width_, high + 1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, scratchTex_);
    appliedTexture_ = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    for (const auto &run : lfbRuns_) {
      if (run.y < 0 || run.y >= height_ || run.x < 0 || run.x >= width_) continue;
      const int count = std::min<int>((int)run.pixels.size(), width_ - run.x);
      if (count > 0)
        glTexSubImage2D(GL_TEXTURE_2D, 0, run.x, run.y, count, 1, GL_RGB, GL_UNSIGNED_SHORT_5_6_5,
                        run.pixels.data());
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, scratchFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    glBlitFramebuffer(0, low, width_, high + 1, 0, low, width_, high + 1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    bindTarget();
    lfbRuns_.clear();
  }

  void readRegion(const BoardTraceArgs &a) {
    const int x = (int)a.number[1], y = (int)a.number[2], w = (int)a.number[3], h = (int)a.number[4];
    if (!width_ || x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > width_ || y + h > height_) return;
    flush();
    readBack_.resize((size_t)w * h);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_[a.number[0] == GR_BUFFER_FRONTBUFFER ? front_ : 1 - front_]);
    glPixelStorei(GL_PACK_ALIGNMENT, 2);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, readBack_.data());
  }

  struct LfbRun {
    int x, y;
    std::vector<uint16_t> pixels;
  };

  OSMesaContext context_ = nullptr;
  std::vector<uint16_t> dummy_;
  std::string renderer_;
  GLuint vao_ = 0, vbo_ = 0, vertexShader_ = 0;
  GLuint fbo_[2] = {0, 0}, colour_[2] = {0, 0}, scratchFbo_ = 0, scratchTex_ = 0;
  int width_ = 0, height_ = 0, front_ = 0;
  int pendingWidth_ = 0, pendingHeight_ = 0;
  State state_;
  std::unordered_map<long long, GlTexture> textures_;
  std::unordered_map<unsigned long long, std::vector<uint8_t>> texels_;
  long long current_ = -1;
  std::map<ShaderKey, Shader> shaders_;
  std::vector<GlVertex> vertices_;
  Batch batch_ = BatchNone;
  GlTexture batchTexture_;
  Shader *appliedShader_ = nullptr;
  GLuint appliedTexture_ = 0;
  int appliedBlend_ = -1, appliedRef_ = -1, appliedDither_ = -1;
  bool lfbLocked_ = false;
  int lfbBuffer_ = GR_BUFFER_BACKBUFFER, lfbOrigin_ = GR_ORIGIN_LOWER_LEFT;
  std::vector<LfbRun> lfbRuns_;
  std::vector<uint16_t> readBack_;
  long frames_ = 0;
  long draws_ = 0; // GL draw calls made
};

// ---- The board side ----------------------------------------------------------------

// Counts the frames; keeps a copy of the last when asked to.
class LastFrame : public FramePresenter {
public:
  void present(const PresentedFrame &f) override {
    ++count;
    if (!keep) return;
    width = f.width;
    height = f.height;
    pixels.resize((size_t)f.width * f.height);
    for (int y = 0; y < f.height; ++y)
      std::memcpy(pixels.data() + (size_t)y * f.width, f.pixels + (size_t)y * f.strideInPixels,
                  (size_t)f.width * 2);
    std::memcpy(gamma, f.gamma, sizeof gamma);
  }
  bool keep = false;
  long count = 0;
  int width = 0, height = 0;
  std::vector<uint16_t> pixels;
  uint8_t gamma[256];
};

bool writeFrame(const std::string &path, const std::vector<uint16_t> &pixels, int width, int height,
                const uint8_t *gamma) {
  PresentedFrame f{pixels.data(), width, height, width, gamma};
  std::vector<unsigned char> rgb((size_t)width * height * 3);
  frameToRgb(f, rgb.data());
  std::string error;
  if (!writePng(path, rgb.data(), width, height, error)) {
    std::fprintf(stderr, "bench_glpeer: %s\n", error.c_str());
    return false;
  }
  return true;
}

// How far apart two frames are: the mean difference of a channel (on the
// 0..255 scale) and the share of pixels with a channel more than 8 apart.
void compareFrames(const std::vector<uint16_t> &a, const std::vector<uint16_t> &b, double &mean,
                   double &share) {
  double sum = 0.0;
  size_t far = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int ar = (a[i] >> 11) * 255 / 31, ag = ((a[i] >> 5) & 63) * 255 / 63, ab = (a[i] & 31) * 255 / 31;
    const int br = (b[i] >> 11) * 255 / 31, bg = ((b[i] >> 5) & 63) * 255 / 63, bb = (b[i] & 31) * 255 / 31;
    const int dr = std::abs(ar - br), dg = std::abs(ag - bg), db = std::abs(ab - bb);
    sum += dr + dg + db;
    if (std::max({dr, dg, db}) > 8) ++far;
  }
  const size_t n = std::max<size_t>(1, std::min(a.size(), b.size()));
  mean = sum / (3.0 * n);
  share = (double)far / n;
}

struct Options {
  std::string trace;
  int rounds = 3;
  int boardThreads = 2;
  std::vector<int> lpThreads{1, 2};
  std::string pngDir;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

// One llvmpipe thread count: warm-up runs of both (frames kept for the
// pictures), then the timed rounds in turn.
int measure(const Options &o, const BoardTrace &trace, int lpThreads) {
  setenv("LP_NUM_THREADS", std::to_string(lpThreads).c_str(), 1);
  GlPeer peer;
  std::string error;
  if (!peer.begin(error)) {
    std::fprintf(stderr, "bench_glpeer: %s\n", error.c_str());
    return 1;
  }
  boardSetThreads(o.boardThreads);
  boardSetRetraceWait(false);
  LastFrame board;
  boardSetPresenter(&board);

  // Each run's frames a second, and the processor time (all threads) a frame
  // in `cpu` (milliseconds).
  double cpu = 0.0;
  auto runBoard = [&]() {
    board.count = 0;
    const double start = now(), startCpu = processCpuSeconds();
    if (!boardReplayTrace(trace, error)) {
      std::fprintf(stderr, "bench_glpeer: %s\n", error.c_str());
      std::exit(1);
    }
    const double seconds = now() - start;
    cpu = (processCpuSeconds() - startCpu) * 1000.0 / std::max(1L, board.count);
    return board.count / seconds;
  };
  auto runPeer = [&]() {
    peer.reset();
    const double start = now(), startCpu = processCpuSeconds();
    boardVisitTrace(trace, GlPeer::visit, &peer);
    glFinish();
    const double seconds = now() - start;
    cpu = (processCpuSeconds() - startCpu) * 1000.0 / std::max(1L, peer.frames());
    return peer.frames() / seconds;
  };

  board.keep = true;
  runBoard();
  board.keep = false;
  runPeer();
  const std::vector<uint16_t> glFrame = peer.front();
  std::printf("llvmpipe threads %d (%s), board threads %d, %ld frames at %d x %d\n", lpThreads,
              peer.renderer().c_str(), o.boardThreads, board.count, board.width, board.height);
  if (peer.width() != board.width || peer.height() != board.height || peer.frames() != board.count) {
    std::fprintf(stderr, "bench_glpeer: llvmpipe drew %ld frames of %d x %d, the board %ld of %d x %d\n",
                 peer.frames(), peer.width(), peer.height(), board.count, board.width, board.height);
    return 1;
  }
  std::printf("  llvmpipe: %.0f draw calls a frame (runs of board calls in the same state)\n",
              (double)peer.draws() / std::max(1L, peer.frames()));
  double mean = 0.0, share = 0.0;
  compareFrames(board.pixels, glFrame, mean, share);
  std::printf("  last frames: mean channel difference %.2f of 255, %.2f%% of pixels more than 8 apart\n",
              mean, 100.0 * share);
  if (!o.pngDir.empty()) {
    const std::string stem = o.pngDir + "/";
    writeFrame(stem + "board.png", board.pixels, board.width, board.height, board.gamma);
    writeFrame(stem + "llvmpipe" + std::to_string(lpThreads) + ".png", glFrame, board.width, board.height,
               board.gamma);
  }

  std::vector<double> boardFps, peerFps, boardCpu, peerCpu;
  for (int round = 0; round < o.rounds; ++round) {
    boardFps.push_back(runBoard());
    boardCpu.push_back(cpu);
    peerFps.push_back(runPeer());
    peerCpu.push_back(cpu);
    std::printf("  round %d: board %.1f fps (%.2f ms of processor time a frame), llvmpipe %.1f fps (%.2f ms)\n",
                round + 1, boardFps.back(), boardCpu.back(), peerFps.back(), peerCpu.back());
    std::fflush(stdout);
  }
  const double b = median(boardFps), p = median(peerFps);
  std::printf("  median: board %.1f fps, llvmpipe (%d thread%s) %.1f fps, ratio %.2f\n", b, lpThreads,
              lpThreads == 1 ? "" : "s", p, b / p);
  const double bc = median(boardCpu), pc = median(peerCpu);
  std::printf("  median processor time a frame: board %.2f ms, llvmpipe %.2f ms, llvmpipe / board %.2f\n", bc,
              pc, pc / std::max(bc, 1e-9));
  boardSetPresenter(nullptr);
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_glpeer TRACE [--rounds N] [--board-threads N] [--lp-threads 1,2] [--png DIR]\n");
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--rounds" && more) {
      o.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--board-threads" && more) {
      o.boardThreads = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--lp-threads" && more) {
      o.lpThreads.clear();
      for (const char *p = argv[++i]; *p;) {
        char *end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p || v < 0) return usage();
        o.lpThreads.push_back((int)v);
        p = *end == ',' ? end + 1 : end;
      }
    } else if (a == "--png" && more) {
      o.pngDir = argv[++i];
    } else if (!a.empty() && a[0] != '-' && o.trace.empty()) {
      o.trace = a;
    } else {
      return usage();
    }
  }
  if (o.trace.empty() || o.lpThreads.empty()) return usage();
  BoardTrace trace;
  std::string error;
  if (!boardReadTrace(o.trace.c_str(), trace, error)) {
    std::fprintf(stderr, "bench_glpeer: %s\n", error.c_str());
    return 1;
  }
  // Each thread count in a process of its own, forked before any thread runs.
  int code = 0;
  for (int threads : o.lpThreads) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
      std::perror("bench_glpeer: fork");
      return 1;
    }
    if (child == 0) {
      const int result = measure(o, trace, threads);
      std::fflush(stdout);
      _exit(result);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) code = 1;
  }
  return code;
}
