#pragma once
#include <windows.h>

#include <string>

namespace velmar {

// The coloured banner line at the top of the main window, a window class of its own
// ("VelmarTitleBanner", used by the dialog template): a gradient in 60 bands with the text
// centred over a black shadow, drawn off screen and copied in one step so that the blinking
// warning never flickers.
class TitleBanner {
 public:
  static constexpr int kBands = 60;
  static constexpr int kTextHeight = 24;
  static constexpr wchar_t kClassName[] = L"VelmarTitleBanner";

  // Registers the window class; once per process, before the dialog is made.
  static void Register(HINSTANCE instance);
  // The banner behind a window of the class.
  static TitleBanner* Of(HWND window);

  void SetText(const std::wstring& text);
  void SetColours(COLORREF from, COLORREF to, COLORREF text);
  const std::wstring& Text() const { return text_; }

  // The colour of band `band` of a gradient: whole steps of (to - from) / 59, truncated, so the
  // bands keep equal steps even when the last one falls a little short of `to`.
  static COLORREF BandColour(COLORREF from, COLORREF to, int band);
  // Draws the banner into `dc` over `area` (what WM_PAINT copies to the screen).
  void Draw(HDC dc, const RECT& area, HFONT font) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::wstring text_;
  COLORREF from_ = RGB(0, 255, 0);
  COLORREF to_ = RGB(50, 50, 50);
  COLORREF text_colour_ = RGB(255, 255, 255);
};

}  // namespace velmar
