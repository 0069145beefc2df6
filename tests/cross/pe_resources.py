#!/usr/bin/env python3
"""Reads a PE file's resource table and dialog templates (stdlib only).

  pe_resources.py list EXE                 one line per resource: type name language size sha256"""

import hashlib
import struct
import sys

RT_NAMES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING", 10: "RCDATA",
            14: "GROUP_ICON", 16: "VERSION", 24: "MANIFEST"}
RT_DIALOG = 5


class PE:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = data = f.read()
        if data[:2] != b"MZ":
            raise ValueError("not an MZ file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        _, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        wide = struct.unpack_from("<H", data, opt)[0] == 0x20B  # PE32+
        dirs = opt + (112 if wide else 96)
        self.image_base = struct.unpack_from("<Q" if wide else "<I", data, opt + (24 if wide else 28))[0]
        self.image_size = struct.unpack_from("<I", data, opt + 56)[0]
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, dirs + 2 * 8)
        self.sections = []
        table = opt + optional_size
        for s in range(table, table + 40 * sections, 40):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA 0x%x outside every section" % rva)

    def resources(self):
        """{(type, name, language): bytes}; ids as ints, names as strings. self.leaves: the file
        offset of each one's data entry (its RVA, then its size)."""
        out, self.leaves = {}, {}
        if not self.resource_rva:
            return out
        base = self.offset(self.resource_rva)

        def entries(at):
            _, _, _, _, named, ids = struct.unpack_from("<IIHHHH", self.data, base + at)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if name & 0x80000000:
                    n = struct.unpack_from("<H", self.data, base + (name & 0x7FFFFFFF))[0]
                    s = base + (name & 0x7FFFFFFF) + 2
                    name = self.data[s:s + 2 * n].decode("utf-16-le")
                yield name, target

        for rtype, t in entries(0):
            for rname, n in entries(t & 0x7FFFFFFF):
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    self.leaves[(rtype, rname, lang)] = base + leaf
                    at = self.offset(rva)
                    out[(rtype, rname, lang)] = self.data[at:at + size]
        return out


# --- dialog templates (DLGTEMPLATEEX) ---

def _sz_or_ord(b, at):
    """A template field: 0 (none), 0xFFFF + ordinal, or a UTF-16 string. Returns (value, next)."""
    first = struct.unpack_from("<H", b, at)[0]
    if first == 0:
        return "", at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", b, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", b, end)[0] != 0:
        end += 2
    return b[at:end].decode("utf-16-le"), end + 2


def parse_dialog(b):
    """A DLGTEMPLATEEX's caption and its controls' ids and texts."""
    ver, sig = struct.unpack_from("<HH", b, 0)
    if (ver, sig) != (1, 0xFFFF):
        raise ValueError("not a DLGTEMPLATEEX")
    style, count = struct.unpack_from("<IH", b, 12)
    at = _sz_or_ord(b, _sz_or_ord(b, 26)[1])[1]  # menu, class
    caption, at = _sz_or_ord(b, at)
    d = {"caption": caption, "controls": []}
    if style & 0x40:  # DS_SETFONT: point size, weight, italic, charset, then the face name
        at = _sz_or_ord(b, at + 6)[1]
    for _ in range(count):
        at = (at + 3) & ~3
        cid = struct.unpack_from("<I", b, at + 20)[0]
        text, at = _sz_or_ord(b, _sz_or_ord(b, at + 24)[1])
        at += 2 + struct.unpack_from("<H", b, at)[0]
        d["controls"].append({"id": cid, "text": text})
    return d


def describe(key):
    t, n, lang = key
    return "%s %s %d" % (RT_NAMES.get(t, t), n, lang)


def main(argv):
    if len(argv) >= 2 and argv[0] == "list":
        for key, b in sorted(PE(argv[1]).resources().items(), key=lambda kv: str(kv[0])):
            print("%s %d %s" % (describe(key), len(b), hashlib.sha256(b).hexdigest()[:16]))
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main(sys.argv[1:])
