#include "hosts/win32/cdmci.h"

#include <memory>
#include <string>
#include <utility>

#include "cdaudio/mediaplayer.h"

namespace {

const char *const NoticeWindowClass = "LumenveilCdNotice";

class MciCdDevice : public CdDevice {
public:
  explicit MciCdDevice(std::function<void()> completed)
      : completed_(std::move(completed)), notices_(completed_) {}
  ~MciCdDevice() override { close(); }

  bool open(const std::string &name, bool shareable) override {
    close();
    if (!notices_.window()) return false;
    MCI_OPEN_PARMSA parms{};
    parms.lpstrDeviceType = "cdaudio";
    DWORD flags = MCI_OPEN_TYPE | MCI_WAIT;
    // The drive ("D:"); without one the system's first CD drive.
    if (!name.empty()) {
      parms.lpstrElementName = name.c_str();
      flags |= MCI_OPEN_ELEMENT;
    }
    if (shareable) flags |= MCI_OPEN_SHAREABLE;
    if (mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&parms)) != 0) return false;
    id_ = parms.wDeviceID;
    MCI_SET_PARMS format{};
    format.dwTimeFormat = MCI_FORMAT_TMSF;
    // A drive without a disc opens, but has nothing to play.
    if (send(MCI_SET, MCI_SET_TIME_FORMAT, &format) != 0 || !status(MCI_STATUS_MEDIA_PRESENT) ||
        tracks() < 1) {
      close();
      return false;
    }
    return true;
  }

  bool rewind() override {
    if (!id_) return false;
    MCI_SEEK_PARMS parms{};
    return send(MCI_SEEK, MCI_SEEK_TO_START, &parms) == 0;
  }

  int position() override { return static_cast<int>(MCI_TMSF_TRACK(status(MCI_STATUS_POSITION))); }

  int tracks() override { return static_cast<int>(status(MCI_STATUS_NUMBER_OF_TRACKS)); }

  bool isAudioTrack(int track) override {
    if (!id_ || track < 1 || track > tracks()) return false;
    MCI_STATUS_PARMS parms{};
    parms.dwItem = MCI_CDA_STATUS_TYPE_TRACK;
    parms.dwTrack = static_cast<DWORD>(track);
    return send(MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK, &parms) == 0 &&
           parms.dwReturn == MCI_CDA_TRACK_AUDIO;
  }

  bool play(int from, int to) override {
    const int n = tracks();
    if (!id_ || from < 1 || from > n || (to != 0 && (to <= from || to > n))) return false;
    MCI_PLAY_PARMS parms{};
    parms.dwCallback = reinterpret_cast<DWORD_PTR>(notices_.window());
    parms.dwFrom = MCI_MAKE_TMSF(from, 0, 0, 0);
    DWORD flags = MCI_NOTIFY | MCI_FROM;
    if (to != 0) {
      parms.dwTo = MCI_MAKE_TMSF(to, 0, 0, 0);
      flags |= MCI_TO;
    }
    // Awaited before the command: a short play may end before it returns.
    notices_.expect(id_);
    if (mciSendCommandA(id_, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&parms)) != 0) {
      notices_.forget();
      return false;
    }
    return true;
  }

  bool stop() override {
    if (!id_) return false;
    MCI_GENERIC_PARMS parms{};
    const bool ok = send(MCI_STOP, 0, &parms) == 0;
    // The play ends here, and says so at once; the driver's own "aborted"
    // notice, when it comes, finds nothing awaited.
    if (notices_.forget()) completed_();
    return ok;
  }

  bool close() override {
    if (!id_) return true;
    notices_.forget();
    MCI_GENERIC_PARMS parms{};
    const bool ok = send(MCI_CLOSE, 0, &parms) == 0;
    id_ = 0;
    return ok;
  }

private:
  // A command that waits for its end.
  template <typename Parms> MCIERROR send(UINT command, DWORD flags, Parms *parms) {
    return mciSendCommandA(id_, command, flags | MCI_WAIT, reinterpret_cast<DWORD_PTR>(parms));
  }
  // An item of MCI_STATUS, 0 when it cannot be had.
  DWORD_PTR status(DWORD item) {
    if (!id_) return 0;
    MCI_STATUS_PARMS parms{};
    parms.dwItem = item;
    return send(MCI_STATUS, MCI_STATUS_ITEM, &parms) == 0 ? parms.dwReturn : 0;
  }

  std::function<void()> completed_;
  CdNoticeWindow notices_;
  MCIDEVICEID id_ = 0;
};

} // namespace

CdNoticeWindow::CdNoticeWindow(std::function<void()> completed) : completed_(std::move(completed)) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = procedure;
  cls.hInstance = instance;
  cls.lpszClassName = NoticeWindowClass;
  RegisterClassExA(&cls); // fails harmlessly once the class is there
  window_ =
      CreateWindowExA(0, NoticeWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CdNoticeWindow::~CdNoticeWindow() {
  // Notices still posted to it go with the window.
  if (window_) DestroyWindow(window_);
}

void CdNoticeWindow::expect(MCIDEVICEID device) { expected_ = device; }

bool CdNoticeWindow::forget() {
  const bool was = expected_ != 0;
  expected_ = 0;
  return was;
}

void CdNoticeWindow::notice(WPARAM status, LPARAM device) {
  if (expected_ == 0 || static_cast<MCIDEVICEID>(device) != expected_) return;
  // A newer play took this one's place: that one brings its own notice.
  if (status == MCI_NOTIFY_SUPERSEDED) return;
  expected_ = 0;
  if (completed_) completed_();
}

LRESULT CALLBACK CdNoticeWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_MCINOTIFY) {
    auto *self = reinterpret_cast<CdNoticeWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self) self->notice(wParam, lParam);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void useMciForCd() {
  setCdDeviceMaker([](std::function<void()> completed) -> std::unique_ptr<CdDevice> {
    return std::make_unique<MciCdDevice>(std::move(completed));
  });
}

void finishMciCd() {
  closeAllCdDevices();
  setCdDeviceMaker(nullptr);
}
