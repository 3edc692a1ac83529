// What would be heard, written to a WAV file (44.1 kHz 16-bit stereo) that
// follows the program's clock instead of a sound card's: each step of the
// clock adds exactly its time in samples, silence where nothing plays.
#pragma once

#include <cstdint>
#include <string>

#include "hosts/common/outputfile.h"
#include "hosts/linux/cdstream.h"

class WavOutput {
public:
  WavOutput() = default;
  ~WavOutput();
  WavOutput(const WavOutput &) = delete;
  WavOutput &operator=(const WavOutput &) = delete;

  // Starts the file: a regular file under a temporary name until finish; a
  // character device or a named pipe (which something must already read) as
  // a stream, whose header gives no sizes. False with a message when it
  // cannot be written.
  bool open(const std::string &path, std::string &error);
  bool isOpen() const { return out_.isOpen(); }
  // The stream that plays into the file from now on (nullptr: silence).
  void attach(CdStream *source) { source_ = source; }
  CdStream *attached() const { return source_; }
  // Writes the sound up to `seconds` after the file was opened; false from
  // the first write that fails (the run should end there: finish tells why).
  bool advanceTo(double seconds);
  // Completes the header, closes the file and gives it its name; false with
  // a message when the file could not be written in full.
  bool finish(std::string &error);
  uint64_t framesWritten() const { return frames_; }

private:
  OutputFile out_;
  CdStream *source_ = nullptr;
  uint64_t frames_ = 0;
  bool cut_ = false; // the file reached the format's size limit
};
