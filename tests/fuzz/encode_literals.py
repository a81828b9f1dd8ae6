#!/usr/bin/env python3
"""Copies a C++ source with its ordinary narrow literals in code page 936, as octal escapes.

The product is built with -fexec-charset=CP936, which clang does not have. The fuzz build compiles
copies of the engine's sources made by this script instead, so that "路径" is the same four bytes
there as in the program. Only ordinary string and character literals are rewritten: comments, u8, u,
U and L literals keep their characters, as they do under -fexec-charset. Each non-ASCII character
becomes three-digit octal escapes, which cannot run on into a following digit as hex escapes do.

usage: encode_literals.py SOURCE DESTINATION
"""
import sys


def encode(text: str) -> str:
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(text[i:end])
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            if end < 0:
                raise ValueError("unterminated comment")
            out.append(text[i : end + 2])
            i = end + 2
        elif c in "\"'":
            # The literal's prefix, if any, is the identifier characters right before it.
            j = i
            while j > 0 and (text[j - 1].isalnum() or text[j - 1] == "_"):
                j -= 1
            prefix = text[j:i]
            if prefix.endswith("R"):
                raise ValueError(f"raw literal at offset {i}: not handled")
            if c == "'" and j < i and text[j].isdigit():
                out.append(c)  # a digit separator (1'000)
                i += 1
                continue
            end = i + 1
            while end < n and text[end] != c:
                if text[end] == "\\":
                    end += 1
                elif text[end] == "\n":
                    raise ValueError(f"unterminated literal at offset {i}")
                end += 1
            body = text[i + 1 : end]
            if prefix == "":
                body = "".join(
                    ch if ord(ch) < 0x80 else "".join(f"\\{b:03o}" for b in ch.encode("cp936")) for ch in body
                )
            out.append(c + body + c)
            i = end + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main() -> int:
    source, destination = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    try:
        encoded = encode(text)
    except (ValueError, UnicodeEncodeError) as e:
        print(f"{source}: {e}", file=sys.stderr)
        return 1
    with open(destination, "w", encoding="utf-8", newline="") as f:
        f.write(encoded)
    return 0


if __name__ == "__main__":
    sys.exit(main())
