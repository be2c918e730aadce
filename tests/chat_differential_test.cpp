// The hook against the plain reference on random documents and messages over
// a small alphabet, so that codes collide, overlap, repeat and hide in markup.
#include <gmock/gmock.h>

#include <map>
#include <random>
#include <set>

#include "chat/chat_hook.h"
#include "common/regex.h"
#include "standin/permissions/permissions.h"
#include "tests/chat_fixture.h"
#include "tests/reference/literal_chat.h"
#include "usage/usage.h"

namespace glyphwork::testing {
namespace {

using json = nlohmann::json;

constexpr int kDocuments = 1000;
constexpr int kMessagesPerDocument = 50;  // each to two recipients: 100,000 deliveries
const std::string kErrorLine =
    "31 [Glyphwork][ERR] Chat message delivered without emoji, config.json or a pack has a wrong type: ";

// The end of the hook's line for the library's type error where the reference
// stopped: the same expected and found types ("type must be string, but is
// number" is "expected a string, found a number"). The hook's line also names
// the file and key, which the reference does not track.
std::string ExpectedEnding(const std::string& library_text) {
  static const std::map<std::string, std::string> names = {{"null", "null"},         {"object", "an object"},
                                                           {"array", "a list"},      {"string", "a string"},
                                                           {"boolean", "a boolean"}, {"number", "a number"}};
  std::smatch match;
  static const std::regex must_be(R"(type must be (\w+), but is (\w+)$)");
  static const std::regex value_with(R"(cannot use value\(\) with (\w+)$)");
  if (std::regex_search(library_text, match, must_be)) {
    return "expected " + names.at(match[1]) + ", found " + names.at(match[2]);
  }
  if (std::regex_search(library_text, match, value_with)) return ", found " + names.at(match[1]);
  return "UNKNOWN LIBRARY TEXT " + library_text;
}

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
  bool OneIn(int n) { return Below(n) == 0; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[size_t(Below(int(items.size())))];
  }

  std::string Letters(int max_length) {
    static const std::vector<std::string> alphabet = {":", "a", "b", "c", " ", "é"};
    std::string text;
    for (int n = Below(max_length + 1); n > 0; --n) text += Pick(alphabet);
    return text;
  }

  // Names collide on purpose: a handful per document, some empty, some with
  // colons, some made of the markup's own characters.
  std::vector<std::string> NamePool() {
    std::vector<std::string> pool;
    for (int n = 2 + Below(5); n > 0; --n) {
      switch (Below(12)) {
        case 0:
          pool.push_back("");
          break;
        case 1:
          pool.push_back(Pick<std::string>({":", "a:b", ":a", "b:"}));
          break;
        case 2:
          pool.push_back(Pick<std::string>({"\"/>", "\"/>a", "a\"/>", "b.b", "<img src=\"chat.image\" path=\""}));
          break;
        case 3:
          pool.push_back("a" + Img("/P") + "b");
          break;
        default:
          pool.push_back(Letters(2).empty() ? "a" : Letters(3));
          break;
      }
    }
    return pool;
  }

  std::string Path(const std::vector<std::string>& names) {
    switch (Below(8)) {
      case 0:
        return "";
      case 1:
        return ":" + Pick(names) + ":";  // markup holding a code
      case 2:
        return Pick<std::string>({"x:", ":", "::"});
      case 3:
        return "/P";
      default:
        return "/" + Letters(2);
    }
  }

  // A value for a list of names: mostly an array, sometimes one of the other
  // forms the iteration accepts, rarely a wrong type.
  json NameList(const std::vector<std::string>& names, bool allow_errors) {
    switch (Below(16)) {
      case 0:
        return Pick(names);
      case 1:
        return nullptr;
      case 2:
        return json{{"b", Pick(names)}, {"a", Pick(names)}};
      case 3:
        if (allow_errors && OneIn(4)) return json::array({Pick(names), 5});
        [[fallthrough]];
      default: {
        json list = json::array();
        for (int n = Below(5); n > 0; --n) list.push_back(Pick(names));
        return list;
      }
    }
  }

  json Remap(const std::vector<std::string>& names, bool allow_errors) {
    if (allow_errors && OneIn(60)) return Pick<json>({json("x"), json{{"Name", 3}}, json{{"Path", nullptr}}});
    json entry = json::object();
    if (!OneIn(8)) entry["Name"] = Pick(names);
    if (!OneIn(8)) entry["Path"] = Path(names);
    return entry;
  }

