// Writing and replaying the call trace.
#include "glide/trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/tracewrite.h"

FILE *BoardTraceFile = nullptr;

namespace {

std::unordered_set<unsigned long long> TexelsWritten;
bool ExitHookInstalled = false;

void closeAtExit() { boardStopTrace(); }

} // namespace

void traceVertex(const GrVertex *v) {
  fprintf(BoardTraceFile, " %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g", (double)v->x,
          (double)v->y, (double)v->r, (double)v->g, (double)v->b, (double)v->a, (double)v->oow,
          (double)v->tmuvtx[0].sow, (double)v->tmuvtx[0].tow);
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
  if (!TexelsWritten.insert(h).second)
    return;
  static const char Hex[] = "0123456789abcdef";
  const uint8_t *p = static_cast<const uint8_t *>(data);
  fprintf(BoardTraceFile, "texels %016llx %zu ", h, bytes);
  std::string line(bytes * 2, '0');
  for (size_t i = 0; i < bytes; ++i) {
    line[2 * i] = Hex[p[i] >> 4];
    line[2 * i + 1] = Hex[p[i] & 15];
  }
  fwrite(line.data(), 1, line.size(), BoardTraceFile);
  fputc('\n', BoardTraceFile);
}

bool boardStartTrace(const char *path, std::string &error) {
  boardStopTrace();
  FILE *f = std::fopen(path, "w");
  if (!f) {
    error = std::string("cannot write the trace file ") + path + ": " + std::strerror(errno);
    return false;
  }
  std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
  BoardTraceFile = f;
  TexelsWritten.clear();
  if (!ExitHookInstalled) {
    std::atexit(closeAtExit);
    ExitHookInstalled = true;
  }
  return true;
}

void boardStopTrace() {
  if (!BoardTraceFile)
    return;
  std::fclose(BoardTraceFile);
  BoardTraceFile = nullptr;
  TexelsWritten.clear();
}

// ---- Replay -----------------------------------------------------------------------

namespace {

struct Replayer {
  std::unordered_map<long long, GrMipMapId_t> handles; // recorded -> replayed
  std::unordered_map<unsigned long long, std::vector<uint8_t>> texels;
  GrLfbInfo_t lock{};
  bool locked = false;
  std::string problem;

  GrMipMapId_t handle(long long recorded) {
    auto it = handles.find(recorded);
    return it == handles.end() ? GR_NULL_MIPMAP_HANDLE : it->second;
  }

  bool ints(std::istringstream &in, long long *out, int n) {
    for (int i = 0; i < n; ++i)
      if (!(in >> out[i])) {
        problem = "expected " + std::to_string(n) + " numbers";
        return false;
      }
    return true;
  }

  bool vertex(std::istringstream &in, GrVertex &v) {
    std::memset(&v, 0, sizeof v);
    std::string f[9];
    float x[9];
    for (int i = 0; i < 9; ++i) {
      if (!(in >> f[i])) {
        problem = "a vertex needs 9 numbers";
        return false;
      }
      char *end = nullptr;
      x[i] = std::strtof(f[i].c_str(), &end);
      if (end == f[i].c_str() || *end) {
        problem = "not a number: " + f[i];
        return false;
      }
    }
    v.x = x[0]; v.y = x[1]; v.r = x[2]; v.g = x[3]; v.b = x[4]; v.a = x[5];
    v.oow = x[6];
    v.tmuvtx[0].sow = x[7];
    v.tmuvtx[0].tow = x[8];
    v.tmuvtx[0].oow = x[6];
    return true;
  }

  static bool hexBytes(const std::string &hex, std::vector<uint8_t> &out) {
    if (hex.size() % 2)
      return false;
    out.resize(hex.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
      int v = 0;
      for (int k = 0; k < 2; ++k) {
        char c = hex[2 * i + k];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0)
          return false;
        v = v * 16 + d;
      }
      out[i] = (uint8_t)v;
    }
    return true;
  }

  bool line(const std::string &text);
};

