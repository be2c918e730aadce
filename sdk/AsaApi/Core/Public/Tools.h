// The host's tools.
#pragma once

#include <API/Base.h>

#include <string>

namespace AsaApi::Tools {

// The folder of the server's executable (ShooterGame/Binaries/Win64), without
// a trailing separator: on Windows in the system's ANSI code page, not UTF-8;
// on Linux as the file system names it.
ARK_API std::string GetCurrentDir();
// UTF-16 (Windows) or code points (Linux) to UTF-8 and back. Ill-formed input
// becomes U+FFFD; nothing is read past the input.
ARK_API std::string Utf8Encode(const std::wstring& wstr);
ARK_API std::wstring Utf8Decode(const std::string& str);
ARK_API bool IsPluginLoaded(const std::string& plugin_name);
ARK_API float GetApiVersion();

}  // namespace AsaApi::Tools
