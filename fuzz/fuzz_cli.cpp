// Fuzzes the two command-line readers: the Unix-style options and the
// screen-saver switches. Arguments are the input split at NUL bytes.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/entry.h"
#include "display/glidedisplay.h"
#include "hosts/common/commandline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back() += char(data[i]);
  }
  CliParse p = parseArguments(args);
  if (p.action == CliAction::Error && p.error.empty()) std::abort();
  if (p.action == CliAction::Headless) {
    if (p.headless.frames < 1) std::abort();
    if (p.headless.mode < -1 || p.headless.mode >= DisplayModeCount) std::abort();
    if (p.headless.scene < 0 || p.headless.scene > AnyScene) std::abort();
  }
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) line += (i ? " " : "") + args[i];
  parseCommandLine(line);
  return 0;
}
