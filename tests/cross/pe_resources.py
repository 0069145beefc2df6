#!/usr/bin/env python3
"""Reads a PE file's resource table (stdlib only) and checks the installer's resources.

  pe_resources.py list EXE                 one line per resource: type name language size sha256
  pe_resources.py check EXE ARCH --licence F --bitmap F --icon F --payload F
                                           the installer's resources and PE kind (ARCH i686|x86_64)
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
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
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
        """{(type, name, language): bytes}; ids as ints, names as strings."""
        out = {}
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


CONTROL_CLASSES = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox", 0x84: "ScrollBar", 0x85: "ComboBox"}


def parse_dialog(b):
    ver, sig = struct.unpack_from("<HH", b, 0)
    if (ver, sig) != (1, 0xFFFF):
        raise ValueError("not a DLGTEMPLATEEX")
    _, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<IIIHhhhh", b, 4)
    at = 26
    at = _sz_or_ord(b, _sz_or_ord(b, at)[1])[1]  # menu, class
    caption, at = _sz_or_ord(b, at)
    d = {"style": style, "exstyle": exstyle, "rect": (x, y, cx, cy), "caption": caption, "controls": []}
    if style & 0x40:  # DS_SETFONT
        d["pointsize"] = struct.unpack_from("<H", b, at)[0]
        d["font"], at = _sz_or_ord(b, at + 6)
    for _ in range(count):
        at = (at + 3) & ~3
        _, cexstyle, cstyle, x, y, cx, cy, cid = struct.unpack_from("<IIIhhhhI", b, at)
        at += 24
        ccls, at = _sz_or_ord(b, at)
        text, at = _sz_or_ord(b, at)
        extra = struct.unpack_from("<H", b, at)[0]
        at += 2 + extra
        ccls = CONTROL_CLASSES.get(ccls, ccls) if isinstance(ccls, int) else ccls
        d["controls"].append({"id": cid, "class": ccls.lower(), "style": cstyle, "exstyle": cexstyle,
                              "rect": (x, y, cx, cy), "text": text})
    return d


# --- checks ---

WS_DISABLED, WS_SYSMENU, WS_BORDER = 0x08000000, 0x00080000, 0x00800000
WS_POPUP, WS_VISIBLE, WS_CAPTION = 0x80000000, 0x10000000, 0x00C00000
DS_MODALFRAME, DS_CENTER, DS_3DLOOK, DS_CONTEXTHELP, DS_SETFONT = 0x80, 0x800, 0x4, 0x2000, 0x40
ES_AUTOHSCROLL, SS_BITMAP, WS_EX_STATICEDGE = 0x80, 0xE, 0x20000

# Dialog id: (caption, width, height, system menu, context help, control ids in tab order).
PAGES = {
    1: ("Пелбриксон", 279, 177, False, False, [1, 2, 102, 103, 104, 105, 106, 107, 108, 101]),
    2: ("Пелбриксон", 395, 176, True, True, [1, 2, 102, 103, 104, 101]),
    3: ("Выбор папки", 291, 182, True, False, [1, 2, 106, 110, 111]),
    4: ("Установка программы 'Пелбриксон'", 281, 177, True, True, [1, 2, 101, 102, 103, 104, 106, 105, 107, 108, 109]),
    5: ("", 265, 177, True, True, [1, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110]),
}


def check_dialogs(res):
    for did, (caption, cx, cy, sysmenu, help_, ids) in PAGES.items():
        where = "dialog %d" % did
        d = parse_dialog(res.get((RT_DIALOG, did, 0)) or fail(where + " missing (language neutral)"))
        base = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_3DLOOK | DS_SETFONT
        want = base | (WS_SYSMENU if sysmenu else 0) | (DS_CONTEXTHELP if help_ else 0)
        if d["style"] != want:
            fail("%s style 0x%08x, expected 0x%08x" % (where, d["style"], want))
        if d["caption"] != caption or d["rect"][2:] != (cx, cy):
            fail("%s caption/size %r %r" % (where, d["caption"], d["rect"]))
        if (d.get("font"), d.get("pointsize")) != ("MS Sans Serif", 8):
            fail("%s font %r %r" % (where, d.get("font"), d.get("pointsize")))
        if [c["id"] for c in d["controls"]] != ids:
            fail("%s control order %r" % (where, [c["id"] for c in d["controls"]]))
        for c in d["controls"]:
            w = "%s control %d" % (where, c["id"])
            if c["class"] == "edit" and c["style"] & ES_AUTOHSCROLL:
                fail(w + ": the field must not scroll horizontally")
            if c["id"] == 101 and did != 3:
                border = did != 5
                if c["style"] & 0x1F != SS_BITMAP or c["text"] != "#1" or bool(c["style"] & WS_BORDER) != border:
                    fail(w + ": picture control 0x%08x %r" % (c["style"], c["text"]))
            disabled = (did, c["id"]) in ((2, 1), (4, 105))
            if bool(c["style"] & WS_DISABLED) != disabled:
                fail(w + (" must start disabled" if disabled else " must start enabled"))
            frame_edge = (did, c["id"]) in ((1, 102), (2, 103))
            if bool(c["exstyle"] & WS_EX_STATICEDGE) != frame_edge:
                fail(w + ": static edge")


def check_icon(res, ico):
    count = struct.unpack_from("<H", ico, 4)[0]
    group = res.get((RT_GROUP_ICON, 1, 0)) or fail("icon group 1 missing")
    if struct.unpack_from("<HHH", group, 0) != (0, 1, count):
        fail("icon group 1 header")
    formats = set()
    for i in range(count):
        w, h, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        gw, gh, _, _, _, gbits, gsize, gid = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        if (gw, gh, gbits, gsize) != (w, h, bits, size) or res.get((RT_ICON, gid, 0)) != ico[offset:offset + size]:
            fail("icon image %d differs from the .ico" % i)
        formats.add((w, bits))
    if formats != {(16, 4), (32, 4), (16, 8), (32, 8)}:
        fail("icon formats %r" % sorted(formats))
    if min(k[1] for k in res if k[0] == RT_GROUP_ICON) != 1:
        fail("icon group 1 is not the first icon group")


def check(path, arch, licence, bitmap, icon, payload):
    pe = PE(path)
    want = {"i686": (0x14C, 0x10B), "x86_64": (0x8664, 0x20B)}[arch]
    if (pe.machine, pe.magic) != want:
        fail("%s: machine 0x%x magic 0x%x, expected 0x%x 0x%x" % (path, pe.machine, pe.magic, *want))
    res = pe.resources()
    # The bitmap resource is the .bmp file without its 14-byte file header.
    for key, name, skip in (((RT_RCDATA, 100, 0), licence, 0), ((RT_RCDATA, 101, 0), payload, 0), ((RT_BITMAP, 1, 0), bitmap, 14)):
        if res.get(key) != pathlib.Path(name).read_bytes()[skip:]:
            fail("%s differs from %s" % (describe(key), name))
    dib = res[(RT_BITMAP, 1, 0)]
    _, w, h, _, bits, compression = struct.unpack_from("<IiiHHI", dib, 0)
    if (w, h, bits, compression) != (115, 232, 4, 0):
        fail("bitmap 1 is %dx%d, %d bpp, compression %d" % (w, h, bits, compression))
    check_icon(res, pathlib.Path(icon).read_bytes())
    check_dialogs(res)


def describe(key):
    t, n, lang = key
    return "%s %s %d" % (RT_NAMES.get(t, t), n, lang)


def main(argv):
    if len(argv) >= 2 and argv[0] == "list":
        for key, b in sorted(PE(argv[1]).resources().items(), key=lambda kv: str(kv[0])):
            print("%s %d %s" % (describe(key), len(b), hashlib.sha256(b).hexdigest()[:16]))
    elif len(argv) == 11 and argv[0] == "check" and argv[3::2] == ["--licence", "--bitmap", "--icon", "--payload"]:
        check(argv[1], argv[2], argv[4], argv[6], argv[8], argv[10])
        print("%s: resources and PE kind as expected" % argv[1])
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
