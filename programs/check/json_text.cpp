#include "programs/check/json_text.h"

#include <map>
#include <utility>

namespace glyphwork::check {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A recursive walk of well-formed JSON text; on anything else it stops and
// keeps what it found so far.
class Mapper {
 public:
  explicit Mapper(std::string_view text) : text_(text) {}

  JsonLayout Run() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") Advance(3);
    SkipBlanks();
    if (!Value("")) return std::move(layout_);
    SkipBlanks();
    if (at_ < text_.size()) layout_.trailing_text = Here();
    return std::move(layout_);
  }

 private:
  TextPosition Here() const { return {line_, column_}; }

  void Advance(std::size_t count) {
    for (; count > 0 && at_ < text_.size(); --count, ++at_) {
      if (text_[at_] == '\n') {
        ++line_;
        column_ = 1;
      } else {
        ++column_;
      }
    }
  }

  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) Advance(1);
  }

  bool Accept(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    Advance(1);
    return true;
  }

  static std::string Join(const std::string& path, const std::string& member) {
    return path.empty() ? member : path + "." + member;
  }

  // The string's content as written, escapes kept: keys are compared as the
  // bytes between the quotes, which is exact for every key without escapes.
  bool String(std::string* out) {
    if (!Accept('"')) return false;
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '"') Advance(text_[at_] == '\\' ? 2 : 1);
    if (at_ >= text_.size()) return false;
    if (out != nullptr) out->assign(text_.substr(start, at_ - start));
    Advance(1);
    return true;
  }

  bool Scalar() {
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsBlank(text_[at_]) && text_[at_] != ',' && text_[at_] != '}' && text_[at_] != ']') {
      Advance(1);
    }
    return at_ > start;
  }

  void Forget(const std::string& path) {
    // What stood under the earlier of two same keys no longer exists.
    for (auto it = layout_.values.lower_bound(path); it != layout_.values.end();) {
      const std::string& key = it->first;
      if (key.compare(0, path.size(), path) != 0) break;
      const bool under = key.size() == path.size() || key[path.size()] == '.' || key[path.size()] == '[';
      it = under ? layout_.values.erase(it) : std::next(it);
    }
  }

  bool Value(const std::string& path) {
    layout_.values[path] = Here();
    if (at_ >= text_.size()) return false;
    switch (text_[at_]) {
      case '{':
        return Object(path);
      case '[':
        return List(path);
      case '"':
        return String(nullptr);
      default:
        return Scalar();
    }
  }

  bool Object(const std::string& path) {
    Advance(1);
    std::map<std::string, TextPosition> seen;
    SkipBlanks();
    if (Accept('}')) return true;
    for (;;) {
      SkipBlanks();
      const TextPosition key_at = Here();
      std::string key;
      if (!String(&key)) return false;
      SkipBlanks();
      if (!Accept(':')) return false;
      SkipBlanks();
      const std::string member = Join(path, key);
      if (const auto [it, added] = seen.emplace(key, key_at); !added) {
        layout_.duplicates.push_back({member, it->second, key_at});
        it->second = key_at;
        Forget(member);
      }
      if (!Value(member)) return false;
      SkipBlanks();
      if (Accept('}')) return true;
      if (!Accept(',')) return false;
    }
  }

  bool List(const std::string& path) {
    Advance(1);
    SkipBlanks();
    if (Accept(']')) return true;
    for (std::size_t index = 0;; ++index) {
      SkipBlanks();
      if (!Value(path + "[" + std::to_string(index) + "]")) return false;
      SkipBlanks();
      if (Accept(']')) return true;
      if (!Accept(',')) return false;
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  int column_ = 1;
  JsonLayout layout_;
};

}  // namespace

JsonLayout MapJsonText(std::string_view text) { return Mapper(text).Run(); }

}  // namespace glyphwork::check
