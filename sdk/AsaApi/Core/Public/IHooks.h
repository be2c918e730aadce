// The host's hook table: a detour in place of a game function, found by its
// decorated name. Installing a hook stops the game's threads and waits on a
// lock: never from a library's load notification.
#pragma once

#include <API/Base.h>

#include <string>

namespace AsaApi {

class IHooks {
 public:
  virtual ~IHooks() = default;

  // From now on the game calls `detour` for `func_name`; `*original` runs the
  // function the detour replaced. False when the name is unknown.
  template <typename T>
  bool SetHook(const std::string& func_name, LPVOID detour, T** original) {
    return SetHookInternal(func_name, detour, reinterpret_cast<LPVOID*>(original));
  }

  // Undoes SetHook with the same name and detour. False when there is none.
  virtual bool DisableHook(const std::string& func_name, LPVOID detour) = 0;

 private:
  virtual bool SetHookInternal(const std::string& func_name, LPVOID detour, LPVOID* original) = 0;
};

ARK_API IHooks& APIENTRY GetHooks();

}  // namespace AsaApi
