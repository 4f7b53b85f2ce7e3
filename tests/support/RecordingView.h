#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingsDialog.h"
#include "app/View.h"

namespace velmar::testing {

// A view that keeps what the window showed and answers its questions from a script.
// Everything runs on the loop's thread, like a real view.
class RecordingView : public View {
 public:
  struct Box {
    std::string text;
    MessageIcon icon;
  };

  // Answers by the start of the question's text; unscripted questions get `default_answer`.
  std::vector<std::pair<std::string, bool>> answers;
  bool default_answer = false;
  std::optional<ProxyLogin> proxy_login;
  std::function<void(SettingsDialog&)> settings_script;
  // Runs while a question is open, as the nested loop of a real box would run events.
  std::function<void(const std::string&)> while_asking;
  bool open_succeeds = true;

  std::map<int, std::string> texts;
  std::map<int, int> progress;
  std::map<int, bool> enabled;
  std::vector<BannerLook> banners;
  std::string status_log;
  std::vector<std::string> questions;
  std::vector<Box> boxes;
  std::vector<std::string> opened;
  bool visible = false;
  int beeps = 0;
  int max_progress[2] = {0, 0};  // the highest download and transfer positions seen

  void SetText(int control, const std::string& text) override { texts[control] = text; }
  void SetProgress(int control, int position) override {
    progress[control] = position;
    if (control == 1000 && position > max_progress[0]) max_progress[0] = position;
    if (control == 1001 && position > max_progress[1]) max_progress[1] = position;
  }
  void SetEnabled(int control, bool on) override { enabled[control] = on; }
  void SetBanner(const BannerLook& look) override { banners.push_back(look); }
  void SetStatusLog(const std::string& text) override { status_log = text; }
  void SelectFirstTab() override {}
  void ShowWindow(bool show) override { visible = show; }
  bool AskYesNo(const std::string& text, MessageIcon) override {
    questions.push_back(text);
    if (while_asking) while_asking(text);
    for (const auto& [start, answer] : answers)
      if (text.compare(0, start.size(), start) == 0) return answer;
    return default_answer;
  }
  void ShowMessage(const std::string& text, MessageIcon icon) override { boxes.push_back({text, icon}); }
  void ShowBootModeCaution() override {}
  std::optional<ProxyLogin> AskProxyLogin() override { return proxy_login; }
  void RunSettingsDialog(SettingsDialog& dialog) override {
    if (settings_script) {
      settings_script(dialog);
    } else {
      dialog.Cancel();
    }
  }
  void ShowSensorReport(const std::string&) override {}
  bool OpenAddress(const std::string& address) override {
    opened.push_back(address);
    return open_succeeds;
  }
  void Beep() override { ++beeps; }

  bool LogHas(const std::string& line) const {
    return status_log.find(line + "\r\n") != std::string::npos;
  }
  bool BoxShown(const std::string& text) const {
    for (const Box& box : boxes)
      if (box.text == text) return true;
    return false;
  }
};

}  // namespace velmar::testing
