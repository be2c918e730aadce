// Captures what the plugin writes on the server console, in whichever module
// its console logger lives: one implementation per platform.
#pragma once

#include <memory>
#include <string>

namespace glyphwork::testing {

class ConsoleCapture {
 public:
  ConsoleCapture();  // captures from now on
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  // Call before every load of the plugin: a load after an unload must be
  // captured too.
  void Rearm();
  // The console text written since the last call.
  std::string Take();

  // Whether the plugin and the test program share one logging library, and so
  // its registry of loggers (not where each module has its own copy).
  static bool SharesLoggingRegistry();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace glyphwork::testing
