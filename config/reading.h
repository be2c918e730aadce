// How every reader of the documents looks its keys up and walks its lists: the
// JSON library's value(key, default), get<T>() and iteration, with the same
// results, except that a value of the wrong type raises a DocumentError that
// names the file and the key's path instead of the library's type error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace glyphwork {

// A failure that names the file it is about, as shown to admins (relative to
// the host's current directory): what() is "FILE: TEXT".
class DocumentError : public std::runtime_error {
 public:
  DocumentError(const std::string& file, const std::string& text) : std::runtime_error(file + ": " + text) {}
};

// "a number", "an object", "a list", "null", ...
std::string TypeName(const nlohmann::json& value);

// A value's place in its file: the key's path ("" for the top level), built
// only when a wrong type is reported. For an element of a walked list it is
// the list's path with "[index]", for a member value of a walked object the
// object's path with ".key", for a single value walked as a list the list's
// own path.
class Place {
 public:
  Place(std::string_view file, std::string_view path) : file_(file), path_(path) {}
  Place(std::string_view file, std::string_view path, const nlohmann::json* walked, std::size_t index)
      : file_(file), path_(path), walked_(walked), index_(index) {}

  std::string_view file() const { return file_; }
  std::string Path() const;
  // The place of `member` inside the object here.
  std::string Member(std::string_view member) const;

 private:
  std::string_view file_;
  std::string_view path_;
  const nlohmann::json* walked_ = nullptr;
  std::size_t index_ = 0;
};

// Throws DocumentError "FILE: PATH: expected EXPECTED, found TYPE"; at the top
// level "FILE: expected EXPECTED at the top level, found TYPE".
[[noreturn]] void ThrowWrongType(std::string_view file, const std::string& path, const char* expected,
                                 const nlohmann::json& found);

// object.value(member, default) for the three kinds of default the readers
// use. Throw DocumentError where the library would throw its type error: the
// object is not an object, or the member is present with another type.
const nlohmann::json* FindMember(const nlohmann::json& object, const Place& place, const char* member);
std::string StringMember(const nlohmann::json& object, const Place& place, const char* member);
bool BoolMember(const nlohmann::json& object, const Place& place, const char* member, bool fallback);
// value.get<std::string>().
std::string AsString(const nlohmann::json& value, const Place& place);

// Calls fn(element, place) for every element of `value` in the library's
// iteration order: a list's elements, an object's member values in key
// order, nothing for null, any other value itself once. `value` may be null
// for an absent key.
template <typename Fn>
void ForEachElement(const nlohmann::json* value, std::string_view file, std::string_view path, Fn&& fn) {
  if (value == nullptr) return;
  std::size_t index = 0;
  for (auto it = value->cbegin(); it != value->cend(); ++it, ++index) fn(*it, Place(file, path, value, index));
}

// The file of the i-th pack, for messages: its name in `pack_files`, or
// "EmojiMap[i]" when the packs did not come from files.
std::string PackFileOf(const std::vector<std::string>& pack_files, std::size_t index);

// Where an emoji comes from: the index of its pack in EmojiMap, or kRemap.
inline constexpr std::size_t kRemap = SIZE_MAX;

// Calls fn(name, object_path, origin) for every mapped emoji in the order
// chat applies them and the textures load: each pack's EmojiArray, packs in
// EmojiMap order, then the RemapEmoji entries of `config`. A pack emoji's
// object path is EmojiPath + name + "." + name, a remapped one's its Path.
// on_pack(pack, place, index) runs for each pack before its emoji, for what
// else a reader looks up in it. `pack_files[i]` names the file of the i-th
// pack. Throws DocumentError at the first wrong type, after fn has seen every
// emoji before it.
template <typename Fn, typename OnPack>
void ForEachEmoji(const nlohmann::json& config, const nlohmann::json& packs, const std::vector<std::string>& pack_files,
                  std::string_view config_file, Fn&& fn, OnPack&& on_pack) {
  std::size_t pack_index = 0;
  ForEachElement(FindMember(packs, Place("", ""), "EmojiMap"), "", "EmojiMap",
                 [&](const nlohmann::json& pack, const Place&) {
                   const std::size_t index = pack_index++;
                   const std::string file = PackFileOf(pack_files, index);
                   const Place top(file, "");
                   on_pack(pack, top, index);
                   const std::string prefix = StringMember(pack, top, "EmojiPath");
                   ForEachElement(FindMember(pack, top, "EmojiArray"), file, "EmojiArray",
                                  [&](const nlohmann::json& entry, const Place& place) {
                                    const std::string name = AsString(entry, place);
                                    fn(name, prefix + name + "." + name, index);
                                  });
                 });
  ForEachElement(FindMember(config, Place(config_file, ""), "RemapEmoji"), config_file, "RemapEmoji",
                 [&](const nlohmann::json& remap, const Place& place) {
                   std::string path = StringMember(remap, place, "Path");
                   const std::string name = StringMember(remap, place, "Name");
                   fn(name, std::move(path), kRemap);
                 });
}

template <typename Fn>
void ForEachEmoji(const nlohmann::json& config, const nlohmann::json& packs, const std::vector<std::string>& pack_files,
                  std::string_view config_file, Fn&& fn) {
  ForEachEmoji(config, packs, pack_files, config_file, fn, [](const nlohmann::json&, const Place&, std::size_t) {});
}

// A list of strings as readers walk one (a single string is a list of one,
// null an empty list). Throws DocumentError for an element of another type.
std::vector<std::string> StringList(const nlohmann::json* value, std::string_view file, std::string_view path);

}  // namespace glyphwork
