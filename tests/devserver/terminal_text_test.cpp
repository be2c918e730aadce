// What the dev server prints of text from clients and players: one line,
// nothing a terminal acts on, everything else as it came.
#include "programs/devserver/terminal_text.h"

#include <gtest/gtest.h>

namespace devserver {
namespace {

TEST(TerminalTextTest, ControlsAndBytesThatAreNotUtf8BecomeVisibleEscapes) {
  struct Case {
    std::string text;
    std::string printed;
  };
  for (const Case& c : {
           Case{"hi :smile: ünï 😀 \\n stays", "hi :smile: ünï 😀 \\n stays"},
           Case{"a\nb\rc\td", "a\\nb\\rc\\td"},
           Case{"\x1b[2J\x1b[H\x1b]0;title\x07", "\\x1b[2J\\x1b[H\\x1b]0;title\\x07"},
           Case{std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
           // C1 controls, which some terminals take as ESC sequences.
           Case{"\xc2\x9b"
                "31m\xc2\x85\xc2\xa0",
                "\\u009b31m\\u0085\xc2\xa0"},
           // Not UTF-8: a stray continuation, a lead without its end, an
           // overlong form, a surrogate, past U+10FFFF, leads that never start one.
           Case{"\x80x\xe2\x82", "\\x80x\\xe2\\x82"},
           Case{"\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},
           Case{"\xf4\x90\x80\x80\xf8\x88\x80\x80\x80\xfb\x8f\xbf\xbf",
                "\\xf4\\x90\\x80\\x80\\xf8\\x88\\x80\\x80\\x80\\xfb\\x8f\\xbf\\xbf"},
           Case{"\xf4\x8f\xbf\xbf\xef\xbf\xbd", "\xf4\x8f\xbf\xbf\xef\xbf\xbd"},
       }) {
    EXPECT_EQ(c.printed, Visible(c.text)) << c.printed;
  }
}

}  // namespace
}  // namespace devserver
