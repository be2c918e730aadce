#include "config/json_errors.h"

#include <fstream>
#include <iterator>

namespace glyphwork {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

TextPosition PositionOf(std::string_view text, std::size_t offset) {
  TextPosition position{1, 1};
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++position.line;
      position.column = 1;
    } else {
      ++position.column;
    }
  }
  return position;
}

// When the parse error at `error_byte` (the library's 1-based count of bytes
// read) is a "}" or "]" right after a comma, the comma's position.
std::optional<TextPosition> TrailingCommaBefore(std::string_view text, std::size_t error_byte) {
  if (error_byte == 0 || error_byte > text.size()) return std::nullopt;
  const std::size_t closing = error_byte - 1;
  if (text[closing] != '}' && text[closing] != ']') return std::nullopt;
  std::size_t before = closing;
  while (before > 0 && IsBlank(text[before - 1])) --before;
  // The parse stopped at the closing bracket, so the character before it is
  // structural: a comma there is the comma after the last member.
  if (before == 0 || text[before - 1] != ',') return std::nullopt;
  return PositionOf(text, before - 1);
}

}  // namespace

std::string ReadJsonText(const std::filesystem::path& path) {
  try {
    // Text mode, as the parse reads: on Windows the library's byte count
    // skips every CR of a CRLF.
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (...) {
    return {};
  }
}

std::string JsonErrorText(const std::filesystem::path& path, const nlohmann::json::exception& error) {
  if (dynamic_cast<const nlohmann::json::parse_error*>(&error) == nullptr) return error.what();
  return JsonErrorTextIn(ReadJsonText(path), error);
}

std::string JsonErrorTextIn(std::string_view text, const nlohmann::json::exception& error) {
  try {
    const auto* parse_error = dynamic_cast<const nlohmann::json::parse_error*>(&error);
    if (parse_error == nullptr) return error.what();
    const auto comma = TrailingCommaBefore(text, parse_error->byte);
    if (!comma) return error.what();
    return "[json.exception.parse_error." + std::to_string(parse_error->id) + "] parse error at line " +
           std::to_string(comma->line) + ", column " + std::to_string(comma->column) +
           ": trailing comma: JSON allows no comma after the last member of an object or list";
  } catch (...) {
    return error.what();
  }
}

}  // namespace glyphwork
