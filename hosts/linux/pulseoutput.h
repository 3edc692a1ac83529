// Sound to the desktop's sound server (PulseAudio, or PipeWire through its
// PulseAudio service): one playback stream fed from a CdStream on the
// client library's own thread.
#pragma once

#include "hosts/linux/cdstream.h"

class PulseOutput {
public:
  PulseOutput() = default;
  ~PulseOutput();
  PulseOutput(const PulseOutput &) = delete;
  PulseOutput &operator=(const PulseOutput &) = delete;

  // Connects to the sound server and opens a paused stream; false when there
  // is no server to play to.
  bool open(CdStream *source);
  // Lets the stream run (what the source gives, silence in between).
  void play();
  // Drops everything queued and pauses: the sound stops at once.
  void silence();
  void close();

private:
  static void onContextState(struct pa_context *context, void *self);
  static void onStreamState(struct pa_stream *stream, void *self);
  static void onWrite(struct pa_stream *stream, size_t bytes, void *self);
  static void onDone(struct pa_stream *stream, int success, void *self);
  void wait(struct pa_operation *operation);

  CdStream *source_ = nullptr;
  struct pa_threaded_mainloop *loop_ = nullptr;
  struct pa_context *context_ = nullptr;
  struct pa_stream *stream_ = nullptr;
  bool corked_ = true;    // under the loop's lock
  size_t idleFrames_ = 0; // silence written since the last sound (loop's thread)
};
