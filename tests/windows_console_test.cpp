// Windows only: the console the plugin's coloured lines go to. Its test runs
// with a console for standard output (under wine: a terminal).
#include <gtest/gtest.h>
#include <spdlog/sinks/wincolor_sink.h>
#include <windows.h>

#include <memory>

#include "platform/platform.h"

namespace glyphwork {
namespace {

// A console starts with escape-sequence processing off, so a line's colours
// would show as "←[31m"; the plugin's console sink turns it on. A standard
// output that is no console keeps the plain sink.
TEST(WindowsConsoleTest, TheConsoleSinkTurnsOnEscapeSequencesOfAConsoleOnly) {
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) GTEST_SKIP() << "standard output is no console";
  ASSERT_TRUE(SetConsoleMode(console, mode & ~DWORD{ENABLE_VIRTUAL_TERMINAL_PROCESSING}));
  ASSERT_TRUE(GetConsoleMode(console, &mode));
  ASSERT_EQ(0u, mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);

  const auto on_console = platform::ConsoleSink();
  ASSERT_TRUE(GetConsoleMode(console, &mode));
  EXPECT_NE(0u, mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<spdlog::sinks::wincolor_stdout_sink_mt>(on_console));

  // A file in its place is no console.
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
  ASSERT_NE(0u, GetTempFileNameW(folder, L"gw", 0, file));
  const HANDLE plain = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, plain);
  SetStdHandle(STD_OUTPUT_HANDLE, plain);
  const auto on_file = platform::ConsoleSink();
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  CloseHandle(plain);
  EXPECT_EQ(nullptr, std::dynamic_pointer_cast<spdlog::sinks::wincolor_stdout_sink_mt>(on_file));
}

}  // namespace
}  // namespace glyphwork
