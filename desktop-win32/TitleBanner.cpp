#include "TitleBanner.h"

namespace velmar {

namespace {

// The banner's own window's DPI (per-monitor aware), 96 where the system cannot tell.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT dpi = get ? get(window) : 0;
  return dpi ? dpi : 96;
}

int Channel(int from, int to, int band) { return from + (to - from) / (TitleBanner::kBands - 1) * band; }

}  // namespace

void TitleBanner::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &TitleBanner::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
}

TitleBanner* TitleBanner::Of(HWND window) {
  return reinterpret_cast<TitleBanner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

COLORREF TitleBanner::BandColour(COLORREF from, COLORREF to, int band) {
  return RGB(Channel(GetRValue(from), GetRValue(to), band), Channel(GetGValue(from), GetGValue(to), band),
             Channel(GetBValue(from), GetBValue(to), band));
}

void TitleBanner::SetText(const std::wstring& text) {
  // Through the window's own text, so that the banner reads back like any other control.
  SetWindowTextW(window_, text.c_str());
}

void TitleBanner::SetColours(COLORREF from, COLORREF to, COLORREF text) {
  from_ = from;
  to_ = to;
  text_colour_ = text;
  InvalidateRect(window_, nullptr, FALSE);
}

void TitleBanner::Draw(HDC dc, const RECT& area, HFONT font) const {
  HBRUSH caption = GetSysColorBrush(COLOR_ACTIVECAPTION);
  FillRect(dc, &area, caption);
  const int width = area.right - area.left;
  const int band_width = width / kBands;
  for (int band = 0; band < kBands; ++band) {
    RECT piece = {area.left + band * band_width, area.top,
                  band == kBands - 1 ? area.right : area.left + (band + 1) * band_width, area.bottom};
    if (piece.right <= piece.left) continue;
    HBRUSH brush = CreateSolidBrush(BandColour(from_, to_, band));
    FillRect(dc, &piece, brush);
    DeleteObject(brush);
  }
  HGDIOBJ old_font = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX;
  RECT shadow = area;
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &shadow, flags);
  // The light text's box reaches 4 further left and up: its centre, and so the text, stands
  // 2 up and left of the shadow.
  RECT light = {area.left - 4, area.top - 4, area.right, area.bottom};
  SetTextColor(dc, text_colour_);
  DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &light, flags);
  SelectObject(dc, old_font);
}

void TitleBanner::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT area;
  GetClientRect(window_, &area);
  const int width = area.right > 0 ? area.right : 1;
  const int height = area.bottom > 0 ? area.bottom : 1;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP image = CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ old = SelectObject(memory, image);
  Draw(memory, area, font_);
  BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(image);
  DeleteDC(memory);
  EndPaint(window_, &ps);
}

LRESULT CALLBACK TitleBanner::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  TitleBanner* self = Of(window);
  switch (message) {
    case WM_NCCREATE: {
      self = new TitleBanner;
      self->window_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      break;
    }
    case WM_SETFONT: {
      // The dialog's font at the banner's height (24 at 96 DPI, scaled with the monitor),
      // made once per font the dialog hands over.
      LOGFONTW look{};
      GetObjectW(reinterpret_cast<HFONT>(wparam) ? reinterpret_cast<HFONT>(wparam)
                                                  : GetStockObject(DEFAULT_GUI_FONT),
                 sizeof(look), &look);
      look.lfHeight = -MulDiv(kTextHeight, static_cast<int>(WindowDpi(window)), 96);
      look.lfWidth = 0;
      if (self->font_) DeleteObject(self->font_);
      self->font_ = CreateFontIndirectW(&look);
      if (lparam) InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case WM_SETTEXT:
      self->text_ = lparam ? reinterpret_cast<const wchar_t*>(lparam) : L"";
      InvalidateRect(window, nullptr, FALSE);
      break;  // the window keeps its own copy too (WM_GETTEXT)
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      self->Paint();
      return 0;
    case WM_NCDESTROY:
      if (self) {
        if (self->font_) DeleteObject(self->font_);
        delete self;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace velmar
