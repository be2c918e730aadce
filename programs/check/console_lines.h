// The plugin's console lines, taken as the text it logs: while a
// ConsoleLines lives, the console logger the plugin takes (registered under
// its name) keeps every line's message instead of printing it. This header
// names no type of the logging library, so that files formatting with another
// fmt can include it.
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
