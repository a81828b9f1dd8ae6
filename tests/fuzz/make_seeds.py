#!/usr/bin/env python3
"""Writes the hand-made seed corpus of each fuzz target into corpus/<target>/.

Each seed is laid out as its target reads its input (see the comment at the top of each target). Texts
are written here in UTF-8 and stored in code page 936, as the program's file lists are. Run again after
changing a layout; the files are checked in.
"""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


def gbk(text: str) -> bytes:
    return text.encode("cp936")


TRAIL_5C = "淺"  # 9C 5C: its trail byte is the "\"
assert gbk(TRAIL_5C) == b"\x9c\x5c"

XP_LIST = "[文件列表]\r\nmdacado.dll=路径\\ado\\mdacado.dll\r\nmdacrds.dll=路径\\msadc\\mdacrds.dll\r\n" \
          "数据访问.dll=路径\\ole db\\数据访问.dll\r\n"


def profile(flags, section, key, file, names_size=None, value_size=None):
    # [flags] [names size unless flags & 2] [value size unless flags & 4] section NUL key NUL file
    out = bytes([flags])
    if not flags & 2:
        out += bytes([names_size])
    if not flags & 4:
        out += bytes([value_size])
    return out + gbk(section) + b"\0" + gbk(key) + b"\0" + file


PROFILE = {
    "xp_list_crlf": profile(0x0F, "", "mdacado.dll", gbk(XP_LIST)),
    "quoted_values": profile(0x0F, "", "b.dll", gbk(
        "[文件列表]\r\na.dll=\"路径\\ado\\a.dll\"\r\nb.dll = '路径\\msadc\\b.dll' \r\nc.dll=\"路径\\x'\r\n")),
    "trail_5c_names": profile(0x0F, "", TRAIL_5C + ".dll", gbk(
        f"[文件列表]\r\n{TRAIL_5C}.dll=路径\\ado\\{TRAIL_5C}.dll\r\n子\\{TRAIL_5C}\\b.dll=D:\\{TRAIL_5C}\r\n")),
    "tiny_buffers": profile(0x09, "", "mdacrds.dll", gbk(XP_LIST), names_size=13, value_size=5),
    "ascii_sections_lf": profile(0x01, "FileList", "KEY", gbk(
        "; comment\n[Other]\nkey=other\n[filelist]\n;key=commented\nno equals sign\n=empty name\n"
        "Key=first\nkey=second\n[FILELIST]\nkey=third\n\x1a"), names_size=40, value_size=40),
    "single_byte_table": profile(0x0E, "", "数据访问.dll", gbk(XP_LIST)),
    "no_section_close": profile(0x0F, "", "a", b"[\xce\xc4\xbc\xfe\xc1\xd0\xb1\xed\r\na=b\r\n[x\r\nc=d"),
}

PLACEHOLDER = {
    "two_placeholders": b"\x01" + gbk("C:\\CF\\System\0C:\\Tools\\\0a.dll\0路径\\ado\\路径.dll"),
    "base_holds_placeholder": b"\x03" + gbk("D:\\路径\\System\0C:\\\0数据访问.dll\0路径路径"),
    "unset_variable": b"\x01" + gbk("\\System\0C:\\Tools\\\0sub\\a.dll\0路径\\ado\\a.dll"),
    # "\xB6" then the placeholder's bytes: with code page 936 the match would begin on a trail byte.
    "placeholder_on_trail_byte": b"\x01C:\\S\0C:\\\0k\0\xb6" + gbk("路径") + b"\\x",
    "same_bytes_single_table": b"\x00C:\\S\0C:\\\0k\0\xb6" + gbk("路径") + b"\\x",
    "empty_value": b"\x01C:\\S\0C:\\\0k\0",
}


def text_seed(table, what, s, ranges=b"", from_choice=0, delimiters=0):
    # [table] ([length] ranges when table 2) [from] [delimiter set] what NUL text
    out = bytes([table])
    if table == 2:
        out += bytes([len(ranges)]) + ranges
    return out + bytes([from_choice, delimiters]) + what + b"\0" + s


TEXT = {
    "trail_5c_path": text_seed(1, b"\\", gbk(f"C:\\dir{TRAIL_5C}\\x{TRAIL_5C}")),
    "trail_5c_single": text_seed(0, b"\\", gbk(f"C:\\dir{TRAIL_5C}")),
    "drive_only": text_seed(1, b":", b"C:file"),
    "blanks_around_tag": text_seed(1, b"W7", b" \t W7 \r\n", from_choice=2),
    "cp932_ranges": text_seed(2, gbk("路径"), b"\x81\\a\xe0\\" + gbk("路径"), ranges=b"\x81\x9f\xe0\xfc\0\0"),
    "odd_ranges": text_seed(2, b"", b"\xff\\\xfe", ranges=b"\xfe\x81\xff"),
    "lead_at_end": text_seed(1, b"\xc2", b"abc\\\xc2", delimiters=4),
}


def chain(flags, path, answers=b""):
    # [flags] path NUL answers (one bit per question)
    return bytes([flags]) + gbk(path) + b"\0" + answers


FOLDER_CHAIN = {
    "shared_folder_missing": chain(1, "C:\\CF\\System\\ado", b"\0\0\1\1\1"),
    "all_present": chain(1, "C:\\CF\\System\\ole db", b"\1"),
    "unset_variable": chain(1, "\\System\\msadc", b"\0\0\1\1"),
    "relative_runs_out": chain(1, "abc\\ado", b"\0\0"),
    "trail_5c_folders": chain(1, f"C:\\{TRAIL_5C}\\{TRAIL_5C}", b"\0\0\1\1"),
    "trail_5c_single": chain(0, f"C:\\{TRAIL_5C}\\{TRAIL_5C}", b"\0\0\0\1\1\1"),
    "refused_midway": chain(1, "C:\\a\\b\\c\\d", b"\0\0\0\0\1\0"),
    "empty": chain(1, ""),
    "drive_relative": chain(1, "ab:", b"\0"),
    "trailing_backslashes": chain(1, "C:\\x\\\\", b"\0\0\1"),
}


def message(table, line_width, widest, lines, wrap, type_name, text):
    # [table] [line width] [widest line] [height in lines] [height's odd pixels] [wrap] type name NUL message
    return bytes([table, line_width, widest, lines, 0, wrap]) + type_name + b"\0" + text


MESSAGE = {
    "long_key_many_lines": message(1, 20, 40, 3, 0, b"St9bad_alloc", gbk(
        "文件列表中的键太长：" + "路径" * 30 + "\r\n另有 3 个\r\nmdacado.dll\r\n数据访问.dll")),
    "lone_lead_before_line_break": message(1, 8, 10, 1, 0, b"NSt8ios_base7failureB5cxx11E",
                                           b"a\x9c\r\nb\r\nc\x81\rdefghijklmnop"),
    "anonymous_namespace": message(0, 4, 6, 2, 5, b"N12_GLOBAL__N_15ErrorE", gbk("修复 完毕\tabcdefghij\r\n")),
    "trail_5c_words": message(1, 5, 9, 2, 3, b"N4repair5ErrorE", gbk(f"ab{TRAIL_5C}{TRAIL_5C}cd{TRAIL_5C}ef")),
}


def main():
    for target, seeds in (("profile", PROFILE), ("placeholder", PLACEHOLDER), ("text", TEXT),
                          ("folder_chain", FOLDER_CHAIN), ("message", MESSAGE)):
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
