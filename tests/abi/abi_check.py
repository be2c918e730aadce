#!/usr/bin/env python3
"""Checks the binary interface of our SDK's headers and of the plugin against
the live host's (tests/abi/expected.txt), the way MSVC lays out and names
things: Debian's clang-14 targeting x86_64-pc-windows-msvc, with MinGW-w64's
C++ library headers standing in for MSVC's (their templates are named alike
once libstdc++ keeps its old string ABI). It compiles

  - tests/abi/abi_check.cpp, the SDK's own headers: record layouts and the
    tables of virtual functions, as clang dumps them;
  - every source of the plugin, against those headers and the live host's
    logging library (spdlog 0.16.2): the host functions the objects import,
    the permissions function the plugin binds by name, the exports.

Prints what it found and exits 1 when anything differs from expected.txt.
  abi_check.py --source DIR [--work DIR]
"""
import argparse
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

CLANG = "clang++-14"
NM = "llvm-nm-14"
READOBJ = "llvm-readobj-14"
MINGW_CXX = pathlib.Path("/usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++")
MINGW_C = pathlib.Path("/usr/x86_64-w64-mingw32/include")

# The plugin's sources, as CMakeLists.txt lists them for a Windows build.
PLUGIN_SOURCES = [
    "plugin/entry.cpp", "plugin/lifecycle.cpp", "plugin/platform_windows.cpp", "config/config.cpp",
    "config/packs.cpp", "config/reading.cpp", "chat/chat_hook.cpp", "chat/chat_rules.cpp", "chat/permissions.cpp",
    "assets/emoji_assets.cpp", "commands/case_folding.cpp", "commands/emoji_list.cpp", "commands/reload.cpp",
    "log/log.cpp", "usage/counts.cpp", "usage/day.cpp", "usage/pending_file.cpp", "usage/settings.cpp",
    "usage/sqlite_store.cpp", "usage/store.cpp", "usage/tally.cpp", "usage/usage.cpp", "usage/writer.cpp",
    "usage/mysql_store.cpp",
]
# The database libraries' C headers, which are the same on Windows: SQLite's
# and MariaDB Connector/C's (its folder's files on the include path itself,
# as a build with the connector has them).
DATABASE_HEADERS = [pathlib.Path("/usr/include/sqlite3.h")] + sorted(pathlib.Path("/usr/include/mariadb").glob("*"))
RECORDS = ["FString", "TArray<wchar_t>", "FLinearColor", "RCONPacket", "FPrimalChatMessage"]
INTERFACES = ["AsaApi::ICommands", "AsaApi::IHooks"]


def flags(source, work):
    """MSVC's target and layout; MinGW's headers read as if by GCC on Windows."""
    return [
        CLANG, "--target=x86_64-pc-windows-msvc", "-std=gnu++20", "-fmsc-version=0", "-fgnuc-version=12",
        "-D__declspec(x)=__attribute__((x))", "-DUNICODE", "-D_UNICODE", "-D_GLIBCXX_USE_CXX11_ABI=0",
        "-include", "share.h", "-nostdinc++", "-isystem", str(MINGW_CXX), "-isystem",
        str(MINGW_CXX / "x86_64-w64-mingw32"), "-isystem", str(MINGW_C),
        "-I", str(source / "sdk/AsaApi/Core/Public"), "-I", str(source / "sdk/Permissions/Public"),
        "-isystem", str(source / "third_party/spdlog-0.16.2"), "-isystem", str(work / "include"),
        "-I", str(source), "-DGLYPHWORK_EXPORT=__declspec(dllexport)", "-w",
    ]


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("failed: " + " ".join(command) + "\n" + result.stdout + result.stderr)
    return result.stdout


def records(dump):
    """'record NAME SIZE: member offset, ...' for each record of RECORDS, from -fdump-record-layouts."""
    found = {}
    for block in dump.split("*** Dumping AST Record Layout")[1:]:
        lines = block.strip("\n").split("\n")
        head = re.match(r"\s*0 \| (?:struct|class) (\S+)$", lines[0])
        if not head or head.group(1) not in RECORDS or head.group(1) in found:
            continue
        members = []
        for line in lines[1:]:
            member = re.match(r"\s*(\d+)(?::\d+-\d+)? \|   (?! )(.*) (\w+)$", line)
            if member:
                members.append(f"{member.group(3)} {member.group(1)}")
        size = re.search(r"\[sizeof=(\d+)", block).group(1)
        found[head.group(1)] = f"record {head.group(1)} {size}: " + ", ".join(members)
    return [found.get(name, f"record {name}: not laid out") for name in RECORDS]


