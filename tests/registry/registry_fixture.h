// A private registry file per test, and the messages the user would see.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/messagebox.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"

// A UTF-16LE file with its byte-order mark, from ASCII text (a version 5 export).
inline std::string utf16le(const std::string &ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

struct CapturedMessage {
  std::string text;
  std::string caption;
};

class CapturingSink : public MessageBoxSink {
public:
  std::vector<CapturedMessage> messages;
  int show(const char *text, const char *caption, unsigned) override {
    messages.push_back({text ? text : "", caption ? caption : ""});
    return LV_IDOK;
  }
  void beep(int, int) override {}
};

class RegistryFileTest : public ::testing::Test {
protected:
  std::filesystem::path dir;
  std::string file;
  CapturingSink sink;

  void SetUp() override {
    char pattern[] = "/tmp/lvregXXXXXX";
    dir = mkdtemp(pattern);
    file = (dir / "registry.reg").string();
    setenv("LUMENVEIL_REGISTRY", file.c_str(), 1);
    setRegistryFilePath(file);
    setMessageBoxSink(&sink);
  }
  void TearDown() override {
    setMessageBoxSink(nullptr);
    setRegistryBeforeReplaceHook(nullptr);
    setRegistryFilePath("");
    std::filesystem::remove_all(dir);
  }

  void writeFile(const std::string &text) { writeFileAt(file, text); }
  static void writeFileAt(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  std::string readFile() const { return readFileAt(file); }
  static std::string readFileAt(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(const std::string &path) const { return std::filesystem::exists(path); }
};
