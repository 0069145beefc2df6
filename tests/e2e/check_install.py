#!/usr/bin/env python3
"""Checks an installation folder that Wine wrote against the installer's archive listing.

    check_install.py LISTING FOLDER SOURCE [--kept NAME]...

LISTING is the output of `pelpack list` on the built installer, FOLDER the installation folder
on the Linux side of the prefix, SOURCE the folder the archive was packed from. Every directory
and file of the listing must be there and nothing else; each file must hold the source's bytes,
carry the record's time as its modification time (Wine keeps 100 ns) and its attribute bits
(read-only as missing write permission, hidden and system in the user.DOSATTRIB attribute).
Files named with --kept (names inside FOLDER) are only required to exist: the scenario checks
them itself. Prints one line per problem; exit 1 when there is any.
"""
import os
import sys

FILETIME_UNIX_EPOCH = 116444736000000000  # 1970-01-01 in 100 ns steps since 1601


def read_listing(path):
    dirs, files = {}, []
    with open(path, encoding="utf-8") as listing:
        for line in listing:
            fields = line.rstrip("\n").split("\t")
            if len(fields) != 7 or fields[0] not in ("dir", "file"):
                continue
            kind, index, attributes, time, dir_index, length, name = fields
            if kind == "dir":
                dirs[int(index)] = name
            else:
                files.append((int(attributes, 16), int(time), int(dir_index), int(length), name))
    return dirs, files


def dos_attributes(path):
    try:
        value = os.getxattr(path, "user.DOSATTRIB")
    except OSError:
        return 0
    try:
        return int(value.split(b"\0")[0].decode("ascii"), 0)
    except ValueError:
        return 0


def main(argv):
    if len(argv) < 4:
        print(__doc__)
        return 2
    listing, folder, source = argv[1:4]
    kept = set()
    rest = argv[4:]
    while rest[:1] == ["--kept"] and len(rest) > 1:
        kept.add(os.path.normpath(rest[1]))
        rest = rest[2:]
    problems = []
    dirs, files = read_listing(listing)
    if not files:
        problems.append("the listing has no files")
    expected = set()
    for name in dirs.values():
        relative = os.path.normpath(name.replace("\\", "/"))
        expected.add(relative)
        if not os.path.isdir(os.path.join(folder, relative)):
            problems.append(f"directory missing: {relative}")
    for attributes, time, dir_index, length, name in files:
        relative = name if dir_index == 0 else dirs.get(dir_index, "?").replace("\\", "/") + "/" + name
        relative = os.path.normpath(relative)
        expected.add(relative)
        path = os.path.join(folder, relative)
        if not os.path.isfile(path):
            problems.append(f"file missing: {relative}")
            continue
        if relative in kept:
            continue
        with open(path, "rb") as installed:
            data = installed.read()
        if len(data) != length:
            problems.append(f"{relative}: {len(data)} bytes, the archive has {length}")
        source_path = os.path.join(source, relative)
        if os.path.isfile(source_path):
            with open(source_path, "rb") as original:
                if original.read() != data:
                    problems.append(f"{relative}: contents differ from {source_path}")
        else:
            problems.append(f"{relative}: not in the source folder {source}")
        st = os.stat(path)
        want_ns = (time - FILETIME_UNIX_EPOCH) * 100
        if st.st_mtime_ns != want_ns:
            problems.append(f"{relative}: mtime {st.st_mtime_ns} ns, the archive says {want_ns} ns")
        read_only = not (st.st_mode & 0o200)
        if read_only != bool(attributes & 0x01):
            problems.append(f"{relative}: read-only is {read_only}, attributes 0x{attributes:02X}")
        hidden_system = dos_attributes(path) & 0x06
        if hidden_system != attributes & 0x06:
            problems.append(f"{relative}: hidden/system bits 0x{hidden_system:X}, attributes 0x{attributes:02X}")
    for top, subdirs, names in os.walk(folder):
        for name in subdirs + names:
            relative = os.path.normpath(os.path.relpath(os.path.join(top, name), folder))
            if relative not in expected and relative not in kept:
                problems.append(f"not from the archive: {relative}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