def vtables(dump):
    """'vtable NAME SLOT: function' for each interface, from -fdump-vtable-layouts."""
    lines = []
    for name in INTERFACES:
        block = re.search(r"VFTable indices for '" + re.escape(name) + r"' \(\d+ entries\)\.\n((?:\s+\d+ \|.*\n)+)",
                          dump)
        if not block:
            lines.append(f"vtable {name}: no table")
            continue
        for entry in block.group(1).strip("\n").split("\n"):
            slot, function = re.match(r"\s+(\d+) \| (.*)$", entry).groups()
            lines.append(f"vtable {name} {slot}: {function}")
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, type=pathlib.Path)
    parser.add_argument("--work", type=pathlib.Path)
    options = parser.parse_args()
    source = options.source.resolve()
    work = options.work or pathlib.Path(tempfile.mkdtemp(prefix="abi-check-"))
    # nlohmann-json and the database headers alone, not the rest of
    # /usr/include, which is Linux's.
    (work / "include").mkdir(parents=True, exist_ok=True)
    shutil.copytree("/usr/include/nlohmann", work / "include/nlohmann", dirs_exist_ok=True)
    for header in DATABASE_HEADERS:
        if header.is_dir():
            shutil.copytree(header, work / "include" / header.name, dirs_exist_ok=True)
        else:
            shutil.copy(header, work / "include" / header.name)

    found = []
    dump = run(flags(source, work) + ["-Xclang", "-fdump-record-layouts", "-Xclang", "-fdump-vtable-layouts",
                                      "-c", str(source / "tests/abi/abi_check.cpp"), "-o", str(work / "sdk.obj")])
    found += records(dump)
    found += vtables(dump)

    objects = []
    for name in PLUGIN_SOURCES:
        obj = work / (name.replace("/", "_") + ".obj")
        run(flags(source, work) + ["-c", str(source / name), "-o", str(obj)])
        objects.append(str(obj))
    undefined = run([NM, "--undefined-only", "--no-sort"] + objects).split()
    imports = sorted({symbol[len("__imp_"):] for symbol in undefined if symbol.startswith("__imp_?")})
    found += [f"import {symbol}" for symbol in imports]

    # The name the plugin binds the permissions function by, and the one our
    # SDK's declaration has.
    sdk_names = run([NM, "--undefined-only", str(work / "sdk.obj")]).split()
    declared = [s[len("__imp_"):] for s in sdk_names if s.startswith("__imp_?IsPlayerInGroup@")]
    asked = re.findall(r'kIsPlayerInGroupSymbol = "([^"]+)"', (source / "plugin/platform_windows.cpp").read_text())
    stand_in = re.findall(r'^"([^"]+)"=', (source / "standin/permissions/permissions.def").read_text(), re.M)
    if declared and asked == declared and stand_in == declared:
        found.append(f"bound {declared[0]}")
    else:
        found.append(f"bound: declared {declared}, asked for {asked}, stand-in exports {stand_in}")

    directives = run([READOBJ, "--coff-directives", str(work / "plugin_entry.cpp.obj")])
    found += [f"export {name}" for name in sorted(re.findall(r"/EXPORT:(\w+)", directives))]

    expected = [line for line in (source / "tests/abi/expected.txt").read_text().split("\n")
                if line and not line.startswith("#")]
    for line in found:
        print(("  " if line in expected else "! ") + line)
    missing = [line for line in expected if line not in found]
    for line in missing:
        print("- " + line + "   (expected, not found)")
    if missing or any(line not in expected for line in found):
        print("The binary interface differs from the live host's (tests/abi/expected.txt).")
        return 1
    print(f"ABI check: {len(found)} facts as the live host has them "
          f"({len(RECORDS)} records, {len(INTERFACES)} tables, {len(imports)} imports, 1 bound name, exports).")
    return 0


if __name__ == "__main__":
    sys.exit(main())
