#include "ConsoleView.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>

#include "app/ControlIds.h"
#include "app/SettingsDialog.h"
#include "app/Strings.h"

namespace velmar::cli {

namespace {

constexpr int kBarWidth = 20;
const char* const kBarNames[2] = {"Download", "Transfer"};

int BarIndex(int control) {
  if (control == control::kDownloadBar) return 0;
  if (control == control::kTransferBar) return 1;
  return -1;
}

std::string Bar(int position) {
  const int filled = position * kBarWidth / 100;
  return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
}

}  // namespace

ConsoleView::ConsoleView(std::ostream& log, std::istream& in, AnswerPolicy policy, bool terminal)
    : log_(log), in_(in), policy_(policy), terminal_(terminal) {}

void ConsoleView::ForceAnswer(const std::string& text_start, bool answer) {
  forced_.push_back({text_start, answer});
}

std::vector<std::string> ConsoleView::SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void ConsoleView::SetText(int, const std::string&) {}

void ConsoleView::SetStatusLog(const std::string& text) {
  // The window rewrites the whole log on every change; show only what is new: the lines from
  // the first one that differs from what was shown (a replaced last line shows again).
  std::vector<std::string> lines = SplitLines(text);
  size_t same = 0;
  while (same < lines.size() && same < shown_lines_.size() && lines[same] == shown_lines_[same])
    ++same;
  for (size_t i = same; i < lines.size(); ++i) PrintLine(lines[i]);
  shown_lines_ = std::move(lines);
}

void ConsoleView::FinishOutput() {
  if (progress_drawn_) {
    log_ << "\n";
    log_.flush();
    progress_drawn_ = false;
  }
}

void ConsoleView::PrintLine(const std::string& line) {
  if (progress_drawn_) log_ << "\r\033[K";
  log_ << line << "\n";
  printed_.push_back(line);
  progress_drawn_ = false;
  if (terminal_ && (position_[0] > 0 || position_[1] > 0)) DrawProgress();
  log_.flush();
}

void ConsoleView::DrawProgress() {
  log_ << "\r\033[K" << kBarNames[0] << " " << Bar(position_[0]) << " " << position_[0] << " %  "
       << kBarNames[1] << " " << Bar(position_[1]) << " " << position_[1] << " %";
  log_.flush();
  progress_drawn_ = true;
}

void ConsoleView::SetProgress(int control, int position) {
  const int bar = BarIndex(control);
  if (bar < 0) return;
  position = std::clamp(position, 0, 100);
  if (position == position_[bar]) return;
  position_[bar] = position;
  if (terminal_) {
    DrawProgress();
    return;
  }
  // On a pipe: a line at each new tenth reached, none for the reset to zero.
  const int tenth = position / 10;
  if (position == 0) {
    last_tenth_[bar] = 0;
  } else if (tenth > last_tenth_[bar]) {
    last_tenth_[bar] = tenth;
    log_ << kBarNames[bar] << " " << position << " %\n";
    log_.flush();
  }
}

bool ConsoleView::AskYesNo(const std::string& text, MessageIcon) {
  FinishOutput();
  bool answer = false;
  bool decided = false;
  for (const auto& [start, forced] : forced_) {
    if (text.compare(0, start.size(), start) == 0) {
      answer = forced;
      decided = true;
      break;
    }
  }
  if (!decided && policy_ != AnswerPolicy::Ask) {
    answer = policy_ == AnswerPolicy::Yes;
    decided = true;
  }
  if (decided) {
    log_ << text << " [y/N] " << (answer ? "yes" : "no") << "\n";
  } else {
    log_ << text << " [y/N] ";
    log_.flush();
    std::string reply;
    if (std::getline(in_, reply)) {
      reply.erase(
          std::remove_if(reply.begin(), reply.end(), [](char c) { return c == ' ' || c == '\r'; }),
          reply.end());
      std::transform(reply.begin(), reply.end(), reply.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      // The question may be in the user's language; so may the answer.
      static const char* const kYes[] = {"y", "yes", "j", "ja", "o", "oui", "はい"};
      answer = std::find(std::begin(kYes), std::end(kYes), reply) != std::end(kYes);
    } else {
      log_ << "\n";  // no terminal input left: No
    }
  }
  log_.flush();
  questions_.push_back({text, answer});
  return answer;
}

void ConsoleView::ShowMessage(const std::string& text, MessageIcon) {
  FinishOutput();
  // The end of an update is both a log line and a box; say it once.
  if (printed_.empty() || printed_.back() != text) {
    log_ << text << "\n";
    log_.flush();
  }
  boxes_.push_back(text);
}

void ConsoleView::ShowBootModeCaution() {
  FinishOutput();
  log_ << LoadString(kStrBootModeTitle) << "\n" << LoadString(kStrBootModeSteps) << "\n";
  log_.flush();
}

std::optional<ProxyLogin> ConsoleView::AskProxyLogin() {
  // The login of the environment, given once: asked again, the proxy refused it.
  const char* given = std::getenv(kProxyLoginVariable);
  const char* colon = given != nullptr ? std::strchr(given, ':') : nullptr;
  if (colon != nullptr && !proxy_login_given_) {
    proxy_login_given_ = true;
    return ProxyLogin{std::string(given, colon), std::string(colon + 1)};
  }
  proxy_login_missing_ = true;
  FinishOutput();
  log_ << (proxy_login_given_ ? "The proxy refused the login of " : "The proxy asks for a login: give it in ")
       << kProxyLoginVariable << " as USER:PASSWORD and try again.\n";
  log_.flush();
  return std::nullopt;
}

void ConsoleView::RunSettingsDialog(SettingsDialog& dialog) { dialog.Cancel(); }

void ConsoleView::ShowSensorReport(const std::string& path) {
  FinishOutput();
  log_ << "Sensor report: " << path << "\n";
  log_.flush();
  sensor_reports_.push_back(path);
}

bool ConsoleView::OpenAddress(const std::string& address) {
  if (!accept_hand_off_) return false;
  hand_offs_.push_back(address);
  return true;
}

bool ConsoleView::BoxShown(const std::string& text) const {
  return std::find(boxes_.begin(), boxes_.end(), text) != boxes_.end();
}

}  // namespace velmar::cli
