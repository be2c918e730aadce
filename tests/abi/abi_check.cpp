// What the ABI check compiles for x86_64-pc-windows-msvc: the SDK's own
// headers, with each record laid out and each interface's table of virtual
// functions built, so that clang reports them as MSVC would have them.
#include <API/ARK/Ark.h>
#include <Logger/Logger.h>
#include <Permissions.h>
#include <Timer.h>

int Layouts() { return int(sizeof(FString) + sizeof(FPrimalChatMessage) + sizeof(RCONPacket) + sizeof(FLinearColor)); }

void Tables(AsaApi::ICommands& commands, AsaApi::IHooks& hooks) {
  commands.RemoveOnChatMessageCallback(FString());
  hooks.DisableHook("", nullptr);
}

// The permissions library is bound by name, not imported: its name is
// compared with the one the plugin asks for.
const void* Bound() { return reinterpret_cast<const void*>(&Permissions::IsPlayerInGroup); }
