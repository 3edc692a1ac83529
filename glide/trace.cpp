// Writing and replaying the call trace. Both work from one table that names
// every traced call and the kinds of its arguments.
#include "glide/trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/tracewrite.h"

FILE *BoardTraceFile = nullptr;

namespace {

// ---- The table ----------------------------------------------------------------------

// How an argument is written, and read back.
enum class Arg : uint8_t {
  Int,        // "%d"
  Unsigned,   // "%u"
  Float,      // "%.9g"
  Hash,       // "%016llx"
  Size,       // "%zu"
  Vertex,     // x y r g b a oow sow tow, each "%.9g"
  VertexList, // the count, then each vertex
  HexBytes,   // two hexadecimal digits a byte
  HexPixels   // four hexadecimal digits a 16-bit pixel
};

constexpr int MaxArgs = BoardTraceArgs::MaxArgs;
constexpr int MaxVertices = 4096; // the most a replayed polygon may have

struct Replayer;

// What a replayed line holds, by argument.
using ReadArgs = BoardTraceArgs;

typedef void (*ReplayFn)(Replayer &r, ReadArgs &a); // failures go to Replayer::fail

struct CallInfo {
  const char *name;
  const char *args; // a letter an argument: see kindOf
  ReplayFn replay;
};

// i Int, u Unsigned, f Float, h Hash, z Size, v Vertex, V VertexList,
// b HexBytes, p HexPixels.
constexpr Arg kindOf(char letter) {
  switch (letter) {
  case 'u': return Arg::Unsigned;
  case 'f': return Arg::Float;
  case 'h': return Arg::Hash;
  case 'z': return Arg::Size;
  case 'v': return Arg::Vertex;
  case 'V': return Arg::VertexList;
  case 'b': return Arg::HexBytes;
  case 'p': return Arg::HexPixels;
  default: return Arg::Int;
  }
}

// Recorded numbers with the casts the calls take (narrower parameters take
// the low bits, as the recorded call did).
inline int i32(const ReadArgs &a, int k) { return (int)a.number[k]; }
inline FxU32 u32(const ReadArgs &a, int k) { return (FxU32)a.number[k]; }
inline int listSize(const ReadArgs &a) { return (int)a.list.size(); }
inline const int *ilist(const ReadArgs &a) { return a.index.data(); }
inline const GrVertex *vlist(const ReadArgs &a) { return a.list.data(); }

struct Replayer {
  const BoardReplayControl &control;
  std::unordered_map<long long, GrMipMapId_t> handles; // recorded -> replayed
  std::unordered_map<unsigned long long, std::vector<uint8_t>> texels;
  GrLfbInfo_t lock{};
  bool locked = false;
  int screenWidth = 0, screenHeight = 0; // from a screenSize line, for the next open
  long calls = 0;                        // board calls replayed
  long frames = 0;                       // buffer swaps replayed
  bool done = false;                     // the frame limit was reached
  bool interrupted = false;
  std::string problem;
  ReadArgs args;
  std::vector<unsigned char> *sink = nullptr; // set: lines are kept, not replayed
  long lineNumber = 0;                        // of the line being read

  explicit Replayer(const BoardReplayControl &c) : control(c) {}

