#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace velmar {

class SettingsDialog;

enum class MessageIcon { None, Information, Warning, Error, Stop };

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// What the title banner shows: a gradient from `start` to `end` with centred text.
struct BannerLook {
  std::string text;
  Rgb start;
  Rgb end;
  Rgb text_colour;
  bool operator==(const BannerLook&) const = default;
};

struct ProxyLogin {
  std::string login;
  std::string password;
};

// The screen as the window logic sees it, addressed by control id (see ControlIds.h).
// Questions and message boxes are modal: they return the user's answer, and a desktop view
// keeps dispatching events meanwhile. Everything is called on the loop's thread.
class View {
 public:
  virtual ~View() = default;

  virtual void SetText(int control, const std::string& text) = 0;
  virtual void SetProgress(int control, int position) = 0;  // 0..100
  virtual void SetEnabled(int control, bool enabled) = 0;
  virtual void SetBanner(const BannerLook& look) = 0;
  // The whole status log; lines end in "\r\n".
  virtual void SetStatusLog(const std::string& text) = 0;
  virtual void SelectFirstTab() = 0;

  // Shows the window (also from the tray) or hides it into the tray.
  virtual void ShowWindow(bool visible) = 0;

  // Yes/No question; true only for Yes.
  virtual bool AskYesNo(const std::string& text, MessageIcon icon) = 0;
  // A box with an OK button.
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // The boot-mode caution box shown before updating an R710 tool.
  virtual void ShowBootModeCaution() = 0;
  // The proxy login dialog, opened empty; nothing when the user cancelled.
  virtual std::optional<ProxyLogin> AskProxyLogin() = 0;
  // Runs the settings dialog modally; the dialog's logic records how it ended.
  virtual void RunSettingsDialog(SettingsDialog& dialog) = 0;
  // Shows the sensor report file, closing the one shown before.
  virtual void ShowSensorReport(const std::string& path) = 0;
  // Opens an address with the desktop's default action.
  // False when the desktop could not open it.
  virtual bool OpenAddress(const std::string& address) = 0;
  // A refused action (closing while an update runs).
  virtual void Beep() = 0;
  // A record was added to the update history, or a kept report went out.
  virtual void HistoryChanged() {}
};

}  // namespace velmar
