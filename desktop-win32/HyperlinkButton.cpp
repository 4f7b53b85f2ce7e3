#include "HyperlinkButton.h"

#include <commctrl.h>

#include "platform/Win32Text.h"

namespace velmar {

namespace {

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

HyperlinkButton::HyperlinkButton(HWND button, Opener opener) : button_(button), opener_(std::move(opener)) {
  SetWindowSubclass(button_, &HyperlinkButton::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

HyperlinkButton::~HyperlinkButton() {
  if (IsWindow(button_)) RemoveWindowSubclass(button_, &HyperlinkButton::SubclassProc, kSubclassId);
  if (tip_) DestroyWindow(tip_);
  if (underlined_) DeleteObject(underlined_);
}

UINT HyperlinkButton::LinkClickedMessage() {
  static const UINT message = RegisterWindowMessageW(L"WM_LINK_CLICKED");
  return message;
}

std::wstring HyperlinkButton::Caption() const {
  wchar_t text[512] = {};
  GetWindowTextW(button_, text, static_cast<int>(std::size(text)));
  return text;
}

std::string HyperlinkButton::Target() const { return url_.empty() ? Narrow(Caption()) : url_; }

void HyperlinkButton::SetToolTip(const std::string& text) {
  const std::wstring tip = Widen(text.empty() ? Target() : text);
  if (!tip_) {
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, button_, nullptr, nullptr, nullptr);
    if (tip_) SendMessageW(tip_, TTM_ACTIVATE, FALSE, 0);
  }
  if (!tip_) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = button_;
  tool.uId = 1;
  tool.lpszText = const_cast<wchar_t*>(tip.c_str());
  if (!tip_has_tool_) {
    tool.uFlags = TTF_SUBCLASS;
    GetClientRect(button_, &tool.rect);
    tip_has_tool_ = SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
  } else {
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void HyperlinkButton::SizeToContent() {
  const std::wstring caption = Caption();
  HDC dc = GetDC(nullptr);
  SIZE size{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
  ReleaseDC(nullptr, dc);
  SetWindowPos(button_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (tip_ && tip_has_tool_) {
    // The tip covers the button's new size.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = button_;
    tool.uId = 1;
    GetClientRect(button_, &tool.rect);
    SendMessageW(tip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void HyperlinkButton::Click() {
  if (!IsWindowEnabled(button_)) return;
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (!opener_ || !opener_(Target())) {
    SendMessageW(GetParent(button_), LinkClickedMessage(), static_cast<WPARAM>(GetDlgCtrlID(button_)), 0);
  }
  visited_ = true;
  hovering_ = false;
  InvalidateRect(button_, nullptr, TRUE);
  SetCursor(previous);
}

void HyperlinkButton::Draw(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT area = item.rcItem;
  // The dialog's own background under the text.
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(button_, WM_GETFONT, 0, 0));
  if (!underlined_ && font) {
    LOGFONTW look{};
    GetObjectW(font, sizeof(look), &look);
    look.lfUnderline = TRUE;
    underlined_ = CreateFontIndirectW(&look);
  }
  COLORREF colour = visited_ ? kVisitedColour : kLinkColour;
  HFONT shown = font;
  if (item.itemState & ODS_DISABLED) {
    colour = GetSysColor(COLOR_GRAYTEXT);
  } else if (hovering_) {
    colour = GetSysColor(COLOR_HOTLIGHT);
    if (underlined_) shown = underlined_;
  }
  HGDIOBJ old = SelectObject(dc, shown ? shown : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  const std::wstring caption = Caption();
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &area, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
}

LRESULT HyperlinkButton::Handle(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, button_, 1};
        tracking_ = TrackMouseEvent(&track) != FALSE;
      }
      break;
    case WM_MOUSEHOVER:
      hovering_ = true;
      InvalidateRect(button_, nullptr, TRUE);
      if (tip_ && tip_has_tool_) SendMessageW(tip_, TTM_ACTIVATE, TRUE, 0);
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      hovering_ = false;
      InvalidateRect(button_, nullptr, TRUE);
      if (tip_ && tip_has_tool_) SendMessageW(tip_, TTM_ACTIVATE, FALSE, 0);
      return 0;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_GETDLGCODE:
      // Enter belongs to the link while it has the focus, not to the dialog's default button.
      if (lparam && reinterpret_cast<const MSG*>(lparam)->message == WM_KEYDOWN &&
          reinterpret_cast<const MSG*>(lparam)->wParam == VK_RETURN)
        return DLGC_WANTMESSAGE;
      break;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN || wparam == VK_SPACE) {
        key_down_ = true;
        return 0;
      }
      key_down_ = false;
      break;
    case WM_KEYUP:
      if (wparam == VK_SPACE) return 0;
      if (wparam == VK_RETURN && key_down_) {
        key_down_ = false;
        Click();
        return 0;
      }
      key_down_ = false;
      break;
    case WM_KILLFOCUS:
      InvalidateRect(button_, nullptr, TRUE);
      break;
    default:
      break;
  }
  handled = false;
  return 0;
}

LRESULT CALLBACK HyperlinkButton::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                               UINT_PTR /*id*/, DWORD_PTR data) {
  auto* self = reinterpret_cast<HyperlinkButton*>(data);
  bool handled = false;
  const LRESULT result = self->Handle(message, wparam, lparam, handled);
  if (handled) return result;
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace velmar
