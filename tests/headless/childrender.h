// Headless renders for tests, each in a process of its own (the scenes keep
// state from one run to the next), and their frame files read back.
#pragma once

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "hosts/headless/headlessrun.h"

inline std::string readAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string frameFile(const std::string &dir, int f) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06d.png", f);
  return dir + name;
}

// Runs `run` in a child process, after `prepare` there; the contents of its
// frame files, none when the run failed or wrote a frame past those asked for.
inline std::vector<std::string> renderInChild(const HeadlessRun &run, const std::function<void()> &prepare) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    prepare();
    _exit(runHeadless(run));
  }
  int status = 0;
  std::vector<std::string> files;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return files;
  for (int f = 1; f <= run.frames; ++f) files.push_back(readAll(frameFile(run.renderDir, f)));
  if (!readAll(frameFile(run.renderDir, static_cast<int>(run.frames) + 1)).empty()) files.clear();
  return files;
}
