#include "hosts/linux/pulseoutput.h"

#include <pulse/pulseaudio.h>

#include <cstring>

namespace {
constexpr uint32_t Rate = 44100;
constexpr uint32_t FrameBytes = 4;
// What the server holds ahead: enough that a busy machine does not starve
// the stream, small enough that a new track follows the last without a gap.
constexpr pa_usec_t TargetLatency = 200 * 1000;
// Silence written after the last track before the stream pauses: longer than
// the server holds, so the end of the last track is heard in full.
constexpr size_t IdleFrames = Rate;
} // namespace

PulseOutput::~PulseOutput() { close(); }

void PulseOutput::onContextState(pa_context *, void *self) {
  pa_threaded_mainloop_signal(static_cast<PulseOutput *>(self)->loop_, 0);
}

void PulseOutput::onStreamState(pa_stream *, void *self) {
  pa_threaded_mainloop_signal(static_cast<PulseOutput *>(self)->loop_, 0);
}

void PulseOutput::onDone(pa_stream *, int, void *self) {
  pa_threaded_mainloop_signal(static_cast<PulseOutput *>(self)->loop_, 0);
}

void PulseOutput::onWrite(pa_stream *stream, size_t bytes, void *self) {
  auto *out = static_cast<PulseOutput *>(self);
  // The server asks for `bytes`; it always gets them, the source's sound
  // first and silence for the rest, so the stream never stalls waiting for
  // a drive or for the next track.
  while (bytes >= FrameBytes) {
    void *data = nullptr;
    size_t n = bytes - bytes % FrameBytes;
    if (pa_stream_begin_write(stream, &data, &n) < 0 || !data) return;
    n -= n % FrameBytes;
    if (n == 0) {
      pa_stream_cancel_write(stream);
      return;
    }
    const size_t frames = n / FrameBytes;
    const size_t got = out->source_ ? out->source_->take(static_cast<int16_t *>(data), frames) : 0;
    if (got < frames)
      std::memset(static_cast<uint8_t *>(data) + got * FrameBytes, 0, (frames - got) * FrameBytes);
    out->idleFrames_ = got > 0 || (out->source_ && out->source_->active()) ? 0 : out->idleFrames_ + frames;
    if (pa_stream_write(stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    bytes -= n;
    // Nothing to play for a while (the disc is over): pause, so the sound
    // card can rest, until the next play.
    if (out->idleFrames_ > IdleFrames && !out->corked_) {
      pa_operation *o = pa_stream_cork(stream, 1, nullptr, nullptr);
      if (o) pa_operation_unref(o);
      out->corked_ = true;
      return;
    }
  }
}

bool PulseOutput::open(CdStream *source) {
  close();
  source_ = source;
  loop_ = pa_threaded_mainloop_new();
  if (!loop_) return false;
  pa_threaded_mainloop_set_name(loop_, "lv-cd-sound");
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Lumenveil");
  if (!context_) {
    close();
    return false;
  }
  pa_context_set_state_callback(context_, onContextState, this);
  // Never start a server of our own: no server means no sound.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(loop_) < 0) {
    close();
    return false;
  }
  pa_threaded_mainloop_lock(loop_);
  bool ok = false;
  for (;;) {
    const pa_context_state_t s = pa_context_get_state(context_);
    if (s == PA_CONTEXT_READY) {
      ok = true;
      break;
    }
    if (!PA_CONTEXT_IS_GOOD(s)) break;
    pa_threaded_mainloop_wait(loop_);
  }
  if (ok) {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = Rate;
    format.channels = 2;
    stream_ = pa_stream_new(context_, "CD audio", &format, nullptr);
    ok = stream_ != nullptr;
  }
  if (ok) {
    pa_stream_set_state_callback(stream_, onStreamState, this);
    pa_stream_set_write_callback(stream_, onWrite, this);
    pa_buffer_attr attr;
    std::memset(&attr, 0xFF, sizeof attr); // the server's choice for the rest
    pa_sample_spec sound{PA_SAMPLE_S16LE, Rate, 2};
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(TargetLatency, &sound));
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    ok = pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) == 0;
    while (ok) {
      const pa_stream_state_t s = pa_stream_get_state(stream_);
      if (s == PA_STREAM_READY) break;
      if (!PA_STREAM_IS_GOOD(s))
        ok = false;
      else
        pa_threaded_mainloop_wait(loop_);
    }
  }
  corked_ = true;
  pa_threaded_mainloop_unlock(loop_);
  if (!ok) close();
  return ok;
}

void PulseOutput::wait(pa_operation *operation) {
  if (!operation) return;
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
  pa_operation_unref(operation);
}

void PulseOutput::play() {
  if (!stream_) return;
  pa_threaded_mainloop_lock(loop_);
  if (corked_) {
    // What was queued before the pause is silence: the new track starts at once.
    wait(pa_stream_flush(stream_, onDone, this));
    wait(pa_stream_cork(stream_, 0, onDone, this));
    corked_ = false;
  }
  idleFrames_ = 0;
  pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::silence() {
  if (!stream_) return;
  pa_threaded_mainloop_lock(loop_);
  if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
    wait(pa_stream_cork(stream_, 1, onDone, this));
    wait(pa_stream_flush(stream_, onDone, this));
  }
  corked_ = true;
  pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::close() {
  if (loop_) {
    pa_threaded_mainloop_lock(loop_);
    if (stream_) {
      pa_stream_set_write_callback(stream_, nullptr, nullptr);
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
      stream_ = nullptr;
    }
    if (context_) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  } else if (context_) {
    pa_context_unref(context_);
    context_ = nullptr;
  }
  source_ = nullptr;
}
