// What would be heard, written to a WAV file (44.1 kHz 16-bit stereo) that
// follows the program's clock instead of a sound card's: each step of the
// clock adds exactly its time in samples, silence where nothing plays.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "hosts/linux/cdstream.h"

class WavOutput {
public:
  WavOutput() = default;
  ~WavOutput();
  WavOutput(const WavOutput &) = delete;
  WavOutput &operator=(const WavOutput &) = delete;

  // Starts the file (under a temporary name until finish); false with a
  // message when it cannot be created.
  bool open(const std::string &path, std::string &error);
  bool isOpen() const { return file_ != nullptr; }
  // The stream that plays into the file from now on (nullptr: silence).
  void attach(CdStream *source) { source_ = source; }
  CdStream *attached() const { return source_; }
  // Writes the sound up to `seconds` after the file was opened.
  void advanceTo(double seconds);
  // Completes the header, closes the file and gives it its name; false with
  // a message when the file could not be written in full.
  bool finish(std::string &error);
  uint64_t framesWritten() const { return frames_; }

private:
  std::FILE *file_ = nullptr;
  std::string path_;
  CdStream *source_ = nullptr;
  uint64_t frames_ = 0;
  bool failed_ = false;
  bool cut_ = false; // the file reached the format's size limit
};
