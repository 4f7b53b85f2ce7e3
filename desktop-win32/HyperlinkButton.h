#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace velmar {

// A push button of the dialog (BS_OWNERDRAW) that looks and acts as a text link: link colour,
// underlined while the mouse hovers, visited colour after a click, the hand cursor, a tool tip
// with the address. Enter on the focused button opens the address, space does nothing. When
// opening fails, the parent receives the registered message "WM_LINK_CLICKED" with the
// button's id. The dialog hands it WM_DRAWITEM and the button's clicks.
class HyperlinkButton {
 public:
  using Opener = std::function<bool(const std::string& address)>;

  static constexpr COLORREF kLinkColour = RGB(0, 0, 208);
  static constexpr COLORREF kVisitedColour = RGB(128, 0, 128);

  // Takes over the button; the object lives as long as the dialog.
  HyperlinkButton(HWND button, Opener opener);
  ~HyperlinkButton();
  HyperlinkButton(const HyperlinkButton&) = delete;
  HyperlinkButton& operator=(const HyperlinkButton&) = delete;

  static UINT LinkClickedMessage();

  void SetUrl(const std::string& url) { url_ = url; }
  // An empty text shows the address (or the caption when there is none).
  void SetToolTip(const std::string& text);
  // Fits the button to its caption, measured in the default font of a fresh device context.
  void SizeToContent();

  // What the button opens: the address, else its caption.
  std::string Target() const;
  void Click();
  void Draw(const DRAWITEMSTRUCT& item);

  bool Visited() const { return visited_; }
  bool Hovering() const { return hovering_; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  std::wstring Caption() const;

  HWND button_;
  Opener opener_;
  std::string url_;
  HWND tip_ = nullptr;
  bool tip_has_tool_ = false;
  HFONT underlined_ = nullptr;
  bool hovering_ = false;
  bool tracking_ = false;
  bool visited_ = false;
  bool key_down_ = false;
};

}  // namespace velmar
