// The reload as an operator sends it over RCON, on a server folder with
// 1,000 to 100,000 emoji in packs of 1,000 names as admins write them, every
// texture present in the stand-in game's content:
//   Reload/<emoji>                   the whole reload: files read, rules derived, textures loaded
//   FirstMessageAfterReload/<emoji>  the first chat delivery after a reload
//   LaterMessage/<emoji>             a delivery after that one
//   FirstMessageDerivingRules/<emoji> the first delivery after a reload if it
//                                    had to derive the rules itself
// The two message benchmarks time one delivery per iteration by hand (the
// reload between them is not timed), deliver texts of the same shape, and
// report the median delivery as median_us.
#include <benchmark/benchmark.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "chat/chat_hook.h"
#include "commands/reload.h"
#include "common/engine_text.h"
#include "config/config.h"
#include "log/log.h"
#include "standin/game/game.h"
#include "standin/host/host_control.h"

namespace glyphwork {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

constexpr int kPackSize = 1000;

// "dodo_happy", "rex_angry2", ...: creatures and moods, numbered once every
// pair is taken.
std::string EmojiName(int index) {
  static const char* creatures[] = {
      "dodo",     "rex",  "raptor", "trike", "stego",  "bronto",  "ptera",   "argy",  "mammoth", "sabre",
      "direwolf", "bear", "spino",  "giga",  "wyvern", "griffin", "phoenix", "otter", "beaver",  "castoroides",
      "carno",    "allo", "anky",   "doed",  "megalo", "titano",  "quetz",   "rhino", "paracer", "pulmo"};
  static const char* moods[] = {"happy", "sad",   "angry", "love", "laugh", "cry",  "cool",     "shock",
                                "sleep", "think", "wave",  "wink", "yawn",  "eat",  "run",      "roar",
                                "party", "ok",    "no",    "gg",   "rip",   "hype", "facepalm", "salute"};
  constexpr int kCreatures = sizeof creatures / sizeof *creatures;
  constexpr int kMoods = sizeof moods / sizeof *moods;
  const int pair = index % (kCreatures * kMoods), round = index / (kCreatures * kMoods);
  std::string name = std::string(creatures[pair / kMoods]) + "_" + moods[pair % kMoods];
  return round == 0 ? name : name + std::to_string(round + 1);
}

void Write(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

// A server folder with `emoji` pack emoji and their textures, made once per
// count and removed at exit.
class ServerFolder {
 public:
  explicit ServerFolder(int emoji) {
    root_ = fs::temp_directory_path() / ("glyphwork-bench-" + std::to_string(std::random_device()()));
    const fs::path plugin = root_ / standin::kBinariesFolder / "ArkApi/Plugins/Glyphwork";
    Write(plugin / "config.json",
          R"({"UsePermissions": false, "RemapEmoji": [{"Name": "ark", "Path": "/Game/Custom/ark.ark"}]})");
    Write(root_ / "ShooterGame/Content/Custom/ark.uasset", "");
    for (int first = 0; first < emoji; first += kPackSize) {
      const std::string pack = "pack" + std::to_string(first / kPackSize);
      json names = json::array();
      for (int i = first; i < std::min(emoji, first + kPackSize); ++i) {
        names.push_back(EmojiName(i));
        Write(root_ / "ShooterGame/Content/Emojis" / pack / (EmojiName(i) + ".uasset"), "");
      }
      Write(plugin / "Packs" / (pack + ".json"),
            json{{"EmojiPath", "/Game/Emojis/" + pack + "/"}, {"EmojiArray", names}}.dump(2));
    }
  }
  ~ServerFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  std::string root() const { return root_.string(); }

 private:
  fs::path root_;
};

bool ReloadOverRcon() {
  RCONClientConnection connection;
  RCONPacket packet;
  packet.Id = 1;
  OnReloadRconCommand(&connection, &packet, nullptr);
  return !connection.replies.empty() && connection.replies.back().text == "Reloaded Config!";
}

// Points the host at the folder for `emoji` and reloads once, so that every
// benchmark starts from a server with these files in effect.
void UseServer(int emoji) {
  static std::map<int, std::unique_ptr<ServerFolder>> folders;
  static bool loggers = false;
  auto& folder = folders[emoji];
  if (!folder) folder = std::make_unique<ServerFolder>(emoji);
  auto quiet = std::make_shared<spdlog::sinks::null_sink_mt>();
  standin::StartHost({.server_dir = folder->root(), .console_sink = false, .extra_sinks = {quiet}, .log_file = false});
  if (!loggers) {
    // The console lines of every reload go nowhere.
    spdlog::drop(kConsoleLogName);
    spdlog::register_logger(std::make_shared<spdlog::logger>(kConsoleLogName, quiet));
    SetUpConsoleLog();
    loggers = true;
  }
  SetUpHostLog("Glyphwork");
  ReloadOverRcon();
}

void Reload(benchmark::State& state, int emoji, standin::Game* game) {
  UseServer(emoji);
  for (auto _ : state) {
    if (!ReloadOverRcon()) state.SkipWithError("the reload failed");
    state.PauseTiming();
    game->load_requests.clear();
    state.ResumeTiming();
  }
}

void IgnoreDelivery(AShooterPlayerController*, FPrimalChatMessage) {}

FPrimalChatMessage Message(const std::string& text) {
  FPrimalChatMessage message;
  message.SenderName = FString("Sender");
  message.Message = glyphwork::FStringFromUtf8(text);
  return message;
}

enum class After { kReload, kOneMessage, kReloadDerivingNothing };

// One delivery timed per iteration, right after a reload or after one more
// delivery: five codes in a line of chat, each text new to the hook.
void Delivery(benchmark::State& state, int emoji, standin::Game* game, After after) {
  UseServer(emoji);
  ClientChatMessageTrampoline = &IgnoreDelivery;
  AShooterPlayerController player;
  const auto text = [&](int n) {
    return ":" + EmojiName(n % emoji) + ": tame run :" + EmojiName((n + 7) % emoji) +
           ": near :ark: the volcano :" + EmojiName((n + 13) % emoji) +
           ": bring kibble :" + EmojiName((n + 29) % emoji) + ": " + std::to_string(n);
  };
  int n = 0;
  std::vector<double> seconds;
  for (auto _ : state) {
    if (!ReloadOverRcon()) state.SkipWithError("the reload failed");
    game->load_requests.clear();
    if (after == After::kOneMessage) ClientChatMessageHook(&player, Message(text(n++)));
    if (after == After::kReloadDerivingNothing) BumpDocumentsGeneration();  // the hook derives them again
    const FPrimalChatMessage message = Message(text(n++));
    const auto start = std::chrono::steady_clock::now();
    ClientChatMessageHook(&player, message);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    state.SetIterationTime(seconds.back());
  }
  // One delivery caught by the scheduler outweighs the rest in the mean.
  std::sort(seconds.begin(), seconds.end());
  if (!seconds.empty()) state.counters["median_us"] = seconds[seconds.size() / 2] * 1e6;
}

}  // namespace

void RegisterReloadBenchmarks(standin::Game* game) {
  for (const int emoji : {10, 1000, 10000, 100000}) {
    const std::string count = std::to_string(emoji);
    benchmark::RegisterBenchmark(("Reload/" + count).c_str(), &Reload, emoji, game)->Unit(benchmark::kMillisecond);
  }
  for (const int emoji : {10, 1000, 10000, 100000}) {
    const std::string count = std::to_string(emoji);
    const int iterations = emoji >= 100000 ? 5 : 20;
    for (const auto& [name, after] :
         {std::pair("FirstMessageAfterReload/", After::kReload), std::pair("LaterMessage/", After::kOneMessage),
          std::pair("FirstMessageDerivingRules/", After::kReloadDerivingNothing)}) {
      benchmark::RegisterBenchmark((name + count).c_str(), &Delivery, emoji, game, after)
          ->UseManualTime()
          ->Iterations(iterations)
          ->Unit(benchmark::kMicrosecond);
    }
  }
}

}  // namespace glyphwork
