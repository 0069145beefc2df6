#!/usr/bin/env python3
"""Converts the licence agreement from its UTF-8 source to the form the installer carries:
Windows-1251, lines ended by CR LF, the last line without a line end (the source's own final
line end is dropped). Fails on a character that Windows-1251 cannot hold.

Usage: licence_text.py [source.utf8.txt [output.txt]]
       (default: resources/licence.utf8.txt -> resources/licence.txt of this repository)"""

import os
import sys


def convert(text):
    lines = text.replace("\r\n", "\n").split("\n")
    if len(lines) > 1 and lines[-1] == "":
        lines.pop()  # the source file's final line end
    return "\r\n".join(lines).encode("cp1251")


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "licence.utf8.txt")
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "resources", "licence.txt")
    with open(source, encoding="utf-8") as f:
        data = convert(f.read())
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
