// The plugin's console lines, taken as the text it logs: while a
// ConsoleLines lives, the console logger the plugin takes (registered under
// its name) keeps every line's message instead of printing it. One
// implementation per series of the logging library (console_lines_spdlog1.cpp,
// console_lines_spdlog0.cpp); this header names no type of it, so that files
// formatting with another fmt can include it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace glyphwork::check {

class ConsoleLines {
 public:
  ConsoleLines();
  ~ConsoleLines();
  ConsoleLines(const ConsoleLines&) = delete;
  ConsoleLines& operator=(const ConsoleLines&) = delete;

  // The lines logged since the last Take, oldest first.
  std::vector<std::string> Take();

 private:
  struct Sink;
  std::shared_ptr<Sink> sink_;
};

}  // namespace glyphwork::check
