#!/usr/bin/env python3
"""What a shipped program (MdacRepair.exe, MdacCheck.exe) is made of, for scripts/bench.

    bench/program_size.py <linker map> <stripped program> <budget in bytes>

Sums the sizes of the input sections that stay in a stripped program (code, read-only data, data, unwind
tables) by where the linker took them from: our code (the build's own objects and libraries), the C++
runtime (libstdc++, libgcc and its unwinder) and the C runtime with MinGW's start-up code. The resources are
the .rsrc section; the rest of the file is import tables, relocations, headers and alignment.
"""
import pathlib
import re
import sys

KEPT = {".text", ".data", ".rdata", ".eh_frame", ".CRT", ".tls", ".pdata", ".xdata"}
OUTPUT = re.compile(r"^(\.\S+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+")
INPUT = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
CXX_RUNTIME = ("libstdc++", "libsupc++", "libgcc")


def contributor(source):
    if not source.startswith("/"):
        return "our code (ui, repair, check, the entry module)"
    library = source.rsplit("/", 1)[-1]
    if library.startswith(CXX_RUNTIME):
        return "C++ runtime (libstdc++, libgcc and its unwinder)"
    return "C runtime and MinGW start-up"


def sizes_from_map(path):
    sizes, section, pending = {}, None, None
    for line in pathlib.Path(path).read_text(errors="replace").splitlines():
        if (match := OUTPUT.match(line)) and not line.startswith(" "):
            section = match.group(1)
            continue
        if pending is not None:  # a long input section name has its figures on the next line
            line = " " + pending + " " + line.strip()
            pending = None
        elif re.match(r"^ \S+$", line):
            pending = line.strip()
            continue
        match = INPUT.match(line)
        if not match or section not in KEPT or match.group(1) in (None, "*fill*"):
            continue
        who = contributor(match.group(4).strip())
        sizes[who] = sizes.get(who, 0) + int(match.group(3), 16)
    return sizes


def rsrc_size(program):
    data = pathlib.Path(program).read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    count = int.from_bytes(data[pe + 6:pe + 8], "little")
    table = pe + 24 + int.from_bytes(data[pe + 20:pe + 22], "little")
    for i in range(count):
        header = data[table + 40 * i:table + 40 * (i + 1)]
        if header[:8].rstrip(b"\0") == b".rsrc":
            return int.from_bytes(header[16:20], "little")
    return 0


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip().splitlines()[2].strip())
        return 2
    program = pathlib.Path(sys.argv[2])
    total, budget = program.stat().st_size, int(sys.argv[3])
    parts = sorted(sizes_from_map(sys.argv[1]).items(), key=lambda item: -item[1])
    parts.append(("resources (.rsrc: window design, icon, manifest)", rsrc_size(program)))
    parts.append(("import tables, relocations, headers, alignment", total - sum(size for _, size in parts)))
    name = program.name.replace(".shipped", "")
    print(f"  {name} as shipped (stripped): {total:,} bytes, budget {budget:,} "
          f"({total / budget:.0%} of it)")
    for label, size in parts:
        print(f"    {label:<52} {size:>9,} bytes  {size / total:5.1%}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
