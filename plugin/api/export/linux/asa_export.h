// Linux: host and permissions symbols are plain default-visibility symbols,
// the same declaration for the library that defines them and its users.
#pragma once
#define ASAAPI_API __attribute__((visibility("default")))