  GrMipMapId_t handle(long long recorded) const {
    auto it = handles.find(recorded);
    return it == handles.end() ? GR_NULL_MIPMAP_HANDLE : it->second;
  }
  bool fail(const std::string &why) {
    problem = why;
    return false;
  }
  bool line(const char *begin, const char *end);
  void keep(int callIndex);
};

void replayOpen(Replayer &r, ReadArgs &a) {
  // The replay's own size comes first, then the recorded one.
  if (r.control.screenWidth > 0 && r.control.screenHeight > 0)
    boardSetScreenOverride(r.control.screenWidth, r.control.screenHeight);
  else
    boardSetScreenOverride(r.screenWidth, r.screenHeight);
  r.screenWidth = r.screenHeight = 0;
  // The window handle was the recording's own.
  grSstWinOpen(0, i32(a, 1), i32(a, 2), i32(a, 3), i32(a, 4), i32(a, 5), i32(a, 6));
  boardSetScreenOverride(0, 0);
}

void replaySwap(Replayer &r, ReadArgs &a) {
  grBufferSwap(i32(a, 0));
  ++r.frames;
  if (r.control.frameLimit > 0 && r.frames >= r.control.frameLimit) r.done = true;
  if (r.control.stopRequested && r.control.stopRequested()) r.done = r.interrupted = true;
}

void replayBlend(Replayer &, ReadArgs &a) {
  grAlphaBlendFunction(i32(a, 0), i32(a, 1), i32(a, 2), i32(a, 3));
}

void replayAllocate(Replayer &r, ReadArgs &a) {
  GrMipMapId_t h = guTexAllocateMemory(i32(a, 0), (FxU8)a.number[1], i32(a, 2), i32(a, 3), i32(a, 4),
                                       i32(a, 5), i32(a, 6), i32(a, 7), i32(a, 8), i32(a, 9), i32(a, 10),
                                       i32(a, 11), i32(a, 12), a.real[13], i32(a, 14));
  if (a.number[15] >= 0) r.handles[a.number[15]] = h;
}

void replayTexels(Replayer &r, ReadArgs &a) {
  const unsigned long long count = (unsigned long long)a.number[1];
  if (count > BoardTextureMemory)
    r.fail("texels of " + std::to_string(count) + " bytes: more than the texture memory");
  else if (a.bytes.size() != count)
    r.fail("bad texel data");
  else
    r.texels[(unsigned long long)a.number[0]] = a.bytes;
}

std::string hashText(unsigned long long hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", hash);
  return text;
}

void replayDownload(Replayer &r, ReadArgs &a) {
  const unsigned long long key = (unsigned long long)a.number[1];
  auto it = r.texels.find(key);
  if (it == r.texels.end()) {
    if (key != 0) // 0: a download of nothing
      r.fail("no texels recorded for hash " + hashText(key));
    return;
  }
  const GrMipMapId_t h = r.handle(a.number[0]);
  // The board reads the whole largest level: texels recorded for a smaller
  // texture cannot stand in for it.
  if (it->second.size() < boardTextureDownloadBytes(h))
    r.fail("the texels recorded for hash " + hashText(key) + " are fewer than the texture holds");
  else
    guTexDownloadMipMap(h, it->second.data(), nullptr);
}

void replayLock(Replayer &r, ReadArgs &a) {
  std::memset(&r.lock, 0, sizeof r.lock);
  r.lock.size = sizeof r.lock;
  r.locked = grLfbLock(i32(a, 0), i32(a, 1), i32(a, 2), i32(a, 3), i32(a, 4), &r.lock);
}

void replayPixels(Replayer &r, ReadArgs &a) {
  const long long x = a.number[0], y = a.number[1], n = a.number[2];
  if (n < 0 || (unsigned long long)n != a.pixels.size()) {
    r.fail("bad pixel data");
    return;
  }
  // The pointer is good only while the board still holds the lock: closing or
  // reopening the screen releases it along with the buffers.
  if (r.locked && Board.lfb.writeLocked && r.lock.lfbPtr && y >= 0 && y < (long long)Board.height && x >= 0 &&
      x <= (long long)Board.width && n <= (long long)Board.width - x) {
    uint16_t *row = (uint16_t *)((uint8_t *)r.lock.lfbPtr + (size_t)y * r.lock.strideInBytes);
    std::memcpy(row + x, a.pixels.data(), (size_t)n * 2);
  }
}

void replayUnlock(Replayer &r, ReadArgs &a) {
  grLfbUnlock(i32(a, 0), i32(a, 1));
  r.locked = false;
}

void replayReadRegion(Replayer &r, ReadArgs &a) {
  for (int k = 1; k < 6; ++k)
    if (a.number[k] < 0 || a.number[k] > 0xFFFFFFFFll) {
      r.fail("bad region");
      return;
    }
  // What the read copies out goes nowhere: only a region the screen holds gets
  // a buffer, and a stride far beyond a row (only where rows went) is packed.
  const FxU32 width = u32(a, 3), height = u32(a, 4);
  FxU32 stride = u32(a, 5);
  std::vector<uint8_t> scratch;
  if (width <= (FxU32)Board.width && height <= (FxU32)Board.height && stride >= width * 2) {
    if (stride > 4 * (FxU32)Board.width + 64) stride = width * 2;
    scratch.resize((size_t)stride * height + 2);
  }
  grLfbReadRegion(i32(a, 0), u32(a, 1), u32(a, 2), width, height, stride,
                  scratch.empty() ? nullptr : scratch.data());
}

// Every traced call, once: its name, its arguments (a letter each, see
// kindOf), and how a replay makes it.
constexpr CallInfo Calls[] = {
    {"grGlideInit", "", [](Replayer &, ReadArgs &) { grGlideInit(); }},
    {"grGlideShutdown", "", [](Replayer &, ReadArgs &) { grGlideShutdown(); }},
    {"grSstQueryBoards", "",
     [](Replayer &, ReadArgs &) {
       GrHwConfiguration hw;
       grSstQueryBoards(&hw);
     }},
    {"grSstQueryHardware", "",
     [](Replayer &, ReadArgs &) {
       GrHwConfiguration hw;
       grSstQueryHardware(&hw);
     }},
    {"grSstSelect", "i", [](Replayer &, ReadArgs &a) { grSstSelect(i32(a, 0)); }},
    {"grSstWinOpen", "uiiiiii", replayOpen},
    {"grSstWinClose", "", [](Replayer &, ReadArgs &) { grSstWinClose(); }},
    {"grSstControl", "i", [](Replayer &, ReadArgs &a) { grSstControl(i32(a, 0)); }},
    {"grSstScreenWidth", "", [](Replayer &, ReadArgs &) { grSstScreenWidth(); }},
    {"grSstScreenHeight", "", [](Replayer &, ReadArgs &) { grSstScreenHeight(); }},
    {"grBufferClear", "uuu", [](Replayer &, ReadArgs &a) { grBufferClear(u32(a, 0), u32(a, 1), u32(a, 2)); }},
    {"grBufferSwap", "i", replaySwap},
    {"grRenderBuffer", "i", [](Replayer &, ReadArgs &a) { grRenderBuffer(i32(a, 0)); }},
    {"grColorMask", "ii", [](Replayer &, ReadArgs &a) { grColorMask(i32(a, 0), i32(a, 1)); }},
    {"grDitherMode", "i", [](Replayer &, ReadArgs &a) { grDitherMode(i32(a, 0)); }},
    {"grDepthBufferMode", "i", [](Replayer &, ReadArgs &a) { grDepthBufferMode(i32(a, 0)); }},
    {"grCullMode", "i", [](Replayer &, ReadArgs &a) { grCullMode(i32(a, 0)); }},
    {"grHints", "iu", [](Replayer &, ReadArgs &a) { grHints(i32(a, 0), u32(a, 1)); }},
    {"guColorCombineFunction", "i", [](Replayer &, ReadArgs &a) { guColorCombineFunction(i32(a, 0)); }},
    {"grTexCombineFunction", "ii",
     [](Replayer &, ReadArgs &a) { grTexCombineFunction(i32(a, 0), i32(a, 1)); }},
    {"guAlphaSource", "i", [](Replayer &, ReadArgs &a) { guAlphaSource(i32(a, 0)); }},
    {"grAlphaBlendFunction", "iiii", replayBlend},
    {"grAlphaTestFunction", "i", [](Replayer &, ReadArgs &a) { grAlphaTestFunction(i32(a, 0)); }},
    {"grAlphaTestReferenceValue", "u", [](Replayer &, ReadArgs &a) { grAlphaTestReferenceValue(u32(a, 0)); }},
    {"guTexAllocateMemory", "iuiiiiiiiiiiifii", replayAllocate},
    {"texels", "hzb", replayTexels},
    {"guTexDownloadMipMap", "ih", replayDownload},
    {"guTexSource", "i", [](Replayer &r, ReadArgs &a) { guTexSource(r.handle(a.number[0])); }},
    {"grDrawPolygon", "V", [](Replayer &, ReadArgs &a) { grDrawPolygon(listSize(a), ilist(a), vlist(a)); }},
    {"grDrawPlanarPolygon", "V",
     [](Replayer &, ReadArgs &a) { grDrawPlanarPolygon(listSize(a), ilist(a), vlist(a)); }},
    {"grDrawLine", "vv", [](Replayer &, ReadArgs &a) { grDrawLine(&a.vertex[0], &a.vertex[1]); }},
    {"grAADrawLine", "vv", [](Replayer &, ReadArgs &a) { grAADrawLine(&a.vertex[0], &a.vertex[1]); }},
    {"grAADrawPoint", "v", [](Replayer &, ReadArgs &a) { grAADrawPoint(&a.vertex[0]); }},
    {"grLfbLock", "iiiii", replayLock},
    {"lfbWrite", "iiip", replayPixels},
    {"grLfbUnlock", "ii", replayUnlock},
    {"grLfbReadRegion", "iuuuuu", replayReadRegion},
    {"grLfbConstantDepth", "u", [](Replayer &, ReadArgs &a) { grLfbConstantDepth(u32(a, 0)); }},
    {"screenSize", "ii",
     [](Replayer &r, ReadArgs &a) {
       r.screenWidth = i32(a, 0);
       r.screenHeight = i32(a, 1);
     }},
};
static_assert(sizeof Calls / sizeof *Calls == (size_t)TraceCall::Count,
              "one table entry for every traced call, in the order of TraceCall");

// Every entry fits what a replayed line can hold.
constexpr bool tableFits() {
  for (const CallInfo &c : Calls) {
    int args = 0, vertices = 0;
    for (const char *k = c.args; *k; ++k) {
      ++args;
      vertices += *k == 'v';
    }
    if (args > MaxArgs || vertices > 2) return false;
  }
  return true;
}
static_assert(tableFits(), "a call with more arguments than ReadArgs holds");

// ---- Writing --------------------------------------------------------------------------

std::string TracePath;       // the file being written
std::string TraceWriteError; // the first failure to write it
std::unordered_set<unsigned long long> TexelsWritten;
bool ExitHookInstalled = false;

const char Hex[] = "0123456789abcdef";

void writeVertex(const GrVertex *v) {
  fprintf(BoardTraceFile, " %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g", (double)v->x, (double)v->y,
          (double)v->r, (double)v->g, (double)v->b, (double)v->a, (double)v->oow, (double)v->tmuvtx[0].sow,
          (double)v->tmuvtx[0].tow);
}

void writeArg(Arg kind, const TraceValue &v) {
  FILE *f = BoardTraceFile;
  switch (kind) {
  case Arg::Int: fprintf(f, " %d", (int)v.number); break;
  case Arg::Unsigned: fprintf(f, " %u", (unsigned)v.number); break;
  case Arg::Float: fprintf(f, " %.9g", v.real); break;
  case Arg::Hash: fprintf(f, " %016llx", (unsigned long long)v.number); break;
  case Arg::Size: fprintf(f, " %zu", (size_t)v.number); break;
  case Arg::Vertex: writeVertex(v.vertices); break;
  case Arg::VertexList:
    fprintf(f, " %d", (int)v.number);
    for (size_t i = 0; i < v.count; ++i) writeVertex(&v.vertices[v.index[i]]);
    break;
  case Arg::HexBytes: {
    const uint8_t *p = static_cast<const uint8_t *>(v.bytes);
    std::string text(v.count * 2 + 1, ' ');
    for (size_t i = 0; i < v.count; ++i) {
      text[1 + 2 * i] = Hex[p[i] >> 4];
      text[2 + 2 * i] = Hex[p[i] & 15];
    }
    fwrite(text.data(), 1, text.size(), f);
    break;
  }
  case Arg::HexPixels: {
    const uint16_t *p = static_cast<const uint16_t *>(v.bytes);
    std::string text(v.count * 4 + 1, ' ');
    for (size_t i = 0; i < v.count; ++i)
      for (int k = 0; k < 4; ++k) text[1 + 4 * i + k] = Hex[(p[i] >> (12 - 4 * k)) & 15];
    fwrite(text.data(), 1, text.size(), f);
    break;
  }
  }
}

// Ends the trace after the first failed write: the rest of the run goes on
// untraced, and the failure is reported when the trace is stopped.
void noteWriteFailure(int err) {
  if (TraceWriteError.empty())
    TraceWriteError = "cannot write the trace file " + TracePath + ": " + std::strerror(err ? err : EIO);
  std::fclose(BoardTraceFile);
  BoardTraceFile = nullptr;
}

void closeAtExit() {
  std::string error;
  if (!boardStopTrace(error)) std::fprintf(stderr, "board: %s\n", error.c_str());
}

// ---- Reading --------------------------------------------------------------------------

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The next blank-separated token of [p, end), moving p past it; empty at the end.
std::string_view nextToken(const char *&p, const char *end) {
  while (p < end && isBlank(*p)) ++p;
  const char *start = p;
  while (p < end && !isBlank(*p)) ++p;
  return std::string_view(start, (size_t)(p - start));
}

// strtoll and strtof want a terminated string: tokens of numbers are short.
bool readInteger(std::string_view t, long long &out) {
  char buf[32];
  if (t.empty() || t.size() >= sizeof buf) return false;
  std::memcpy(buf, t.data(), t.size());
  buf[t.size()] = 0;
  char *end = nullptr;
  errno = 0;
  out = std::strtoll(buf, &end, 10);
  return errno == 0 && *end == 0;
}

bool readFloat(std::string_view t, float &out) {
  char buf[64];
  if (t.empty() || t.size() >= sizeof buf) return false;
  std::memcpy(buf, t.data(), t.size());
  buf[t.size()] = 0;
  char *end = nullptr;
  out = std::strtof(buf, &end);
  return *end == 0;
}

int hexDigit(char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; }

bool readHash(std::string_view t, long long &out) {
  if (t.empty() || t.size() > 16) return false;
  unsigned long long v = 0;
  for (char c : t) {
    int d = hexDigit(c);
    if (d < 0) return false;
    v = v << 4 | (unsigned)d;
  }
  out = (long long)v;
  return true;
}

bool readBytes(std::string_view t, std::vector<uint8_t> &out) {
  if (t.size() % 2) return false;
  out.resize(t.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    int hi = hexDigit(t[2 * i]), lo = hexDigit(t[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = (uint8_t)(hi << 4 | lo);
  }
  return true;
}

bool readPixels(std::string_view t, std::vector<uint16_t> &out) {
  if (t.size() % 4) return false;
  out.resize(t.size() / 4);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      int d = hexDigit(t[4 * i + k]);
      if (d < 0) return false;
      v = v << 4 | (unsigned)d;
    }
    out[i] = (uint16_t)v;
  }
  return true;
}

bool readVertex(const char *&p, const char *end, GrVertex &v, std::string &problem) {
  std::memset(&v, 0, sizeof v);
  float x[9];
  for (int i = 0; i < 9; ++i) {
    std::string_view t = nextToken(p, end);
    if (t.empty()) {
      problem = "a vertex needs 9 numbers";
      return false;
    }
    if (!readFloat(t, x[i])) {
      problem = "not a number: " + std::string(t);
      return false;
    }
  }
  v.x = x[0];
  v.y = x[1];
  v.r = x[2];
  v.g = x[3];
  v.b = x[4];
  v.a = x[5];
  v.oow = x[6];
  v.tmuvtx[0].sow = x[7];
  v.tmuvtx[0].tow = x[8];
  v.tmuvtx[0].oow = x[6];
  return true;
}

const std::unordered_map<std::string_view, int> &callsByName() {
  static const std::unordered_map<std::string_view, int> byName = [] {
    std::unordered_map<std::string_view, int> m;
    for (int i = 0; i < (int)TraceCall::Count; ++i) m.emplace(Calls[i].name, i);
    return m;
  }();
  return byName;
}

bool Replayer::line(const char *p, const char *end) {
  std::string_view name = nextToken(p, end);
  if (name.empty() || name[0] == '#') return true;
  auto found = callsByName().find(name);
  if (found == callsByName().end()) return fail("unknown call " + std::string(name));
  const CallInfo &call = Calls[found->second];
  ReadArgs &a = args;
  int k = 0, vertices = 0;
  for (const char *letter = call.args; *letter; ++letter) {
    const Arg kind = kindOf(*letter);
    if (kind == Arg::Vertex) {
      if (!readVertex(p, end, a.vertex[vertices++], problem)) return false;
      ++k;
      continue;
    }
    std::string_view t = nextToken(p, end);
    if (t.empty())
      return fail(std::string(name) + " needs " + std::to_string(std::strlen(call.args)) + " arguments");
    bool ok = true;
    switch (kind) {
    case Arg::Int:
    case Arg::Unsigned:
    case Arg::Size: ok = readInteger(t, a.number[k]); break;
    case Arg::Float: ok = readFloat(t, a.real[k]); break;
    case Arg::Hash: ok = readHash(t, a.number[k]); break;
    case Arg::HexBytes:
      if (!readBytes(t, a.bytes)) return fail("bad texel data");
      break;
    case Arg::HexPixels:
      if (!readPixels(t, a.pixels)) return fail("bad pixel data");
      break;
    case Arg::VertexList: {
      long long n = 0;
      if (!readInteger(t, n) || n < 0 || n > MaxVertices) return fail("bad vertex count");
      a.list.resize((size_t)n);
      for (long long i = 0; i < n; ++i)
        if (!readVertex(p, end, a.list[(size_t)i], problem)) return false;
      while (a.index.size() < a.list.size()) a.index.push_back((int)a.index.size());
      break;
    }
    case Arg::Vertex: break;
    }
    if (!ok) return fail("not a number: " + std::string(t));
    ++k;
  }
  std::string_view extra = nextToken(p, end);
  if (!extra.empty())
    return fail("more arguments than " + std::string(name) + " takes: " + std::string(extra.substr(0, 40)));
  ++calls;
  if (sink) {
    keep(found->second);
    return true;
  }
  call.replay(*this, a);
  return problem.empty();
}

// ---- Read traces --------------------------------------------------------------------

// A kept call: its header, then its arguments in the order of its letters
// (numbers as 8 bytes, floats as 4, vertices as records, lists and data as a
// count and their items).
struct KeptCall {
  uint32_t call;
  uint32_t size; // bytes of arguments that follow, padded to 8
  long line;
};

template <class T> void put(std::vector<unsigned char> &out, const T &v) {
  const size_t at = out.size();
  out.resize(at + sizeof v);
  std::memcpy(out.data() + at, &v, sizeof v);
}
template <class T> void putAll(std::vector<unsigned char> &out, const std::vector<T> &v) {
  put(out, (uint64_t)v.size());
  const size_t at = out.size();
  out.resize(at + v.size() * sizeof(T));
  if (!v.empty()) std::memcpy(out.data() + at, v.data(), v.size() * sizeof(T));
}
template <class T> void take(const unsigned char *&p, T &v) {
  std::memcpy(&v, p, sizeof v);
  p += sizeof v;
}
template <class T> void takeAll(const unsigned char *&p, std::vector<T> &v) {
  uint64_t n;
  take(p, n);
  v.resize((size_t)n);
  if (n) std::memcpy(v.data(), p, (size_t)n * sizeof(T));
  p += (size_t)n * sizeof(T);
}

void Replayer::keep(int callIndex) {
  std::vector<unsigned char> &out = *sink;
  const size_t head = out.size();
  put(out, KeptCall{(uint32_t)callIndex, 0, lineNumber});
  const CallInfo &call = Calls[callIndex];
  int k = 0, vertices = 0;
  for (const char *letter = call.args; *letter; ++letter, ++k) {
    switch (kindOf(*letter)) {
    case Arg::Vertex: put(out, args.vertex[vertices++]); break;
    case Arg::VertexList: putAll(out, args.list); break;
    case Arg::HexBytes: putAll(out, args.bytes); break;
    case Arg::HexPixels: putAll(out, args.pixels); break;
    case Arg::Float: put(out, args.real[k]); break;
    default: put(out, args.number[k]); break;
    }
  }
  out.resize((out.size() + 7) & ~(size_t)7);
  KeptCall h;
  std::memcpy(&h, out.data() + head, sizeof h);
  h.size = (uint32_t)(out.size() - head - sizeof h);
  std::memcpy(out.data() + head, &h, sizeof h);
}

// Reads the arguments of the kept call at `p` into `a`; returns its header
// and moves `p` to the next call.
KeptCall takeKept(const unsigned char *&p, ReadArgs &a) {
  KeptCall h;
  take(p, h);
  const unsigned char *next = p + h.size;
  const CallInfo &call = Calls[h.call];
  int k = 0, vertices = 0;
  for (const char *letter = call.args; *letter; ++letter, ++k) {
    switch (kindOf(*letter)) {
    case Arg::Vertex: take(p, a.vertex[vertices++]); break;
    case Arg::VertexList:
      takeAll(p, a.list);
      while (a.index.size() < a.list.size()) a.index.push_back((int)a.index.size());
      break;
    case Arg::HexBytes: takeAll(p, a.bytes); break;
    case Arg::HexPixels: takeAll(p, a.pixels); break;
    case Arg::Float: take(p, a.real[k]); break;
    default: take(p, a.number[k]); break;
    }
  }
  p = next;
  return h;
}

// Replays kept calls from `p` to `end`; false at the first that fails.
bool replayKept(Replayer &r, const unsigned char *p, const unsigned char *end) {
  ReadArgs &a = r.args;
  while (p < end && !r.done) {
    const KeptCall h = takeKept(p, a);
    r.lineNumber = h.line;
    ++r.calls;
    Calls[h.call].replay(r, a);
    if (!r.problem.empty()) return false;
  }
  return true;
}

// Cuts the trace into lines as its bytes arrive and replays each.
struct LineFeed {
  Replayer &r;
  long number = 0;     // of the line being read
  std::string pending; // the start of a line whose end has not arrived

