#!/usr/bin/env python3
"""Checks the order in which a successful run showed its effects, from Wine's relay trace.

    check_order.py RELAY_LOG PID LISTING FOLDER DESKTOP(yes|no)

RELAY_LOG is the output of a run with WINEDEBUG=+pid,+relay and the relay list narrowed to the
calls below; PID the installer's process id (decimal, from the driver's transcript); LISTING the
`pelpack list` output of the installer; FOLDER the installation folder as the installer spells it.
The installer's own calls, in order, must be: the destination and licence pages, every file of
the archive written, the Start-menu group and the links (each link object created, then its file
saved), the features page opened with "open" (relative name, no owner, SW_SHOW), the record (the
Setup key under HKCU with full access, Path and Version with their text lengths, no terminator
counted), the toolbar key deleted, and the completion page.
Prints one line per problem; exit 1 when there is any.
"""
import re
import sys

CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call ([\w.]+)\((.*)\) ret=[0-9a-f]+$")


def unescape(body, wide):
    """The text of a Wine debug string ("..." or L"..."): \\xNN bytes, \\NNNN UTF-16 units."""
    out = []
    raw = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            if wide:
                out.append(c)
            else:
                raw += c.encode("latin-1")
            i += 1
            continue
        n = body[i + 1]
        if n in "\\\"'":
            ch, i = n, i + 2
        elif n == "n":
            ch, i = "\n", i + 2
        elif n == "r":
            ch, i = "\r", i + 2
        elif n == "t":
            ch, i = "\t", i + 2
        elif n == "x" and not wide:
            raw.append(int(body[i + 2:i + 4], 16))
            i += 4
            continue
        elif wide and re.match(r"[0-9a-fA-F]{4}", body[i + 1:i + 5]):
            ch, i = chr(int(body[i + 1:i + 5], 16)), i + 5
        else:
            ch, i = n, i + 2
        if wide:
            out.append(ch)
        else:
            raw += ch.encode("latin-1")
    return "".join(out) if wide else raw.decode("cp1251")


def strings(args):
    """The quoted texts among a call's arguments, in order."""
    return [unescape(m.group(2), m.group(1) == "L")
            for m in re.finditer(r'(L?)"((?:[^"\\]|\\.)*)"', args)]


def numbers(args):
    """The plain hexadecimal arguments, with the quoted texts removed."""
    plain = re.sub(r'\s*L?"(?:[^"\\]|\\.)*"', "", args)
    return [int(a, 16) for a in plain.split(",") if re.fullmatch(r"\s*[0-9a-fA-F]+\s*", a)]


def events(log, pid):
    """The installer's calls as short tokens."""
    found = []
    for line in open(log, encoding="latin-1"):
        m = CALL.match(line.rstrip("\n"))
        if not m or int(m.group(1), 16) != pid:
            continue
        name = m.group(2).split(".")[-1]
        args = m.group(3)
        texts = strings(args)
        nums = numbers(args)
        if name == "DialogBoxParamA":
            found.append(("page", nums[1]))
        elif name == "CreateDirectoryA":
            found.append(("dir", texts[0]))
        elif name == "MoveFileExA" and len(texts) >= 2:
            # A file is written beside its place, then moved into it.
            found.append(("file", texts[1]))
        elif name == "CreateFileW" and texts and texts[0].lower().endswith(".lnk"):
            found.append(("link-file", texts[0]))
        elif name == "CoCreateInstance":
            found.append(("link-object", ""))
        elif name == "ShellExecuteA":
            # owner, verb, file, parameters, directory, show command (an int: the upper half
            # of its 64-bit slot is undefined)
            found.append(("shell", "%s owner=%x parameters=%x directory=%x show=%d"
                          % (" ".join(texts), nums[0], nums[3], nums[4], nums[5] & 0xFFFFFFFF)))
        elif name == "RegCreateKeyExA":
            # root, path, reserved, class, options, access, security
            root = {0x80000001: "HKCU", 0x80000002: "HKLM"}.get(nums[0] & 0xFFFFFFFF, "%x" % nums[0])
            found.append(("reg-create", "%s\\%s reserved=%d options=%d access=%x security=%x"
                          % (root, texts[0], nums[2], nums[4], nums[5], nums[6])))
        elif name == "RegSetValueExA":
            found.append(("reg-set", "%s type=%d length=%d" % (texts[0], nums[3], nums[-1])))
        elif name == "RegDeleteKeyA":
            found.append(("reg-delete", texts[0]))
    return found


def main():
    log, pid, listing, folder, desktop = sys.argv[1:6]
    payload = []
    for line in open(listing, encoding="utf-8"):
        fields = line.rstrip("\n").split("\t")
        if len(fields) == 7 and fields[0] == "file":
            payload.append(fields)
    dirs = {}
    for line in open(listing, encoding="utf-8"):
        fields = line.rstrip("\n").split("\t")
        if len(fields) == 7 and fields[0] == "dir":
            dirs[fields[1]] = fields[6]
    names = [(dirs[f[4]] + "\\" if f[4] in dirs else "") + f[6] for f in payload]

    got = events(log, int(pid))
    problems = []
    kinds = [k for k, _ in got]
    if not got:
        print("no relay lines of process %s" % pid)
        return 1

    # The order as a whole, one letter per call: pages P, folders D, files F, link objects L,
    # link files K, shell S, registry C (create), V (set), X (delete).
    letter = {"page": "P", "dir": "D", "file": "F", "link-object": "L", "link-file": "K", "shell": "S",
              "reg-create": "C", "reg-set": "V", "reg-delete": "X"}
    shape = "".join(letter[k] for k in kinds)
    links = 7 if desktop == "yes" else 6
    want = r"^PPD[DF]+D(LK){%d}SCVVXP$" % links
    if not re.match(want, shape):
        problems.append("calls in the order %s, not %s" % (shape, want))

    pages = [v for k, v in got if k == "page"]
    if pages != [1, 2, 5]:
        problems.append("pages %s, not the destination (1), licence (2) and completion (5)" % pages)
    made = [v for k, v in got if k == "dir"]
    if not made or made[0] != folder:
        problems.append("the first folder made is %s, not %s" % (made[:1], folder))
    written = {v.lower() for k, v in got if k == "file"}
    for name in names:
        if name.lower() not in written and (folder + "\\" + name).lower() not in written:
            problems.append("no file written for %s" % name)
    titles = [v.rsplit("\\", 1)[-1] for k, v in got if k == "link-file"]
    want_titles = ["Программа.lnk", "Инструкция.lnk", "Новости.lnk", "Лицензионное соглашение.lnk",
                   "Особенности.lnk", "Удалить Пелбриксон.lnk"] + (["Пелбриксон.lnk"] if desktop == "yes" else [])
    if titles != want_titles:
        problems.append("links saved %s, not %s" % (titles, want_titles))
    shell = [v for k, v in got if k == "shell"]
    if shell != ["open features.htm owner=0 parameters=0 directory=0 show=5"]:
        problems.append("shell calls %s, not one open of features.htm" % shell)
    record = [(k, v) for k, v in got if k.startswith("reg-")]
    want_record = [("reg-create", "HKCU\\Software\\Pelbrix\\Setup reserved=0 options=0 access=f003f security=0"),
                   ("reg-set", "Path type=1 length=%d" % len(folder.encode("cp1251"))),
                   ("reg-set", "Version type=1 length=5"),
                   ("reg-delete", "Software\\Pelbrix\\Main\\TFormMainToolBar")]
    if record != want_record:
        problems.append("registry calls %s, not %s" % (record, want_record))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