  json Config(const std::vector<std::string>& names, bool allow_errors) {
    if (allow_errors && OneIn(100)) return json::array();
    json config = json::object();
    if (OneIn(3)) {
      config["UsePermissions"] = allow_errors && OneIn(40) ? json("yes") : json(!OneIn(6));
      switch (Below(6)) {
        case 0:
          break;
        case 1:
          config["PermissionsGroups"] = "B";
          break;
        case 2:
          config["PermissionsGroups"] = nullptr;
          break;
        case 3:
          if (allow_errors && OneIn(8)) {
            config["PermissionsGroups"] = json::array({"A", 1, "B"});
            break;
          }
          [[fallthrough]];
        default:
          config["PermissionsGroups"] = json::array();
          for (int n = Below(4); n > 0; --n) config["PermissionsGroups"].push_back(Pick<std::string>({"A", "B", "C"}));
      }
    }
    switch (Below(6)) {
      case 0:
        break;
      case 1:
        config["RemapEmoji"] = nullptr;
        break;
      case 2:
        config["RemapEmoji"] = {{"k1", Remap(names, allow_errors)}, {"k0", Remap(names, allow_errors)}};
        break;
      default:
        config["RemapEmoji"] = json::array();
        for (int n = Below(5); n > 0; --n) config["RemapEmoji"].push_back(Remap(names, allow_errors));
    }
    return config;
  }

  std::vector<json> Packs(const std::vector<std::string>& names, bool allow_errors) {
    std::vector<json> packs;
    for (int n = Below(4); n > 0; --n) {
      if (allow_errors && OneIn(80)) {
        packs.push_back(json::array({Pick(names)}));
        continue;
      }
      json pack = json::object();
      if (!OneIn(5)) pack["EmojiPath"] = allow_errors && OneIn(80) ? json(1) : json(Path(names));
      if (!OneIn(10)) pack["EmojiArray"] = NameList(names, allow_errors);
      packs.push_back(pack);
    }
    return packs;
  }

  std::string Message(const std::vector<std::string>& names) {
    std::string text;
    for (int n = Below(9); n > 0; --n) {
      switch (Below(6)) {
        case 0:
          text += Letters(4);
          break;
        case 1:
          text += Pick<std::string>({"\"/>", "<img src=\"chat.image\" path=\"", Img("/P"), "x:"});
          break;
        case 2:
          text += ":a:" + Pick(names) + ":b:";
          break;  // markup for /P here makes the code of a<markup>b
        default:
          text += ":" + Pick(names) + (OneIn(4) ? "" : ":");
          break;
      }
    }
    return text;
  }

