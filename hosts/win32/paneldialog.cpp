#include "hosts/win32/paneldialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "controlpanel/layout.h"
#include "hosts/win32/picture.h"

namespace {

const char *const DialogClass = "TMainForm";
const char *const PageClass = "TTabSheet";
const char *const TelaClass = "TPanel";
constexpr int FirstControlId = 1000;

Win32ControlPanel *owner(HWND window) {
  // The pages and the preview panel are children of the dialog.
  while (window) {
    if (auto *panel = reinterpret_cast<Win32ControlPanel *>(GetWindowLongPtrA(window, GWLP_USERDATA)))
      return panel;
    window = GetParent(window);
  }
  return nullptr;
}

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (Win32ControlPanel *panel = owner(window)) return panel->handle(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

void registerClasses(HINSTANCE instance) {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX common{sizeof common, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = panelWindowProc;
  c.hInstance = instance;
  c.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  c.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  c.lpszClassName = DialogClass;
  RegisterClassExA(&c);
  c.hIcon = nullptr;
  c.lpszClassName = PageClass;
  RegisterClassExA(&c);
  c.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  c.lpszClassName = TelaClass;
  RegisterClassExA(&c);
}

} // namespace

Win32ControlPanel::Win32ControlPanel(HINSTANCE instance, std::function<void()> closed, HWND owner)
    : instance_(instance), closed_(std::move(closed)) {
  registerClasses(instance_);
  font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Shell Dlg");
  silver_ = CreateSolidBrush(RGB(192, 192, 192));
  // A dialog border with the system menu and a minimise box; no resizing.
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT frame{0, 0, MainFormClientWidth, MainFormClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  window_ = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, DialogClass, MainFormCaption, style,
                            CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            owner, nullptr, instance_, this);
  tabs_ = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                          MainFormClientWidth, MainFormClientHeight, window_, nullptr, instance_, nullptr);
  SendMessageA(tabs_, TCM_SETPADDING, 0, MAKELPARAM(3, 3));
  for (int i = 0; i < PageCount; ++i) {
    TCITEMA tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<char *>(PageCaptions[i]);
    SendMessageA(tabs_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tab));
  }
  // All seven tabs in one row the dialog's width: the captions' face
  // shrinks until the row fits.
  for (int pixels = 11; pixels >= 7; --pixels) {
    HFONT face =
        CreateFontA(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Shell Dlg");
    SendMessageA(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
    if (tabFont_) DeleteObject(tabFont_);
    tabFont_ = face;
    RECT last{};
    SendMessageA(tabs_, TCM_GETITEMRECT, PageCount - 1, reinterpret_cast<LPARAM>(&last));
    if (last.right <= MainFormClientWidth - 2) break;
  }
  RECT area{0, 0, MainFormClientWidth, MainFormClientHeight};
  SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (int i = 0; i < PageCount; ++i)
    pages_[i] = CreateWindowExA(WS_EX_CONTROLPARENT, PageClass, PageCaptions[i], WS_CHILD | WS_CLIPSIBLINGS,
                                area.left, area.top, area.right - area.left, area.bottom - area.top, window_,
                                nullptr, instance_, nullptr);
  // The pages lie over the page control's frame.
  SetWindowPos(tabs_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // The preview panel exists before the form, which is told its window.
  tela_ =
      CreateWindowExA(0, TelaClass, "", WS_CHILD, 0, 0, 1, 1, pages_[AboutPage], nullptr, instance_, nullptr);
  form_ = std::make_unique<MainForm>(reinterpret_cast<WindowHandle>(tela_));
  build();
  form_->setChangeListener([this] { sync(); });
}

Win32ControlPanel::~Win32ControlPanel() {
  if (form_) form_->setChangeListener(nullptr);
  closed_ = nullptr;
  close();
  if (window_) DestroyWindow(window_);
  for (Item &item : items_)
    if (item.picture) DeleteObject(item.picture);
  if (font_) DeleteObject(font_);
  if (tabFont_) DeleteObject(tabFont_);
  if (silver_) DeleteObject(silver_);
}

void Win32ControlPanel::build() {
  struct Origin {
    int x, y;
  };
  std::map<std::string, Origin> origins; // each control's top left on its page
  for (std::size_t i = 0; i < ControlPlaceCount; ++i) {
    const ControlPlace &place = ControlPlaces[i];
    Control *c = form_->find(place.name);
    if (!c || place.page < 0 || place.page >= PageCount) continue;
    int x = place.x, y = place.y;
    if (place.parent) {
      auto it = origins.find(place.parent);
      if (it != origins.end()) {
        x += it->second.x;
        y += it->second.y;
      }
    }
    origins[place.name] = {x, y};
    const int id = FirstControlId + static_cast<int>(items_.size());
    HWND parent = pages_[place.page];
    const char *cls = "STATIC";
    DWORD style = WS_CHILD;
    DWORD exStyle = 0;
    int height = place.h;
    switch (c->kind) {
    case ControlKind::GroupBox:
      cls = "BUTTON";
      style |= BS_GROUPBOX;
      break;
    case ControlKind::Panel: style |= SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN; break;
    case ControlKind::Image: style |= SS_OWNERDRAW; break;
    case ControlKind::Label: style |= SS_LEFT; break;
    case ControlKind::CheckBox:
      cls = "BUTTON";
      style |= BS_CHECKBOX | WS_TABSTOP;
      break;
    case ControlKind::RadioButton:
      cls = "BUTTON";
      style |= BS_RADIOBUTTON | WS_TABSTOP;
      break;
    case ControlKind::Button:
      cls = "BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::TrackBar:
      cls = TRACKBAR_CLASSA;
      style |= TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP;
      break;
    case ControlKind::ScrollBar:
      cls = "SCROLLBAR";
      style |= SBS_VERT;
      break;
    case ControlKind::ComboBox:
      cls = "COMBOBOX";
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      height += 200; // the list below it
      break;
    case ControlKind::Edit:
      cls = "EDIT";
      style |= ES_READONLY | ES_RIGHT;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    }
    HWND w = nullptr;
    if (c == &form_->Tela) {
      w = tela_;
      SetWindowPos(w, nullptr, x, y, place.w, place.h, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      w = CreateWindowExA(exStyle, cls, "", style, x, y, place.w, height, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    }
    if (!w) continue;
    SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (c->kind == ControlKind::TrackBar) {
      SendMessageA(w, TBM_SETRANGEMIN, FALSE, c->minimum);
      SendMessageA(w, TBM_SETRANGEMAX, FALSE, c->maximum);
      SendMessageA(w, TBM_SETTICFREQ, std::max(1, c->tick), 0);
      SendMessageA(w, TBM_SETPAGESIZE, 0, std::max(1, c->tick));
    } else if (c->kind == ControlKind::ScrollBar) {
      SetScrollRange(w, SB_CTL, c->minimum, c->maximum, FALSE);
    }
    Item item{c, w, std::string(), {}};
    item.parent = place.parent ? form_->find(place.parent) : nullptr;
    if (c->kind == ControlKind::Image)
      item.picture = loadPicture(c == &form_->Image1 ? Image1ResourceId : Image2ResourceId, item.pictureWidth,
                                 item.pictureHeight);
    items_.push_back(std::move(item));
    byName_[c->name] = w;
  }
  // The controls' hints, shown when the mouse rests on them.
  tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                          window_, nullptr, instance_, nullptr);
  for (const Item &item : items_) {
    if (!tips_ || item.control->hint.empty()) continue;
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(item.window);
    tool.uId = reinterpret_cast<UINT_PTR>(item.window);
    tool.lpszText = const_cast<char *>(item.control->hint.c_str());
    SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  // Frames lie under what they hold.
  for (const Item &item : items_)
    if (item.control->kind == ControlKind::GroupBox)
      SetWindowPos(item.window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND Win32ControlPanel::control(const std::string &name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

Win32ControlPanel::Item *Win32ControlPanel::itemOf(HWND window) {
  for (Item &item : items_)
    if (item.window == window) return &item;
  return nullptr;
}

Win32ControlPanel::Item *Win32ControlPanel::itemOf(const Control *control) {
  for (Item &item : items_)
    if (item.control == control) return &item;
  return nullptr;
}

// Shows every control as the form holds it.
void Win32ControlPanel::sync() {
  if (!window_) return;
  syncing_ = true;
  for (Item &item : items_) {
    const Control &c = *item.control;
    HWND w = item.window;
    switch (c.kind) {
    case ControlKind::TrackBar:
      if (SendMessageA(w, TBM_GETPOS, 0, 0) != c.position) SendMessageA(w, TBM_SETPOS, TRUE, c.position);
      break;
    case ControlKind::ScrollBar:
      if (GetScrollPos(w, SB_CTL) != c.position) SetScrollPos(w, SB_CTL, c.position, TRUE);
      break;
    case ControlKind::ComboBox:
      if (item.shownItems != c.items) {
        SendMessageA(w, CB_RESETCONTENT, 0, 0);
        for (const std::string &s : c.items)
          SendMessageA(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
        item.shownItems = c.items;
      }
      if (SendMessageA(w, CB_GETCURSEL, 0, 0) != c.itemIndex) SendMessageA(w, CB_SETCURSEL, c.itemIndex, 0);
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      SendMessageA(w, BM_SETCHECK, c.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    default: break;
    }
    if (c.kind != ControlKind::TrackBar && c.kind != ControlKind::ScrollBar &&
        c.kind != ControlKind::ComboBox && c.kind != ControlKind::Image && w != tela_ &&
        item.shownText != c.caption) {
      // The captions are UTF-8 ("Disc image…"): shown as wide text.
      const int n = MultiByteToWideChar(CP_UTF8, 0, c.caption.c_str(), -1, nullptr, 0);
      std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
      if (n > 0) MultiByteToWideChar(CP_UTF8, 0, c.caption.c_str(), -1, wide.data(), n);
      SetWindowTextW(w, wide.c_str());
      item.shownText = c.caption;
    }
    if (bool(IsWindowEnabled(w)) != c.enabled) EnableWindow(w, c.enabled ? TRUE : FALSE);
    bool visible = c.visible;
    for (const Item *up = &item; visible && up->parent; up = itemOf(up->parent)) {
      visible = up->parent->visible;
      if (!itemOf(up->parent)) break;
    }
    if (bool(GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE) != visible)
      ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
  }
  const int page = form_->activePage();
  if (SendMessageA(tabs_, TCM_GETCURSEL, 0, 0) != page) SendMessageA(tabs_, TCM_SETCURSEL, page, 0);
  for (int i = 0; i < PageCount; ++i) {
    const bool shown = i == page;
    if (bool(GetWindowLongA(pages_[i], GWL_STYLE) & WS_VISIBLE) != shown)
      ShowWindow(pages_[i], shown ? SW_SHOWNA : SW_HIDE);
  }
  syncing_ = false;
}

void Win32ControlPanel::open() {
  form_->formCreate();
  sync();
  RECT frame, work;
  GetWindowRect(window_, &frame);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - w) / 2,
               work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
}

void Win32ControlPanel::close() {
  if (closing_) return;
  closing_ = true;
  if (window_) ShowWindow(window_, SW_HIDE);
  if (form_) form_->formClose(); // saves every page's settings
  if (closed_) {
    auto closed = std::move(closed_);
    closed_ = nullptr;
    closed();
  }
}

bool Win32ControlPanel::previewShown() const {
  return window_ && IsWindowVisible(window_) && !IsIconic(window_) && form_ &&
         form_->activePage() == AboutPage && form_->Tela.visible;
}

void Win32ControlPanel::showFrame(const uint16_t *pixels, int width, int height) {
  if (!tela_ || !pixels || width <= 0 || height <= 0) return;
  frame_.assign(pixels, pixels + static_cast<size_t>(width) * height);
  frameWidth_ = width;
  frameHeight_ = height;
  if (!IsWindowVisible(tela_)) return;
  HDC dc = GetDC(tela_);
  paintTela(dc);
  ReleaseDC(tela_, dc);
}

void Win32ControlPanel::paintTela(HDC dc) {
  RECT r;
  GetClientRect(tela_, &r);
  // Black with a single grey border; the latest frame inside the border.
  HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
  FrameRect(dc, &r, grey);
  DeleteObject(grey);
  if (frame_.empty()) return;
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = frameWidth_;
  info.header.biHeight = -frameHeight_; // top row first
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.header.biXPelsPerMeter = info.header.biYPelsPerMeter = 2834;
  info.masks[0] = 0xF800;
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  IntersectClipRect(dc, 1, 1, r.right - 1, r.bottom - 1);
  if (GetDeviceCaps(dc, RASTERCAPS) & RC_DIBTODEV)
    SetDIBitsToDevice(dc, 1, 1, frameWidth_, frameHeight_, 0, 0, 0, frameHeight_, frame_.data(),
                      reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
}

bool Win32ControlPanel::preTranslate(MSG &message) {
  if (!window_ || !IsWindowVisible(window_)) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE &&
      (message.hwnd == window_ || IsChild(window_, message.hwnd))) {
    close();
    return true;
  }
  return IsDialogMessageA(window_, &message) != FALSE;
}

LRESULT Win32ControlPanel::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CLOSE:
    if (window == window_) {
      close();
      return 0;
    }
    break;
  case WM_DESTROY:
    // Destroyed with the window it belongs to (the settings sheet closed
    // first): it saves and ends the run as if closed.
    if (window == window_) close();
    break;
  case WM_PAINT:
    if (window == tela_) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      paintTela(dc);
      EndPaint(window, &ps);
      return 0;
    }
    break;
  case WM_NOTIFY: {
    const auto *note = reinterpret_cast<const NMHDR *>(lParam);
    if (note->hwndFrom == tabs_ && note->code == TCN_SELCHANGE && !syncing_) {
      form_->userSelectPage(static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0)));
      return 0;
    }
    break;
  }
  case WM_COMMAND:
    if (Item *item = itemOf(reinterpret_cast<HWND>(lParam)); item && !syncing_) {
      const int code = HIWORD(wParam);
      const ControlKind kind = item->control->kind;
      if (code == BN_CLICKED &&
          (kind == ControlKind::CheckBox || kind == ControlKind::RadioButton || kind == ControlKind::Button))
        form_->userClick(*item->control);
      else if (code == CBN_SELCHANGE && kind == ControlKind::ComboBox)
        form_->userPick(*item->control, static_cast<int>(SendMessageA(item->window, CB_GETCURSEL, 0, 0)));
      return 0;
    }
    if (window == window_ && LOWORD(wParam) == IDCANCEL) { // Escape through the dialog keys
      close();
      return 0;
    }
    break;
  case WM_HSCROLL:
    if (Item *item = itemOf(reinterpret_cast<HWND>(lParam));
        item && !syncing_ && item->control->kind == ControlKind::TrackBar) {
      const int position = static_cast<int>(SendMessageA(item->window, TBM_GETPOS, 0, 0));
      if (position != item->control->position) form_->userMove(*item->control, position);
      return 0;
    }
    break;
  case WM_VSCROLL:
    if (Item *item = itemOf(reinterpret_cast<HWND>(lParam));
        item && !syncing_ && item->control->kind == ControlKind::ScrollBar) {
      const Control &c = *item->control;
      int position = c.position;
      switch (LOWORD(wParam)) {
      case SB_LINEUP: position -= 1; break;
      case SB_LINEDOWN: position += 1; break;
      case SB_PAGEUP: position -= 10; break;
      case SB_PAGEDOWN: position += 10; break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: position = static_cast<short>(HIWORD(wParam)); break;
      case SB_TOP: position = c.minimum; break;
      case SB_BOTTOM: position = c.maximum; break;
      default: return 0;
      }
      position = std::clamp(position, c.minimum, c.maximum);
      if (position != c.position) form_->userMove(*item->control, position);
      return 0;
    }
    break;
  case WM_DRAWITEM: {
    const auto *draw = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
    if (Item *item = itemOf(draw->hwndItem); item && item->control->kind == ControlKind::Image) {
      // The picture centred in its place, blended over the page by its alpha;
      // greyed while the control is disabled.
      const RECT &r = draw->rcItem;
      FillRect(draw->hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
      if (item->picture) {
        HDC memory = CreateCompatibleDC(draw->hDC);
        HGDIOBJ old = SelectObject(memory, item->picture);
        const int x = r.left + (r.right - r.left - item->pictureWidth) / 2;
        const int y = r.top + (r.bottom - r.top - item->pictureHeight) / 2;
        BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(item->control->enabled ? 255 : 110),
                            AC_SRC_ALPHA};
        AlphaBlend(draw->hDC, x, y, item->pictureWidth, item->pictureHeight, memory, 0, 0, item->pictureWidth,
                   item->pictureHeight, blend);
        SelectObject(memory, old);
        DeleteDC(memory);
      }
      return TRUE;
    }
    break;
  }
  case WM_CTLCOLORSTATIC:
    if (Item *item = itemOf(reinterpret_cast<HWND>(lParam));
        item && item->control->kind == ControlKind::Panel) {
      // A slider's read-out: a small silver panel.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, RGB(192, 192, 192));
      SetTextColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(silver_);
    }
    break;
  default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
