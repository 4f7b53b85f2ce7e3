#include "app/StatusLog.h"

#include "app/Strings.h"
#include "app/View.h"

namespace velmar {

namespace {
constexpr std::string_view kLineEnd = "\r\n";
}  // namespace

void StatusLog::AttachTo(View& view) {
  SetListener([&view](const std::string& text) { view.SetStatusLog(text); });
}

void StatusLog::Clear() {
  text_.clear();
  last_length_ = 0;
  Changed();
}

void StatusLog::AppendLine(std::string_view line) {
  text_.append(line);
  text_.append(kLineEnd);
  last_length_ = line.size() + kLineEnd.size();
  Changed();
}

void StatusLog::AppendString(int id) { AppendLine(LoadString(id)); }

void StatusLog::ReplaceLastLine(std::string_view line) {
  // The text may have been cleared or rebuilt since the last append; never cut beyond it.
  if (last_length_ != 0 && last_length_ <= text_.size()) text_.resize(text_.size() - last_length_);
  AppendLine(line);
}

void StatusLog::Changed() {
  if (listener_) listener_(text_);
}

}  // namespace velmar
