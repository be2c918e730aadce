#include "standin/game/game.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "common/engine_text.h"
#include "common/utf8_path.h"
#include "standin/host/host_control.h"

namespace standin {

namespace {

std::atomic<int64_t> live_allocations{0};
Game* current = nullptr;
UClass render_asset_class;

// An FString as the engine keeps it: no buffer when empty, else a terminated
// buffer that holds exactly `count` units.
bool WellFormed(const FString& text) {
  const TArray<TCHAR>& units = text.GetCharArray();
  if (units.Num() == 0) return units.GetData() == nullptr;
  for (int32_t i = 0; i + 1 < units.Num(); ++i) {
    if (units.GetData()[i] == 0) return false;
  }
  return units.GetData()[units.Num() - 1] == 0;
}

using glyphwork::Utf8FromFString;

// "/Game/A/B.B" loads when Content/A/B.uasset exists and the object name
// equals the last path component.
bool ContentExists(const std::string& path) {
  const std::string root = "/Game/";
  if (path.compare(0, root.size(), root) != 0) return false;
  const std::string rest = path.substr(root.size());
  const auto dot = rest.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string package = rest.substr(0, dot), object = rest.substr(dot + 1);
  const auto slash = package.rfind('/');
  const std::string last = slash == std::string::npos ? package : package.substr(slash + 1);
  if (object.empty() || last != object) return false;
  for (const auto& part : glyphwork::PathFromUtf8(package)) {
    if (part == ".." || part == ".") return false;
  }
  std::error_code error;
  return std::filesystem::is_regular_file(glyphwork::PathFromUtf8(ContentDir() + "/" + package + ".uasset"), error);
}

}  // namespace

struct GameFunctions {
  static void* Malloc(unsigned long long size, unsigned int) {
    ++live_allocations;
    return std::malloc(size == 0 ? 1 : size);
  }
  static void Free(void* buffer) {
    if (buffer == nullptr) return;
    --live_allocations;
    std::free(buffer);
  }
  static void GetUniqueNetIdAsString(AShooterPlayerController* controller, FString* id) {
    *id = glyphwork::FStringFromUtf8(controller->unique_id);
  }
  static void ClientChatMessage(AShooterPlayerController* controller, FPrimalChatMessage message) {
    controller->received.push_back(Utf8FromFString(message.Message));
    if (current == nullptr) return;
    if (!WellFormed(message.Message) || !WellFormed(message.SenderName)) ++current->malformed_records;
    if (current->on_chat) current->on_chat(controller, message);
  }
  static void ClientServerChatDirectMessage(AShooterPlayerController* controller, FString& text, FLinearColor colour,
                                            bool flag, FString& sender) {
    controller->direct.push_back({Utf8FromFString(text), colour, flag, Utf8FromFString(sender)});
    if (current && current->on_direct) current->on_direct(controller, controller->direct.back());
  }
  static void SendMessage(RCONClientConnection* connection, int id, int type, FString& text) {
    connection->replies.push_back({id, type, Utf8FromFString(text)});
    if (current && current->on_rcon_reply) current->on_rcon_reply(connection, connection->replies.back());
  }
  static void EndPlay(AShooterGameMode*, int) {
    if (current != nullptr) ++current->world_ends;
  }
  static UClass* StaticClass() { return &render_asset_class; }
  static UObject* StaticLoadObject(UClass* object_class, UObject*, const wchar_t* name, const wchar_t*, unsigned int,
                                   DWORD64, bool, void*) {
    const std::string path = AsaApi::Tools::Utf8Encode(name ? name : L"");
    if (current == nullptr) return nullptr;
    if (current->record_load_requests) current->load_requests.push_back(path);
    if (current->on_load) current->on_load(path);
    if (object_class != &render_asset_class || !ContentExists(path)) return nullptr;
    std::unique_ptr<UObject>& object = current->objects_[path];
    if (!object) object = std::make_unique<UObject>(UObject{path});
    return object.get();
  }
};

namespace {

// The engine is up before anything else in the process: register the game's
// functions when this library is loaded, before any static FString is made.
struct Registrar {
  Registrar() {
    SetAddress("FMemory.Malloc(unsigned__int64,unsignedint)", reinterpret_cast<void*>(&GameFunctions::Malloc));
    SetAddress("FMemory.Free(void*)", reinterpret_cast<void*>(&GameFunctions::Free));
    SetAddress("AShooterPlayerController.GetUniqueNetIdAsString()",
               reinterpret_cast<void*>(&GameFunctions::GetUniqueNetIdAsString));
    SetAddress(kClientChatMessage, reinterpret_cast<void*>(&GameFunctions::ClientChatMessage));
    SetAddress("AShooterPlayerController.ClientServerChatDirectMessage(FString&,FLinearColor,bool,FString&)",
               reinterpret_cast<void*>(&GameFunctions::ClientServerChatDirectMessage));
    SetAddress("RCONClientConnection.SendMessage(int,int,FString&)",
               reinterpret_cast<void*>(&GameFunctions::SendMessage));
    SetAddress("UStreamableRenderAsset.StaticClass()", reinterpret_cast<void*>(&GameFunctions::StaticClass));
    SetAddress(kGameModeEndPlay, reinterpret_cast<void*>(&GameFunctions::EndPlay));
    SetAddress(
        "Global.StaticLoadObject(UClass*,UObject*,wchar_t*,wchar_t*,unsignedint,UPackageMap*,bool,"
        "FLinkerInstancingContext*)",
        reinterpret_cast<void*>(&GameFunctions::StaticLoadObject));
  }
} registrar;

}  // namespace

Game::Game() { current = this; }

Game::~Game() {
  if (current == this) current = nullptr;
}

int64_t Game::LiveAllocations() { return live_allocations.load(); }

AShooterPlayerController* Game::Join(const std::string& name, const std::string& unique_id) {
  auto player = std::make_unique<AShooterPlayerController>();
  player->name = name;
  player->unique_id = unique_id;
  players_.push_back(std::move(player));
  return players_.back().get();
}

void Game::Leave(const std::string& name) {
  std::erase_if(players_, [&](const auto& player) { return player->name == name; });
}

AShooterPlayerController* Game::Find(const std::string& name) const {
  for (const auto& player : players_) {
    if (player->name == name) return player.get();
  }
  return nullptr;
}

void Game::Deliver(AShooterPlayerController* recipient, const FPrimalChatMessage& message) {
  using Fn = void (*)(AShooterPlayerController*, FPrimalChatMessage);
  reinterpret_cast<Fn>(HookEntry(kClientChatMessage))(recipient, message);
}

void Game::EndWorld() {
  constexpr int kQuit = 4;  // EEndPlayReason::Quit
  AShooterGameMode game_mode;
  reinterpret_cast<void (*)(AShooterGameMode*, int)>(HookEntry(kGameModeEndPlay))(&game_mode, kQuit);
}

ChatOutcome Game::Say(const std::string& sender, const std::string& text, int mode) {
  if (AShooterPlayerController* player = Find(sender)) {
    const ChatOutcome outcome = ExecuteChatCommand(player, text, mode);
    if (outcome != ChatOutcome::kDeliver) return outcome;
  }
  FPrimalChatMessage message;
  message.SenderName = glyphwork::FStringFromUtf8(sender);
  message.Message = glyphwork::FStringFromUtf8(text);
  for (const auto& player : players_) Deliver(player.get(), message);
  return ChatOutcome::kDeliver;
}

}  // namespace standin