 private:
  std::mt19937 engine_;
};

class ChatDifferentialTest : public ChatTest {
 protected:
  void TearDown() override {
    StopUsage();
    ChatTest::TearDown();
  }
  // Usage counting on, from nothing, or off. The database is SQLite's in
  // memory: this is about what is counted.
  void CountUsage(bool on) {
    StopUsage();
    if (!on) return;
    usage::UsageSettings settings;
    settings.enabled = true;
    settings.sqlite = ":memory:";
    settings.sqlite_shown = ":memory:";
    UseUsageSettings(settings);
  }
  // "code pack" of every key counted so far, with its count.
  std::map<std::string, uint64_t> Counted() {
    std::map<std::string, uint64_t> counted;
    for (const auto& [key, messages] : UsageTotals(INT64_MIN / 2)) counted[key.code + " " + key.pack] = messages;
    return counted;
  }
};

TEST_F(ChatDifferentialTest, TheHookWritesWhatTheReferenceWritesAndCountsWhatItPictured) {
  Random random(20240531);
  auto* ann = game_->Join("Ann", "1");
  auto* bob = game_->Join("Bob", "2");
  int failures = 0;
  int errors_seen = 0;
  int rewritten = 0;
  int counted_messages = 0;

  for (int document = 0; document < kDocuments && failures < 5; ++document) {
    const std::vector<std::string> names = random.NamePool();
    const bool allow_errors = random.OneIn(3);
    const json config = random.Config(names, allow_errors);
    const std::vector<json> packs = random.Packs(names, allow_errors);
    Use(config, packs);
    // Every other document with usage counted: the text delivered is the
    // same, and each code the reference replaced for either recipient counts
    // once for the message.
    const bool counting = document % 2 == 1;
    CountUsage(counting);
    json pack_document = json::object();
    for (const json& pack : packs) pack_document["EmojiMap"].push_back(pack);

    Permissions::StandIn::Clear();
    std::map<std::string, std::set<std::string>> groups;
    for (const std::string id : {"1", "2"}) {
      for (const std::string group : {"A", "B", "C"}) {
        if (random.OneIn(3)) {
          Permissions::StandIn::AddToGroup(id, group);
          groups[id].insert(group);
        }
      }
    }

    std::string error;  // the reference's, the same for every recipient it concerns
    std::string text;
    for (int m = 0; m < kMessagesPerDocument && failures < 5; ++m) {
      if (m == 0 || !random.OneIn(6)) text = random.Message(names);  // else the same message again
      standin::RunTimers();                                          // a game tick: one message to both
      const std::map<std::string, uint64_t> counted_before = counting ? Counted() : std::map<std::string, uint64_t>();
      std::map<std::string, uint64_t> expected_counts;
      for (AShooterPlayerController* recipient : {ann, bob}) {
        std::vector<std::string> reference_checks;
        std::string expected;
        std::set<std::string> pictured;
        try {
          expected = reference::LiteralRewrite(
              config, pack_document, text,
              [&](const std::string& group) {
                reference_checks.push_back(recipient->unique_id + "|" + group);
                return groups[recipient->unique_id].count(group) != 0;
              },
              [&](const std::string& code, size_t pack) {
                pictured.insert(code + " " + (pack == SIZE_MAX ? "RemapEmoji" : "p" + std::to_string(pack) + ".json"));
              });
          for (const std::string& key : pictured) expected_counts[key] = 1;
        } catch (const json::type_error& type_error) {
          expected = text;
          error = type_error.what();
        }
        const std::string delivered = Deliver(recipient, text);
        const std::vector<std::string> checks = Permissions::StandIn::TakeChecks();
        if (delivered != expected || checks != reference_checks) {
          ++failures;
          ADD_FAILURE() << "document " << document << " message " << m << " to " << recipient->name << "\nconfig "
                        << config << "\npacks " << pack_document << "\ntext     \"" << text << "\"\nexpected \""
                        << expected << "\"\ndelivered \"" << delivered << "\"\nchecks "
                        << ::testing::PrintToString(checks) << " vs " << ::testing::PrintToString(reference_checks);
        }
        if (delivered != text) ++rewritten;
      }
      if (counting) {
        std::map<std::string, uint64_t> counts;
        for (const auto& [key, messages] : Counted()) {
          const auto before = counted_before.find(key);
          const uint64_t added = messages - (before == counted_before.end() ? 0 : before->second);
          if (added > 0) counts[key] = added;
        }
        counted_messages += counts.empty() ? 0 : 1;
        if (counts != expected_counts) {
          ++failures;
          ADD_FAILURE() << "document " << document << " message " << m << " counted "
                        << ::testing::PrintToString(counts) << ", the reference pictured "
                        << ::testing::PrintToString(expected_counts) << "\nconfig " << config << "\npacks "
                        << pack_document << "\ntext \"" << text << "\"";
        }
      }
      ann->received.clear();
      bob->received.clear();
    }
    const std::vector<std::string> lines = WithoutTime(TakeConsole());
    if (error.empty()) {
      EXPECT_THAT(lines, ::testing::IsEmpty()) << "document " << document;
    } else {
      ++errors_seen;
      EXPECT_THAT(lines, ::testing::ElementsAre(::testing::AllOf(::testing::StartsWith(kErrorLine),
                                                                 ::testing::EndsWith(ExpectedEnding(error)))))
          << "document " << document << " reference: " << error;
    }
  }
  // The documents must reach every path: rewriting, and errors.
  EXPECT_GT(rewritten, kDocuments * kMessagesPerDocument / 4);
  EXPECT_GT(errors_seen, kDocuments / 50);
  EXPECT_GT(counted_messages, kDocuments * kMessagesPerDocument / 10);
}

}  // namespace
}  // namespace glyphwork::testing
