"""MdacRepair's file lists, as the scripts read them: scripts/package checks them, scripts/run-report reports
what a repair made of them.

A list is 文件列表.ini in code page 936: section [文件列表], one line per component, its file name relative to
the list's folder, "=", its destination, where 路径 stands for the shared System folder.
"""
import pathlib
import re

SECTION = "文件列表"
PLACEHOLDER = "路径"
LIST_NAME = "文件列表.ini"
DRIVE_PATH = re.compile(r"^[A-Za-z]:\\")
SPACES = " \t\r\n\v\f\x1a"


def parse_list(text):
    """The key-value lines of the first [文件列表] section, as the system's profile reader finds them; None
    when there is no such section."""
    entries, in_section, seen = [], False, False
    for raw in text.split("\n"):
        line = raw.strip(SPACES)
        if not line:
            continue
        if line.startswith("[") and "]" in line:
            if seen:
                break
            in_section = line[1:line.rindex("]")].lower() == SECTION.lower()
            seen = in_section
            continue
        if in_section and not line.startswith(";"):
            key, _, value = line.partition("=")
            entries.append((key.strip(SPACES), value.strip(SPACES) if "=" in line else ""))
    return entries if seen else None


def read_list(path):
    """The entries of a list file known to be sound (empty when it has no section)."""
    return parse_list(pathlib.Path(path).read_bytes().decode("gbk")) or []


def destination(value, system_base):
    """An entry's destination: every 路径 in its value stands for the shared System folder."""
    return value.replace(PLACEHOLDER, system_base)


def check_list(label, path, components):
    """Problems of one list whose files are in the folder components, and its entries. A list that is not
    readable in code page 936, lacks the section, names a file that is not in that folder, or gives an empty
    destination or one that uses neither 路径 nor a drive path has problems."""
    try:
        data = pathlib.Path(path).read_bytes()
    except OSError as error:
        return [f"{label}: cannot read {path}: {error.strerror}"], []
    try:
        text = data.decode("gbk")
    except UnicodeDecodeError as error:
        return [f"{label}: {path} is not readable in code page 936 (byte 0x{data[error.start]:02X} at offset "
                f"{error.start})"], []
    entries = parse_list(text)
    if entries is None:
        return [f"{label}: {path} lacks the section [{SECTION}]"], []
    problems = []
    root = pathlib.Path(components).resolve()
    for key, value in entries:
        source = (root / key.replace("\\", "/")).resolve()
        if not key or root not in source.parents or not source.is_file():
            problems.append(f"{label}: {path} names {key!r}, which is not in {components}")
        if not value:
            problems.append(f"{label}: {path} gives {key!r} an empty destination")
        elif PLACEHOLDER not in value and not DRIVE_PATH.match(value):
            problems.append(f"{label}: {path} gives {key!r} the destination {value!r}, which uses neither "
                            f"{PLACEHOLDER} nor a drive path")
    if not entries:
        problems.append(f"{label}: {path} names no component in [{SECTION}]")
    return problems, entries
