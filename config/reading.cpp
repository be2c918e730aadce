#include "config/reading.h"

#include <iterator>

namespace glyphwork {

using nlohmann::json;

std::string TypeName(const json& value) {
  switch (value.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return "a list";
    case json::value_t::string:
      return "a string";
    case json::value_t::boolean:
      return "a boolean";
    case json::value_t::binary:
      return "binary data";
    case json::value_t::discarded:
      return "nothing";
    default:
      return "a number";
  }
}

std::string Place::Path() const {
  std::string path(path_);
  if (walked_ == nullptr) return path;
  if (walked_->is_array()) return path + "[" + std::to_string(index_) + "]";
  if (walked_->is_object()) {
    auto it = walked_->cbegin();
    std::advance(it, static_cast<std::ptrdiff_t>(index_));
    return path.empty() ? it.key() : path + "." + it.key();
  }
  return path;
}

std::string Place::Member(std::string_view member) const {
  std::string path = Path();
  return path.empty() ? std::string(member) : path + "." + std::string(member);
}

void ThrowWrongType(std::string_view file, const std::string& path, const char* expected, const json& found) {
  if (path.empty()) {
    throw DocumentError(std::string(file),
                        std::string("expected ") + expected + " at the top level, found " + TypeName(found));
  }
  throw DocumentError(std::string(file), path + ": expected " + expected + ", found " + TypeName(found));
}

const json* FindMember(const json& object, const Place& place, const char* member) {
  if (!object.is_object()) ThrowWrongType(place.file(), place.Path(), "an object", object);
  const auto it = object.find(member);
  return it == object.end() ? nullptr : &*it;
}

std::string StringMember(const json& object, const Place& place, const char* member) {
  const json* value = FindMember(object, place, member);
  if (value == nullptr) return {};
  if (!value->is_string()) ThrowWrongType(place.file(), place.Member(member), "a string", *value);
  return value->get_ref<const std::string&>();
}

bool BoolMember(const json& object, const Place& place, const char* member, bool fallback) {
  const json* value = FindMember(object, place, member);
  if (value == nullptr) return fallback;
  if (!value->is_boolean()) ThrowWrongType(place.file(), place.Member(member), "a boolean", *value);
  return value->get<bool>();
}

std::string AsString(const json& value, const Place& place) {
  if (!value.is_string()) ThrowWrongType(place.file(), place.Path(), "a string", value);
  return value.get_ref<const std::string&>();
}

std::vector<std::string> StringList(const json* value, std::string_view file, std::string_view path) {
  std::vector<std::string> list;
  ForEachElement(value, file, path,
                 [&](const json& element, const Place& place) { list.push_back(AsString(element, place)); });
  return list;
}

std::string PackFileOf(const std::vector<std::string>& pack_files, std::size_t index) {
  return index < pack_files.size() ? pack_files[index] : "EmojiMap[" + std::to_string(index) + "]";
}

}  // namespace glyphwork
