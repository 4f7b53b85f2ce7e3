#pragma once
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "app/View.h"

namespace velmar::cli {

// The window's screen on a terminal or a pipe: new status-log lines as they appear, the two
// progress bars (drawn in place on a terminal, else a line at every tenth), questions answered
// by policy or asked on the terminal, message boxes as lines. It remembers the boxes and the
// answers so that a command can tell how the window's work ended.
class ConsoleView : public View {
 public:
  // USER:PASSWORD for a proxy that asks for a login (the system's proxy on Windows has no
  // place for one the program could read).
  static constexpr const char* kProxyLoginVariable = "VELMAR_PROXY_LOGIN";

  struct Question {
    std::string text;
    bool answer;
  };

  // `log` receives everything shown; `in` is read only when the policy is Ask.
  ConsoleView(std::ostream& log, std::istream& in, AnswerPolicy policy, bool terminal);

  // Overrides the policy for questions that start with one of these texts (the command's own
  // choices, such as declining the offer in an options-only update).
  void ForceAnswer(const std::string& text_start, bool answer);

  void SetText(int control, const std::string& text) override;
  void SetProgress(int control, int position) override;
  void SetEnabled(int, bool) override {}
  void SetBanner(const BannerLook&) override {}
  void SetStatusLog(const std::string& text) override;
  void SelectFirstTab() override {}
  void ShowWindow(bool) override {}
  bool AskYesNo(const std::string& text, MessageIcon icon) override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void ShowBootModeCaution() override;
  std::optional<ProxyLogin> AskProxyLogin() override;
  bool ProxyLoginMissing() const { return proxy_login_missing_; }
  void RunSettingsDialog(SettingsDialog& dialog) override;
  void ShowSensorReport(const std::string& path) override;
  bool OpenAddress(const std::string& address) override;
  void Beep() override {}

  // The desktop program hands a downloaded new version to the shell; a terminal only says
  // where the file is. Accepted, OpenAddress records the address and reports it opened;
  // otherwise it refuses, as a desktop without a default action would.
  void AcceptHandOff(bool accept) { accept_hand_off_ = accept; }
  const std::vector<std::string>& HandOffs() const { return hand_offs_; }

  bool BoxShown(const std::string& text) const;
  const std::vector<std::string>& Boxes() const { return boxes_; }
  const std::vector<Question>& Questions() const { return questions_; }
  const std::vector<std::string>& SensorReports() const { return sensor_reports_; }
  // Every log line printed so far, in order.
  const std::vector<std::string>& PrintedLines() const { return printed_; }
  // Ends a progress line drawn in place, so that what follows starts on a line of its own.
  void FinishOutput();

  // Splits a status-log text into its lines ("\r\n" ends each; a last unended piece counts).
  static std::vector<std::string> SplitLines(const std::string& text);

 private:
  void PrintLine(const std::string& line);
  void DrawProgress();

  std::ostream& log_;
  bool proxy_login_given_ = false;
  bool proxy_login_missing_ = false;
  std::istream& in_;
  AnswerPolicy policy_;
  bool terminal_;
  std::vector<std::pair<std::string, bool>> forced_;

  std::vector<std::string> shown_lines_;  // the log's lines as last shown
  std::vector<std::string> printed_;
  std::vector<std::string> boxes_;
  std::vector<Question> questions_;
  std::vector<std::string> sensor_reports_;
  bool accept_hand_off_ = false;
  std::vector<std::string> hand_offs_;
  int position_[2] = {0, 0};    // download, transfer
  int last_tenth_[2] = {0, 0};  // the last tenth printed on a pipe
  bool progress_drawn_ = false;
};

}  // namespace velmar::cli
