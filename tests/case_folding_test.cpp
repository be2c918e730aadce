// The emoji list's case folding against Unicode's own data (Debian's
// unicode-data): every code point folds as CaseFolding.txt says, whatever
// the table's runs make of it.
#include "commands/case_folding.h"

#include <API/ARK/Ark.h>
#include <gmock/gmock.h>

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace glyphwork::testing {
namespace {

// Linux only: wchar_t holds a code point.
std::string Utf8(const std::vector<char32_t>& codes) {
  return AsaApi::Tools::Utf8Encode(std::wstring(codes.begin(), codes.end()));
}

TEST(CaseFoldingTest, EveryCodePointFoldsAsCaseFoldingTxtSaysAndOtherBytesStay) {
  std::ifstream file(GLYPHWORK_CASE_FOLDING_TXT);
  ASSERT_TRUE(file) << GLYPHWORK_CASE_FOLDING_TXT;
  std::map<char32_t, std::vector<char32_t>> folding;  // statuses C and F: full case folding
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string code, status, mapping;
    std::getline(fields, code, ';');
    std::getline(fields, status, ';');
    std::getline(fields, mapping, ';');
    if (status != " C" && status != " F") continue;
    std::istringstream codes(mapping);
    std::vector<char32_t>& folded = folding[char32_t(std::stoul(code, nullptr, 16))];
    for (std::string hex; codes >> hex;) folded.push_back(char32_t(std::stoul(hex, nullptr, 16)));
  }
  ASSERT_GT(folding.size(), 1400u);
  int wrong = 0;
  for (char32_t code = 0; code <= 0x10FFFF && wrong < 10; ++code) {
    if (code >= 0xD800 && code < 0xE000) continue;
    const auto it = folding.find(code);
    const std::string expected = Utf8(it == folding.end() ? std::vector<char32_t>{code} : it->second);
    if (FoldCase(Utf8({code})) != expected) {
      ++wrong;
      ADD_FAILURE() << "U+" << std::hex << uint32_t(code);
    }
  }
  // In a longer text too, and what is not UTF-8 stays byte for byte: cut
  // short, a surrogate, past U+10FFFF, overlong, a stray continuation byte.
  EXPECT_EQ("été ss→ss: strasse σοφοσ 𐐨", FoldCase("ÉTÉ ß→SS: STRAßE ΣΟΦΟς 𐐀"));
  for (const std::string bad : {"\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC0\xAF", "\x80", "\xFF", "\xE6\x97"}) {
    EXPECT_EQ("a" + bad + "é" + bad, FoldCase("A" + bad + "É" + bad)) << ::testing::PrintToString(bad);
  }
}

}  // namespace
}  // namespace glyphwork::testing
