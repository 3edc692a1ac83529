// Message boxes and the beep: what the user is told. A windowed host shows
// boxes; a headless host writes them to the standard error stream.
#pragma once

constexpr unsigned LV_MB_OK = 0x0;
constexpr unsigned LV_MB_OKCANCEL = 0x1;
constexpr unsigned LV_MB_YESNO = 0x4;
constexpr unsigned LV_MB_ICONERROR = 0x10;
constexpr int LV_IDOK = 1;
constexpr int LV_IDCANCEL = 2;
constexpr int LV_IDYES = 6;
constexpr int LV_IDNO = 7;

// Shows text under caption; returns the button pressed (LV_IDOK when there is no one to ask).
int messageBox(const char *text, const char *caption, unsigned type = LV_MB_OK);

// A tone of freq Hz for ms milliseconds (or the nearest the host can do).
void beep(int freq, int ms);

// The host's implementation; the default writes to the standard error stream.
struct MessageBoxSink {
  virtual ~MessageBoxSink() = default;
  virtual int show(const char *text, const char *caption, unsigned type) = 0;
  virtual void beep(int freq, int ms) = 0;
};
void setMessageBoxSink(MessageBoxSink *sink);
