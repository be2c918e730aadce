// The stand-in game server: the engine allocator, player controllers, chat
// delivery through the host's hook table, direct messages, RCON replies and
// asset loading against the server folder's content. Registers its functions
// with the host under their decorated names.
#pragma once

#include <API/ARK/Ark.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "standin/host/host_control.h"

// What the game's library exports (its Game), as the SDK marks the host's.
#ifdef _WIN32
#ifdef STANDIN_GAME_EXPORTS
#define STANDIN_GAME_API __declspec(dllexport)
#else
#define STANDIN_GAME_API __declspec(dllimport)
#endif
#else
#define STANDIN_GAME_API __attribute__((visibility("default")))
#endif

namespace standin {

// The last kCapacity items pushed, oldest first, and a count of every push:
// what a test looks at after a delivery, without a long-running server
// keeping every one.
template <typename T, std::size_t kCapacity = 64>
class Recent {
 public:
  void push_back(T item) {
    if (items_.size() == kCapacity) items_.pop_front();
    items_.push_back(std::move(item));
    ++pushed_;
  }
  void clear() { items_.clear(); }
  const T& back() const { return items_.back(); }
  const T& operator[](std::size_t i) const { return items_[i]; }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  // Every push since the start, the ones let go included.
  int64_t pushed() const { return pushed_; }

  using value_type = T;
  using const_iterator = typename std::deque<T>::const_iterator;

 private:
  std::deque<T> items_;
  int64_t pushed_ = 0;
};

}  // namespace standin

struct APlayerController {};

struct AShooterPlayerController : APlayerController {
  struct DirectMessage {
    std::string text;
    FLinearColor colour;
    bool flag = false;
    std::string sender;
  };

  std::string name;
  std::string unique_id;
  standin::Recent<std::string> received;  // chat texts as delivered, UTF-8
  standin::Recent<DirectMessage> direct;
};

struct RCONClientConnection {
  struct Reply {
    int id = 0;
    int type = 0;
    std::string text;
  };
  std::vector<Reply> replies;
};

struct UObject {
  std::string path;
};

struct UClass {};

struct AShooterGameMode {};

namespace standin {

class STANDIN_GAME_API Game {
 public:
  // The game's functions are in the host's table from the moment this library
  // is loaded; a Game is the world they act on (one at a time).
  Game();
  ~Game();
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // Live buffers of the engine allocator, over every Game.
  static int64_t LiveAllocations();

  AShooterPlayerController* Join(const std::string& name, const std::string& unique_id);
  void Leave(const std::string& name);
  AShooterPlayerController* Find(const std::string& name) const;
  const std::vector<std::unique_ptr<AShooterPlayerController>>& Players() const { return players_; }

  // `text` from the player `sender` in chat, as the game takes it: first to
  // the host (its spam guard, its chat commands); if the host lets it
  // through, to every player in join order through the hook table, one call
  // of ClientChatMessage per recipient. A sender who is not a player (the
  // server) skips the host.
  ChatOutcome Say(const std::string& sender, const std::string& text, int mode = kGlobalChat);
  static constexpr int kGlobalChat = 0;
  // Delivers a ready record to one recipient through the hook table.
  static void Deliver(AShooterPlayerController* recipient, const FPrimalChatMessage& message);

  // The world ends, as a server stops in order: the game mode's EndPlay,
  // through the hook table, with the reason Quit. The host unloads no plugin
  // then (a live host never does when the process exits).
  void EndWorld();
  // How many times the game's own EndPlay ran.
  int world_ends = 0;

  // Called for every delivery that reaches the game's own ClientChatMessage.
  std::function<void(AShooterPlayerController*, const FPrimalChatMessage&)> on_chat;
  // Called for every direct message and RCON reply.
  std::function<void(AShooterPlayerController*, const AShooterPlayerController::DirectMessage&)> on_direct;
  std::function<void(RCONClientConnection*, const RCONClientConnection::Reply&)> on_rcon_reply;

  // Called for every StaticLoadObject before it looks; may throw, as an
  // engine in trouble may.
  std::function<void(const std::string& path)> on_load;

  // Object paths asked of StaticLoadObject, in order, kept only while
  // `record_load_requests` is set: a test asks for them, a long-running
  // server would keep every path of every reload.
  bool record_load_requests = false;
  std::vector<std::string> load_requests;
  // Deliveries that reached the game's own function with a broken record.
  int malformed_records = 0;

 private:
  std::vector<std::unique_ptr<AShooterPlayerController>> players_;
  std::unordered_map<std::string, std::unique_ptr<UObject>> objects_;  // by path
  friend struct GameFunctions;
};

// Raw UTF-16 units into and out of the engine's string, lone surrogates and
// NULs included: what a game client may send.
inline FString FStringFromUnits(const std::u16string& units) {
  FString text;
  if (units.empty()) return text;
  TArray<TCHAR>& array = text.GetCharArray();
  const int32 first = array.AddUninitialized(int32(units.size() + 1));
  for (size_t i = 0; i < units.size(); ++i) array.GetData()[first + i] = TCHAR(units[i]);
  array.GetData()[first + units.size()] = 0;
  return text;
}

inline std::u16string UnitsOf(const FString& text) {
  const TCHAR* units = *text;
  return std::u16string(units, units + text.Len());
}

// The hookable chat delivery, by its decorated name.
inline constexpr const char* kClientChatMessage = "AShooterPlayerController.ClientChatMessage(FPrimalChatMessage)";
inline constexpr const char* kGameModeEndPlay = "AShooterGameMode.EndPlay(EEndPlayReason::Type)";

}  // namespace standin
