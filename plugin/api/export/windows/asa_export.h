// Windows: the stand-in host builds with ASAAPI_BUILD (exports), everyone
// else imports.
#pragma once
#ifdef ASAAPI_BUILD
#define ASAAPI_API __declspec(dllexport)
#else
#define ASAAPI_API __declspec(dllimport)
#endif
