// Loading and saving settings through the registry file: a small file as the
// program writes it, and a large one such as a user's import from another
// machine with thousands of foreign keys around the program's own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry_store.h"
#include "hosts/posix/settingsfile.h"
#include "registry/registrystore.h"
#include "settings/configuration.h"

namespace {
// The settings file on disk and the store over it, as the program installs them.
const bool PortsInstalled = [] {
  setSettingsFiles(&posixSettingsFiles());
  setRegistryStore(&fileRegistryStore());
  return true;
}();
} // namespace

namespace {

std::string tempFile(const char *name) { return (std::filesystem::temp_directory_path() / name).string(); }

// A file with `foreignKeys` keys of eight values each besides the program's groups.
std::string makeFile(const char *name, int foreignKeys) {
  std::string path = tempFile(name);
  std::filesystem::remove(path);
  {
    std::ofstream out(path);
    out << "REGEDIT4\n\n";
    for (int k = 0; k < foreignKeys; ++k) {
      out << "[HKEY_CURRENT_USER\\Software\\Vendor" << k % 97 << "\\Key" << k << "]\n";
      for (int v = 0; v < 8; ++v) out << "\"Value" << v << "\"=dword:" << std::string(7, '0') << v << "\n";
      out << "\n";
    }
  }
  setRegistryFilePath(path);
  writeDefaultSettings();
  return path;
}

void loadAllGroups() {
  DisplayConfiguration d;
  d.load();
  GlobalConfiguration g;
  g.load();
  AboutConfiguration a;
  a.load();
  LumenveilConfiguration l;
  l.load();
  benchmark::DoNotOptimize(d.Mode + g.ScreenSaver + a.Disable3DInWindow + l.TimeFactor);
}

// Loads of an unchanged file: the cost of start-up's settings reads.
void BM_LoadUnchanged(benchmark::State &state) {
  std::string path = makeFile("lv_bench_registry.reg", int(state.range(0)));
  for (auto _ : state) loadAllGroups();
  std::filesystem::remove(path);
  setRegistryFilePath("");
}
BENCHMARK(BM_LoadUnchanged)->Arg(0)->Arg(5000);

// Loads after another process changed the file: each walk re-reads it.
void BM_LoadAfterChange(benchmark::State &state) {
  std::string path = makeFile("lv_bench_registry.reg", int(state.range(0)));
  std::string other = path + ".copy";
  std::filesystem::copy_file(path, other, std::filesystem::copy_options::overwrite_existing);
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(other, path, std::filesystem::copy_options::overwrite_existing);
    state.ResumeTiming();
    GlobalConfiguration g;
    g.load();
    benchmark::DoNotOptimize(g.ScreenSaver);
  }
  std::filesystem::remove(path);
  std::filesystem::remove(other);
  setRegistryFilePath("");
}
BENCHMARK(BM_LoadAfterChange)->Arg(0)->Arg(5000)->Unit(benchmark::kMicrosecond);

// Start-up's read of a file holding one binary value continued over many
// lines (the largest of them near the 16 MB limit).
void BM_LoadLongValue(benchmark::State &state) {
  std::string path = tempFile("lv_bench_long_value.reg");
  {
    std::ofstream out(path);
    out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Big]\n\"Blob\"=hex:00,\\\n";
    for (int i = 0; i < state.range(0); ++i) out << "  01,02,03,04,\\\n";
    out << "  ff\n";
  }
  for (auto _ : state) {
    setRegistryFilePath(path); // forget what was read: read the file again
    GlobalConfiguration g;
    g.load();
    benchmark::DoNotOptimize(g.ScreenSaver);
  }
  std::filesystem::remove(path);
  setRegistryFilePath("");
}
BENCHMARK(BM_LoadLongValue)->Arg(40000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One group saved: lock, re-read, write, flush, rename.
void BM_SaveGroup(benchmark::State &state) {
  std::string path = makeFile("lv_bench_registry.reg", int(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    GlobalConfiguration g;
    g.MotionBlurDelta = ++i & 63;
    g.save();
  }
  std::filesystem::remove(path);
  setRegistryFilePath("");
}
BENCHMARK(BM_SaveGroup)->Arg(0)->Arg(5000)->Unit(benchmark::kMicrosecond);

} // namespace
