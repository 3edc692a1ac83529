#include "platform/messagebox.h"

#include <cstdio>

namespace {
MessageBoxSink *Sink = nullptr;
}

void setMessageBoxSink(MessageBoxSink *sink) { Sink = sink; }

int messageBox(const char *text, const char *caption, unsigned type) {
  if (Sink) return Sink->show(text, caption, type);
  if (caption && *caption)
    std::fprintf(stderr, "lumenveil: %s: %s\n", caption, text ? text : "");
  else
    std::fprintf(stderr, "lumenveil: %s\n", text ? text : "");
  return (type & LV_MB_YESNO) ? LV_IDYES : LV_IDOK;
}

void beep(int freq, int ms) {
  if (Sink) Sink->beep(freq, ms);
}