  explicit LineFeed(Replayer &replayer) : r(replayer) {}

  // False when a line fails, or is longer than a trace line can be.
  bool feed(const char *p, const char *end) {
    while (p < end && !r.done) {
      const char *nl = static_cast<const char *>(std::memchr(p, '\n', (size_t)(end - p)));
      const char *stop = nl ? nl : end;
      if (pending.size() + (size_t)(stop - p) > BoardTraceMaxLine) {
        r.lineNumber = ++number;
        return r.fail("a line longer than " + std::to_string(BoardTraceMaxLine) + " characters");
      }
      if (!nl) {
        pending.append(p, end);
        return true;
      }
      ++number;
      r.lineNumber = number;
      bool ok;
      if (pending.empty()) {
        ok = r.line(p, nl);
      } else {
        pending.append(p, nl);
        ok = r.line(pending.data(), pending.data() + pending.size());
        pending.clear();
      }
      if (!ok) return false;
      p = nl + 1;
    }
    return true;
  }
  // The last line, when the trace does not end with a newline.
  bool finish() {
    if (pending.empty() || r.done) return true;
    ++number;
    r.lineNumber = number;
    return r.line(pending.data(), pending.data() + pending.size());
  }
};

bool replayResult(const Replayer &r, bool fed, const char *name, std::string &error) {
  if (!fed) {
    error = std::string(name) + ":" + std::to_string(r.lineNumber) + ": " + r.problem;
    return false;
  }
  if (r.interrupted) {
    error = std::string("the replay of ") + name + " was stopped after " + std::to_string(r.frames) +
            " frame" + (r.frames == 1 ? "" : "s");
    return false;
  }
  if (r.calls == 0) {
    error = std::string(name) + " holds no board call: it is not a trace";
    return false;
  }
  return true;
}

} // namespace

