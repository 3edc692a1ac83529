// The control panel's window on Windows: a native dialog drawn from the
// form's controls (controlpanel/mainform.h) with the system's own controls,
// laid out as controlpanel/layout.h says. The form holds every control's
// state and runs the handlers; this window shows that state and passes the
// user's actions on. Closing it (its close box, Escape, or another copy's
// close request) saves the settings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controlpanel/mainform.h"

class Win32ControlPanel {
public:
  // closed: called once when the dialog has closed and saved; owner: the
  // window the dialog belongs to (null: none).
  Win32ControlPanel(HINSTANCE instance, std::function<void()> closed, HWND owner = nullptr);
  ~Win32ControlPanel();
  Win32ControlPanel(const Win32ControlPanel &) = delete;
  Win32ControlPanel &operator=(const Win32ControlPanel &) = delete;

  MainForm &form() { return *form_; }
  HWND window() const { return window_; }
  HWND tela() const { return tela_; }
  // The control's window, by its form name (null: none).
  HWND control(const std::string &name) const;

  // The form's open sequence, then the dialog shows centred on the screen.
  void open();
  // Closes as the close box does (saving), unless already closed.
  void close();
  bool isOpen() const { return form_ && form_->isOpen(); }
  // Whether the preview shows (the About page with the preview panel, not minimised).
  bool previewShown() const;

  // Shows a top-down RGB 565 frame at the preview panel's top left.
  void showFrame(const uint16_t *pixels, int width, int height);

  // Keyboard handling of the dialog for a message taken from the queue
  // (moving between controls, Escape); true when it was used.
  bool preTranslate(MSG &message);

  // The window procedures' work.
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
  struct Item {
    Control *control;
    HWND window;
    std::string shownText;
    std::vector<std::string> shownItems;
    const Control *parent = nullptr; // the group it sits in: hidden with it
    HBITMAP picture = nullptr;       // an image's picture
    int pictureWidth = 0, pictureHeight = 0;
  };
  void build();
  void sync();
  void paintTela(HDC dc);
  Item *itemOf(HWND window);
  Item *itemOf(const Control *control);

  HINSTANCE instance_;
  std::function<void()> closed_;
  HWND window_ = nullptr;
  HWND tabs_ = nullptr;
  HWND pages_[PageCount] = {};
  HWND tela_ = nullptr;
  HWND tips_ = nullptr;
  HFONT font_ = nullptr;
  HFONT tabFont_ = nullptr;
  HBRUSH silver_ = nullptr;
  std::unique_ptr<MainForm> form_;
  std::vector<Item> items_;
  std::map<std::string, HWND> byName_;
  std::vector<uint16_t> frame_;
  int frameWidth_ = 0, frameHeight_ = 0;
  bool syncing_ = false;
  bool closing_ = false;
};
