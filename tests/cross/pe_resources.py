#!/usr/bin/env python3
"""Reads a PE file's resource table (stdlib only) and checks the installer's resources.

  pe_resources.py list EXE                 one line per resource: type name language size sha256
  pe_resources.py check EXE --licence F --bitmap F --icon F --payload F
                                           the installer's resources are these files
  pe_resources.py same EXE1 EXE2           the two files hold the same resources, the payload
                                           aside (it carries each build's own programs)
Exits 1 with a message on the first difference."""

import hashlib
import pathlib
import struct
import sys

RT_NAMES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING", 10: "RCDATA",
            14: "GROUP_ICON", 16: "VERSION", 24: "MANIFEST"}
RT_BITMAP, RT_ICON, RT_DIALOG, RT_RCDATA, RT_GROUP_ICON = 2, 3, 5, 10, 14


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
        dirs = opt + (96 if struct.unpack_from("<H", data, opt)[0] == 0x10B else 112)
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


def fail(message):
    print("pe_resources: " + message, file=sys.stderr)
    sys.exit(1)


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


# --- checks ---

def check_icon(res, ico):
    count = struct.unpack_from("<H", ico, 4)[0]
    group = res.get((RT_GROUP_ICON, 1, 0)) or fail("icon group 1 missing")
    if struct.unpack_from("<HHH", group, 0) != (0, 1, count):
        fail("icon group 1 header")
    for i in range(count):
        w, h, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        gw, gh, _, _, _, gbits, gsize, gid = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        if (gw, gh, gbits, gsize) != (w, h, bits, size) or res.get((RT_ICON, gid, 0)) != ico[offset:offset + size]:
            fail("icon image %d differs from the .ico" % i)
    if min(k[1] for k in res if k[0] == RT_GROUP_ICON) != 1:
        fail("icon group 1 is not the first icon group")


def check(path, licence, bitmap, icon, payload):
    res = PE(path).resources()
    # The bitmap resource is the .bmp file without its 14-byte file header.
    for key, name, skip in (((RT_RCDATA, 100, 0), licence, 0), ((RT_RCDATA, 101, 0), payload, 0), ((RT_BITMAP, 1, 0), bitmap, 14)):
        if res.get(key) != pathlib.Path(name).read_bytes()[skip:]:
            fail("%s differs from %s" % (describe(key), name))
    check_icon(res, pathlib.Path(icon).read_bytes())


def describe(key):
    t, n, lang = key
    return "%s %s %d" % (RT_NAMES.get(t, t), n, lang)


def main(argv):
    if len(argv) >= 2 and argv[0] == "list":
        for key, b in sorted(PE(argv[1]).resources().items(), key=lambda kv: str(kv[0])):
            print("%s %d %s" % (describe(key), len(b), hashlib.sha256(b).hexdigest()[:16]))
    elif len(argv) == 10 and argv[0] == "check" and argv[2::2] == ["--licence", "--bitmap", "--icon", "--payload"]:
        check(argv[1], argv[3], argv[5], argv[7], argv[9])
        print("%s: resources as expected" % argv[1])
    elif len(argv) == 3 and argv[0] == "same":
        a, b = PE(argv[1]).resources(), PE(argv[2]).resources()
        if set(a) != set(b):
            fail("resource sets differ: %s" % sorted(describe(k) for k in set(a) ^ set(b)))
        for key in a:
            if a[key] != b[key] and key[:2] != (RT_RCDATA, 101):
                fail("%s differs" % describe(key))
        print("same %d resources in both" % len(a))
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main(sys.argv[1:])
