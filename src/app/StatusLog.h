#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace velmar {

class View;

// The main window's report: one text of lines that end in "\r\n". A progress line can replace
// itself: lastLength remembers how much the last append added, so ReplaceLastLine can cut it
// off again. Used on the window's thread only.
class StatusLog {
 public:
  using Listener = std::function<void(const std::string& text)>;

  StatusLog() = default;
  explicit StatusLog(Listener listener) : listener_(std::move(listener)) {}

  // Told the whole text after every change.
  void SetListener(Listener listener) { listener_ = std::move(listener); }
  // Shorthand for a listener that hands the text to the view's log field.
  void AttachTo(View& view);

  const std::string& text() const { return text_; }
  // Characters added by the last append; 0 after Clear.
  size_t lastLength() const { return last_length_; }

  void Clear();
  // Appends line and "\r\n".
  void AppendLine(std::string_view line);
  // Appends the string table's text of id.
  void AppendString(int id);
  // Cuts the last appended line off (when there is one to cut) and appends line in its place.
  void ReplaceLastLine(std::string_view line);

 private:
  void Changed();

  std::string text_;
  size_t last_length_ = 0;
  Listener listener_;
};

}  // namespace velmar
