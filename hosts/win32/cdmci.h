// The CD-audio device on Windows: the system's "cdaudio" device driven
// through MCI (mciSendCommand). Positions are in tracks, minutes, seconds and
// frames; a play asks for a completion notice, which MCI posts to a window
// of the thread that started the play, so the device's completion runs there
// when the message loop dispatches it.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <functional>

// From now on CD devices are the system's MCI CD-audio devices.
void useMciForCd();
// Closes every CD device and forgets the maker (the end of a run).
void finishMciCd();

// The window a device's MM_MCINOTIFY messages come to: a message-only window
// of the thread that makes it. Each play that asked for a notice ends with
// one `completed` call, made from the window's message handler: for a play
// heard to its end, aborted or failed; a play that a newer one replaced
// (superseded) calls nothing, nor do notices for other devices or notices
// that come when no play is expected.
class CdNoticeWindow {
public:
  explicit CdNoticeWindow(std::function<void()> completed);
  ~CdNoticeWindow();
  CdNoticeWindow(const CdNoticeWindow &) = delete;
  CdNoticeWindow &operator=(const CdNoticeWindow &) = delete;

  HWND window() const { return window_; }
  // A play with a notice was started on `device`.
  void expect(MCIDEVICEID device);
  // The expected play ended without its notice (stopped, or the device
  // closed): true when one was expected; its notice is no longer awaited.
  bool forget();
  bool expecting() const { return expected_ != 0; }

private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void notice(WPARAM status, LPARAM device);

  std::function<void()> completed_;
  HWND window_ = nullptr;
  MCIDEVICEID expected_ = 0;
};