// ---- Writing, the board's side --------------------------------------------------------

void traceCall(TraceCall call, std::initializer_list<TraceValue> args) {
  const CallInfo &info = Calls[(int)call];
  fputs(info.name, BoardTraceFile);
  const TraceValue *v = args.begin();
  for (const char *k = info.args; *k; ++k) writeArg(kindOf(*k), v < args.end() ? *v++ : TraceValue());
  fputc('\n', BoardTraceFile);
  // Once a frame, so that a full disk ends the trace near where it failed.
  if (call == TraceCall::GrBufferSwap && ferror(BoardTraceFile)) noteWriteFailure(errno);
}

unsigned long long traceHash(const void *data, size_t bytes) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  unsigned long long h = 1469598103934665603ull;
  for (size_t i = 0; i < bytes; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

void traceTexels(const void *data, size_t bytes) {
  unsigned long long h = traceHash(data, bytes);
  if (!TexelsWritten.insert(h).second) return;
  traceCall(TraceCall::Texels, {h, bytes, TraceValue::data(data, bytes)});
}

bool boardStartTrace(const char *path, std::string &error) {
  std::string ignored;
  boardStopTrace(ignored);
  FILE *f = std::fopen(path, "w");
  if (!f) {
    error = std::string("cannot write the trace file ") + path + ": " + std::strerror(errno);
    return false;
  }
  std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
  BoardTraceFile = f;
  TracePath = path;
  TraceWriteError.clear();
  TexelsWritten.clear();
  if (!ExitHookInstalled) {
    std::atexit(closeAtExit);
    ExitHookInstalled = true;
  }
  return true;
}

bool boardStopTrace(std::string &error) {
  if (BoardTraceFile) {
    errno = 0;
    const bool flushed = std::fflush(BoardTraceFile) == 0 && !std::ferror(BoardTraceFile);
    const int flushErr = errno;
    const bool closed = std::fclose(BoardTraceFile) == 0;
    const int closeErr = errno;
    BoardTraceFile = nullptr;
    if ((!flushed || !closed) && TraceWriteError.empty())
      TraceWriteError = "cannot write the trace file " + TracePath + ": " +
                        std::strerror(!flushed ? (flushErr ? flushErr : EIO) : closeErr);
  }
  TexelsWritten.clear();
  if (TraceWriteError.empty()) return true;
  error = TraceWriteError;
  TraceWriteError.clear();
  return false;
}

// ---- Replay ---------------------------------------------------------------------------

bool boardReplayText(const char *text, size_t size, const char *name, std::string &error,
                     const BoardReplayControl &control) {
  Replayer r(control);
  LineFeed lines(r);
  const bool fed = lines.feed(text, text + size) && lines.finish();
  return replayResult(r, fed, name, error);
}

namespace {

// Feeds the file's lines to the replayer; false with `error` set when the file
// cannot be read, with `fed` false when a line failed.
bool feedFile(const char *path, Replayer &r, LineFeed &lines, bool &fed, std::string &error) {
  // A folder opens like a file and reads as empty: it would pass for a trace
  // with nothing in it.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = std::string("cannot read the trace file ") + path + ": it is a folder";
    return false;
  }
  FILE *f = std::fopen(path, "rb");
  if (!f) {
    error = std::string("cannot read the trace file ") + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<char> chunk(1 << 16);
  fed = true;
  while (fed && !r.done) {
    const size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
    if (n == 0) break;
    fed = lines.feed(chunk.data(), chunk.data() + n);
  }
  const bool readFailed = std::ferror(f);
  const int readErr = errno;
  std::fclose(f);
  if (readFailed) {
    error = std::string("cannot read the trace file ") + path + ": " + std::strerror(readErr);
    return false;
  }
  fed = fed && lines.finish();
  return true;
}

} // namespace

bool boardReplay(const char *path, std::string &error, const BoardReplayControl &control) {
  Replayer r(control);
  LineFeed lines(r);
  bool fed = false;
  if (!feedFile(path, r, lines, fed, error)) return false;
  return replayResult(r, fed, path, error);
}

bool boardReadTrace(const char *path, BoardTrace &trace, std::string &error) {
  static const BoardReplayControl none;
  Replayer r(none);
  trace.name = path;
  trace.calls.clear();
  r.sink = &trace.calls;
  LineFeed lines(r);
  bool fed = false;
  if (!feedFile(path, r, lines, fed, error)) return false;
  if (!fed) {
    error = std::string(path) + ":" + std::to_string(r.lineNumber) + ": " + r.problem;
    return false;
  }
  if (r.calls == 0) {
    error = std::string(path) + " holds no board call: it is not a trace";
    return false;
  }
  return true;
}

bool boardReplayTrace(const BoardTrace &trace, std::string &error, const BoardReplayControl &control) {
  Replayer r(control);
  const unsigned char *p = trace.calls.data();
  const bool fed = replayKept(r, p, p + trace.calls.size());
  return replayResult(r, fed, trace.name.c_str(), error);
}

bool boardVisitTrace(const BoardTrace &trace,
                     bool (*visit)(void *context, int call, const BoardTraceArgs &args), void *context) {
  BoardTraceArgs args;
  const unsigned char *p = trace.calls.data(), *end = p + trace.calls.size();
  while (p < end) {
    const KeptCall h = takeKept(p, args);
    if (!visit(context, (int)h.call, args)) return false;
  }
  return true;
}
