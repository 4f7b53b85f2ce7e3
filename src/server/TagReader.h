#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Finds values in the server's tagged replies: the text between "<tag>" and "</tag>".
// No attributes, entities or nesting; the first opening and the first closing tag of the whole
// text decide, wherever they stand.
class TagReader {
 public:
  // Empties value and fills it with the element's value. Returns the index just after the
  // closing tag, or -1 when there is no element (empty text, a tag missing, or the first
  // closing tag not after the first opening tag). A value wrapped in "<![CDATA[...]]>" loses
  // the first 9 and the last 3 characters (the last three are not checked); any other value
  // that begins with "<" loses its first and its last character.
  static long ReadTag(std::string_view text, std::string& value, std::string_view tag);
};

// The walk over repeated elements of a list reply. Each element's fields are looked up in
// the whole remaining text, which starts at the element and runs to the end of the reply; after
// an element, everything up to its closing tag is dropped. Searches made at one place of the
// text are remembered while they stay ahead of it, so a long reply costs one pass per tag.
class TagWalk {
 public:
  explicit TagWalk(std::string_view text) : text_(text) {}

  // Reads the next element of this tag: true when there is one; the text then still starts
  // where it started, so that the element's fields can be read with ReadField.
  bool NextElement(std::string_view element_tag);
  // ReadTag on the remaining text.
  long ReadField(std::string& value, std::string_view tag);
  // Drops everything up to the end of the element last found.
  void DropElement();
  bool Finished() const { return start_ >= text_.size(); }

 private:
  friend class TagReader;
  struct Search {
    std::string pattern;
    size_t searched_from;
    size_t found;  // npos when the pattern does not occur from searched_from on
  };

  // The first occurrence of pattern at or after the current start.
  size_t Find(const std::string& pattern);
  long ReadTagHere(std::string& value, std::string_view tag);

  std::string_view text_;
  size_t start_ = 0;
  size_t element_end_ = 0;
  std::vector<Search> searches_;
};

}  // namespace velmar