bool Replayer::line(const std::string &text) {
  std::istringstream in(text);
  std::string name;
  if (!(in >> name) || name[0] == '#')
    return true;
  long long a[16];
  if (name == "grGlideInit") grGlideInit();
  else if (name == "grGlideShutdown") grGlideShutdown();
  else if (name == "grSstQueryBoards") { GrHwConfiguration hw; grSstQueryBoards(&hw); }
  else if (name == "grSstQueryHardware") { GrHwConfiguration hw; grSstQueryHardware(&hw); }
  else if (name == "grSstSelect") { if (!ints(in, a, 1)) return false; grSstSelect((int)a[0]); }
  else if (name == "grSstWinOpen") {
    if (!ints(in, a, 7)) return false;
    grSstWinOpen(0, (int)a[1], (int)a[2], (int)a[3], (int)a[4], (int)a[5], (int)a[6]);
  }
  else if (name == "grSstWinClose") grSstWinClose();
  else if (name == "grSstScreenWidth" || name == "grSstScreenHeight") {} // queries only
  else if (name == "grSstControl") { if (!ints(in, a, 1)) return false; grSstControl((int)a[0]); }
  else if (name == "grBufferClear") {
    if (!ints(in, a, 3)) return false;
    grBufferClear((GrColor_t)a[0], (GrAlpha_t)a[1], (FxU16)a[2]);
  }
  else if (name == "grBufferSwap") { if (!ints(in, a, 1)) return false; grBufferSwap((int)a[0]); }
  else if (name == "grRenderBuffer") { if (!ints(in, a, 1)) return false; grRenderBuffer((int)a[0]); }
  else if (name == "grColorMask") { if (!ints(in, a, 2)) return false; grColorMask((int)a[0], (int)a[1]); }
  else if (name == "grDitherMode") { if (!ints(in, a, 1)) return false; grDitherMode((int)a[0]); }
  else if (name == "grDepthBufferMode") { if (!ints(in, a, 1)) return false; grDepthBufferMode((int)a[0]); }
  else if (name == "grCullMode") { if (!ints(in, a, 1)) return false; grCullMode((int)a[0]); }
  else if (name == "grHints") { if (!ints(in, a, 2)) return false; grHints((int)a[0], (FxU32)a[1]); }
  else if (name == "guColorCombineFunction") { if (!ints(in, a, 1)) return false; guColorCombineFunction((int)a[0]); }
  else if (name == "grTexCombineFunction") { if (!ints(in, a, 2)) return false; grTexCombineFunction((int)a[0], (int)a[1]); }
  else if (name == "guAlphaSource") { if (!ints(in, a, 1)) return false; guAlphaSource((int)a[0]); }
  else if (name == "grAlphaBlendFunction") {
    if (!ints(in, a, 4)) return false;
    grAlphaBlendFunction((int)a[0], (int)a[1], (int)a[2], (int)a[3]);
  }
  else if (name == "grAlphaTestFunction") { if (!ints(in, a, 1)) return false; grAlphaTestFunction((int)a[0]); }
  else if (name == "grAlphaTestReferenceValue") { if (!ints(in, a, 1)) return false; grAlphaTestReferenceValue((GrAlpha_t)a[0]); }
  else if (name == "guTexAllocateMemory") {
    if (!ints(in, a, 13)) return false;
    float bias;
    long long b[2];
    if (!(in >> bias) || !ints(in, b, 2)) { problem = "incomplete allocation"; return false; }
    GrMipMapId_t h = guTexAllocateMemory((int)a[0], (FxU8)a[1], (int)a[2], (int)a[3], (int)a[4],
                                         (int)a[5], (int)a[6], (int)a[7], (int)a[8], (int)a[9],
                                         (int)a[10], (int)a[11], (int)a[12], bias, (int)b[0]);
    if (b[1] >= 0)
      handles[b[1]] = h;
  }
  else if (name == "texels") {
    std::string hash, hex;
    size_t count;
    if (!(in >> hash >> count >> hex)) { problem = "incomplete texels"; return false; }
    std::vector<uint8_t> bytes;
    if (!hexBytes(hex, bytes) || bytes.size() != count) { problem = "bad texel data"; return false; }
    texels[std::strtoull(hash.c_str(), nullptr, 16)] = std::move(bytes);
  }
  else if (name == "guTexDownloadMipMap") {
    long long h;
    std::string hash;
    if (!(in >> h >> hash)) { problem = "incomplete download"; return false; }
    unsigned long long key = std::strtoull(hash.c_str(), nullptr, 16);
    auto it = texels.find(key);
    if (it != texels.end()) {
      // The board reads the whole largest level: texels recorded for a smaller
      // texture cannot stand in for it.
      if (it->second.size() < boardTextureDownloadBytes(handle(h))) {
        problem = "the texels recorded for hash " + hash + " are fewer than the texture holds";
        return false;
      }
      guTexDownloadMipMap(handle(h), it->second.data(), nullptr);
    }
    else if (key != 0) { problem = "no texels recorded for hash " + hash; return false; }
  }
  else if (name == "guTexSource") { if (!ints(in, a, 1)) return false; guTexSource(handle(a[0])); }
  else if (name == "grDrawPolygon" || name == "grDrawPlanarPolygon") {
    if (!ints(in, a, 1)) return false;
    if (a[0] < 0 || a[0] > 4096) { problem = "bad vertex count"; return false; }
    std::vector<GrVertex> v((size_t)a[0]);
    std::vector<int> index((size_t)a[0]);
    for (size_t i = 0; i < v.size(); ++i) {
      if (!vertex(in, v[i])) return false;
      index[i] = (int)i;
    }
    if (name == "grDrawPolygon") grDrawPolygon((int)v.size(), index.data(), v.data());
    else grDrawPlanarPolygon((int)v.size(), index.data(), v.data());
  }
  else if (name == "grDrawLine" || name == "grAADrawLine") {
    GrVertex p, q;
    if (!vertex(in, p) || !vertex(in, q)) return false;
    if (name == "grDrawLine") grDrawLine(&p, &q);
    else grAADrawLine(&p, &q);
  }
  else if (name == "grAADrawPoint") { GrVertex p; if (!vertex(in, p)) return false; grAADrawPoint(&p); }
  else if (name == "grLfbLock") {
    if (!ints(in, a, 5)) return false;
    std::memset(&lock, 0, sizeof lock);
    lock.size = sizeof lock;
    locked = grLfbLock((int)a[0], (int)a[1], (int)a[2], (int)a[3], (int)a[4], &lock);
  }
  else if (name == "lfbWrite") {
    long long x, y, n;
    std::string hex;
    if (!(in >> x >> y >> n >> hex) || n < 0 || hex.size() % 4 != 0 ||
        (unsigned long long)n != hex.size() / 4) {
      problem = "bad pixel data";
      return false;
    }
    // The pointer is good only while the board still holds the lock: closing or
    // reopening the screen releases it along with the buffers.
    if (locked && Board.lfb.writeLocked && lock.lfbPtr && y >= 0 && y < (long long)Board.height &&
        x >= 0 && x <= (long long)Board.width && n <= (long long)Board.width - x) {
      uint16_t *row = (uint16_t *)((uint8_t *)lock.lfbPtr + (size_t)y * lock.strideInBytes);
      for (long long i = 0; i < n; ++i)
        row[x + i] = (uint16_t)std::strtoul(hex.substr((size_t)i * 4, 4).c_str(), nullptr, 16);
    }
  }
  else if (name == "grLfbUnlock") {
    if (!ints(in, a, 2)) return false;
    grLfbUnlock((int)a[0], (int)a[1]);
    locked = false;
  }
  else if (name == "grLfbReadRegion") {
    if (!ints(in, a, 6)) return false;
    if (a[4] < 0 || a[5] < 0 || a[4] > 4096 || a[5] > 65536) { problem = "bad region"; return false; }
    std::vector<uint8_t> scratch((size_t)a[4] * (size_t)a[5]);
    grLfbReadRegion((int)a[0], (FxU32)a[1], (FxU32)a[2], (FxU32)a[3], (FxU32)a[4], (FxU32)a[5],
                    scratch.data());
  }
  else if (name == "grLfbConstantDepth") { if (!ints(in, a, 1)) return false; grLfbConstantDepth((FxU16)a[0]); }
  else { problem = "unknown call " + name; return false; }
  return true;
}

} // namespace

bool boardReplay(const char *path, std::string &error) {
  // A folder opens like a file and reads as empty: it would pass for a trace
  // with nothing in it.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = std::string("cannot read the trace file ") + path + ": it is a folder";
    return false;
  }
  std::ifstream file(path);
  if (!file) {
    error = std::string("cannot read the trace file ") + path + ": " + std::strerror(errno);
    return false;
  }
  Replayer r;
  std::string text;
  long lineNumber = 0;
  while (std::getline(file, text)) {
    ++lineNumber;
    if (!r.line(text)) {
      error = std::string(path) + ":" + std::to_string(lineNumber) + ": " + r.problem;
      return false;
    }
  }
  return true;
}
