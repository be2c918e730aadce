#!/usr/bin/env python3
"""Checks the plugin's binary interface against the live host's
(tests/abi/expected.txt), from the Windows build in the live host's binary
interface (scripts/build-windows.sh):

  - the record layouts and tables of virtual functions of our SDK's headers,
    as Clang in its MSVC mode lays them out with Microsoft's C++ library:
    tests/abi/abi_check.cpp compiled with the flags the build compiles the
    plugin with (its compile_commands.json);
  - Glyphwork.dll itself: its machine, its exports, the DLLs it imports from
    and every function it imports from AsaApi.dll;
  - the name the plugin binds the permissions function by: the one the SDK
    declares, the one the plugin asks for, and the one the stand-in
    Permissions.dll exports;
  - that nothing the compiler runtime's DLL has is imported from the
    universal CRT's (Wine's ucrtbase.dll has much of vcruntime140.dll's, and
    Microsoft's modules take those from vcruntime140.dll).

Prints what it found and exits 1 when anything differs from expected.txt.
  abi_check.py --build DIR
"""
import argparse
import json
import pathlib
import re
import shlex
import subprocess
import sys
import tempfile

READOBJ = "llvm-readobj-19"
NM = "llvm-nm-19"
WINE_DLLS = pathlib.Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
RECORDS = ["FString", "TArray<wchar_t>", "FLinearColor", "RCONPacket", "FPrimalChatMessage"]
INTERFACES = ["AsaApi::ICommands", "AsaApi::IHooks"]


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("failed: " + shlex.join(command) + "\n" + result.stdout + result.stderr)
    return result.stdout


def compile_like_the_plugin(build, source, out):
    """abi_check.cpp with the flags of the plugin's entry, its layouts dumped."""
    commands = json.loads((build / "compile_commands.json").read_text())
    entry = next(c for c in commands if c["file"].endswith("plugin/entry.cpp"))
    words = shlex.split(entry["command"])
    # The compiler and its options, without the input and output the entry had.
    options = [w for w in words[1:input_at(words)] if not w.startswith(("/Fo", "-Fo", "/Fd", "-Fd"))]
    return run([words[0]] + options + ["-Xclang", "-fdump-record-layouts", "-Xclang", "-fdump-vtable-layouts",
                                       "/c", "/Fo" + str(out), "--", str(source)])


def input_at(words):
    """Where the command's input starts: at '--', or the last word."""
    return words.index("--") if "--" in words else len(words) - 1


def records(dump):
    """'record NAME SIZE: member offset, ...' for each record of RECORDS."""
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
    """'vtable NAME SLOT: function' for each interface."""
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


def imports(dll):
    """{DLL name: [function, ...]} of a PE file's import table."""
    table = {}
    current = None
    for line in run([READOBJ, "--coff-imports", str(dll)]).split("\n"):
        if m := re.match(r"\s+Name: (\S+)$", line):
            current = table.setdefault(m.group(1), [])
        elif (m := re.match(r"\s+Symbol: (\S+) \(\d+\)$", line)) and current is not None:
            current.append(m.group(1))
    return table


def exports(dll):
    return re.findall(r"^\s+Name: (\S+)$", run([READOBJ, "--coff-exports", str(dll)]), re.M)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=pathlib.Path)
    options = parser.parse_args()
    build = options.build.resolve()
    source = pathlib.Path(__file__).resolve().parents[2]
    plugin = build / "bin/Glyphwork.dll"

    found = []
    with tempfile.TemporaryDirectory() as work:
        sdk_obj = pathlib.Path(work) / "abi_check.obj"
        dump = compile_like_the_plugin(build, source / "tests/abi/abi_check.cpp", sdk_obj)
        found += records(dump)
        found += vtables(dump)
        declared = [s[len("__imp_"):] for s in run([NM, "--undefined-only", str(sdk_obj)]).split()
                    if s.startswith("__imp_?IsPlayerInGroup@")]

    machine = re.search(r"Machine: (\S+)", run([READOBJ, "--file-headers", str(plugin)])).group(1)
    found.append(f"machine {machine}")
    found += [f"export {name}" for name in sorted(exports(plugin))]
    table = imports(plugin)
    found += [f"dll {name}" for name in sorted(table)]
    found += [f"import {name}" for name in sorted(table.get("AsaApi.dll", []))]

    asked = re.findall(r'kIsPlayerInGroupSymbol = "([^"]+)"', (source / "platform/platform_windows.cpp").read_text())
    stand_in = [name for name in exports(build / "bin/Permissions.dll")
                if name.startswith("?IsPlayerInGroup@")]
    if declared and asked == declared and stand_in == declared:
        found.append(f"bound {declared[0]}")
    else:
        found.append(f"bound: declared {declared}, asked for {asked}, stand-in exports {stand_in}")

    compiler_runtime = set(exports(WINE_DLLS / "vcruntime140.dll"))
    misplaced = sorted(set(table.get("ucrtbase.dll", [])) & compiler_runtime)
    if misplaced:
        found.append("from ucrtbase.dll, functions of vcruntime140.dll: " + ", ".join(misplaced))

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
    runtime = sum(len(names) for dll, names in table.items() if dll != "AsaApi.dll")
    print(f"ABI check: {len(found)} facts as the live host has them ({len(RECORDS)} records, {len(INTERFACES)} "
          f"tables, {len(table.get('AsaApi.dll', []))} host imports, {runtime} imports of the runtime and "
          f"Windows from {len(table) - 1} DLLs, 1 bound name, the exports).")
    return 0


if __name__ == "__main__":
    sys.exit(main())
