// Wine's winbase.h, completed with what the Windows 10 SDK adds and the C++
// library's file system code uses: file ids of 128 bits, deletion with POSIX
// semantics, unprivileged symbolic links.
#pragma once
#include_next <winbase.h>

#ifndef _GLYPHWORK_WINBASE_ADDITIONS
#define _GLYPHWORK_WINBASE_ADDITIONS
#ifdef __cplusplus
extern "C" {
#endif

typedef struct _FILE_ID_INFO {
  ULONGLONG VolumeSerialNumber;
  struct {
    BYTE Identifier[16];
  } FileId;
} FILE_ID_INFO, *PFILE_ID_INFO;

typedef struct _FILE_DISPOSITION_INFO_EX {
  DWORD Flags;
} FILE_DISPOSITION_INFO_EX, *PFILE_DISPOSITION_INFO_EX;

#define FILE_DISPOSITION_FLAG_DO_NOT_DELETE 0x00000000
#define FILE_DISPOSITION_FLAG_DELETE 0x00000001
#define FILE_DISPOSITION_FLAG_POSIX_SEMANTICS 0x00000002
#define FILE_DISPOSITION_FLAG_FORCE_IMAGE_SECTION_CHECK 0x00000004
#define FILE_DISPOSITION_FLAG_ON_CLOSE 0x00000008
#define FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE 0x00000010

// Windows 11's; the C++ library looks it up at run time, falling back on
// GetTempPathW.
WINBASEAPI DWORD WINAPI GetTempPath2W(DWORD, LPWSTR);

#ifndef SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
#define SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE 0x2
#endif

#ifdef __cplusplus
}
#endif
#endif
