#!/usr/bin/env python3
"""Runs the end-to-end scenarios (tests/e2e/scenarios/*.scn, their language described in the
README there) under Wine and checks them: scenario.py [NAME...], no names for all of them;
PEL_E2E_JOBS of them at a time, each on a virtual display of its own (and in its own prefix).
scripts/test-e2e.sh calls it with the base prefix and the environment ready."""
import calendar
import glob
import hashlib
import itertools
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "cross"))
import pe_resources  # noqa: E402

ENV = os.environ
E2E = ENV["PEL_E2E_DIR"]
SCENARIOS = os.path.join(HERE, "scenarios")
WINE_LIB = os.path.join(ROOT, "scripts", "wine-lib.sh")
# The Start-menu links: the product's constant of each title (replaced by its text at start), target.
LINKS = [("kLinkProgram", "Pelbrix.exe"), ("kLinkHelp", "Help.htm"), ("kLinkNews", "News.htm"),
         ("kLinkLicence", "Licence.txt"), ("kLinkFeatures", "features.htm"), ("kLinkUninstall", "uninstall.exe")]
# The uninstaller's names list: RCDATA of this id (resources/resource.h).
NAMES_ID = int(re.search(r"#define PEL_RCDATA_NAMES (\d+)", open(os.path.join(ROOT, "resources", "resource.h")).read())[1])
# The locales the scenarios run under (PEL_E2E_LOCALE, else 1251), named by the
# ANSI code page Wine gives them, which it takes from LC_CTYPE; any other NAME is a Linux locale
# for LC_ALL. 65001 keeps English messages and takes LC_CTYPE from a locale Windows has no ANSI
# code page for. All of them UTF-8, the character set Wine gives Linux file names.
LOCALES = {"1251": {"LC_ALL": "ru_RU.UTF-8"}, "1252": {"LC_ALL": "en_US.UTF-8"}, "932": {"LC_ALL": "ja_JP.UTF-8"},
           "65001": {"LANG": "en_US.UTF-8", "LC_CTYPE": "hi_IN.UTF-8"}}


def words_of(line):
    """Blank-separated words; "..." keeps blanks; backslashes are plain text."""
    return [a if a else b for a, b in re.findall(r'"([^"]*)"|(\S+)', line)]


def product_constants():
    """const char kName[] (or WCHAR, L"...") and #define PEL_* of the product's sources, by name."""
    text = {}
    for m in re.finditer(r'#define (PEL_\w+) "([^"]*)"', open(os.path.join(ROOT, "base", "product.h")).read()):
        text[m.group(1)] = m.group(2)
    for path in glob.glob(os.path.join(ROOT, "*", "*.cpp")):
        for m in re.finditer(r'const (?:char|WCHAR) (k\w+)\[\] =\s*((?:L?"(?:[^"\\]|\\.)*"|PEL_\w+|\s)+);',
                             open(path).read()):
            parts = re.findall(r'L?"((?:[^"\\]|\\.)*)"|(PEL_\w+)', m.group(2))
            text[m.group(1)] = "".join(lit.replace("\\\\", "\\") if lit or not mac else text[mac]
                                       for lit, mac in parts)
    return text


def resource_texts(setup):
    text = {}
    for (rtype, rid, _), data in pe_resources.PE(setup).resources().items():
        if rtype == pe_resources.RT_DIALOG:
            d = pe_resources.parse_dialog(data)
            text["dialog.%s" % rid] = d["caption"]
            for c in d["controls"]:
                text["dialog.%s.%s" % (rid, c["id"])] = c["text"]
    return text


def crafted(setup, name):
    """A copy of the installer with words or names of its archive changed, in the crafted/NAME
    folder: broken (the archive claims more bytes than the resource holds), attributes (readme.txt
    read-only, faq.htm hidden), renamed (another version: readme.old in place of readme.txt, in
    its uninstaller's list too)."""
    data = bytearray(open(setup, "rb").read())
    start = data.find(pe_resources.PE(setup).resources()[(10, 101, 0)])
    record = lambda file: data.find(file + b"\0", start) - start - 20  # its attributes
    # Words (archive position, new u32); names renamed to one of the same length.
    changes, rename = {"broken": ([(0, 0xFFFFFFFF)], None),
                       "attributes": ([(record(b"readme.txt"), 0x21), (record(b"faq.htm"), 0x22)], None),
                       "renamed": ([], (b"readme.txt", b"readme.old"))}[name]
    for at, value in changes:
        data[start + at:start + at + 4] = value.to_bytes(4, "little")
    for end in (b"\0", b"\t") if rename else ():  # the archive's name, and the uninstaller's list line
        at = data.find(rename[0] + end, start)
        if at >= 0:
            data[at:at + len(rename[1])] = rename[1]
    path = os.path.join(E2E, "crafted", name, os.path.basename(setup))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
    return path


class Scenario:
    def __init__(self, name):
        self.name = name
        self.prep, self.actions, self.expects, self.lets = [], [], [], []
        self.continues = self.installer = None
        self.read(os.path.join(SCENARIOS, name + ".scn"))

    def read(self, path):
        for raw in open(path, encoding="utf-8"):
            line = raw.rstrip("\n")
            verb, _, rest = line.partition(" ")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if verb in (">", "expect"):
                (self.actions if verb == ">" else self.expects).append(rest)
            elif verb == "include":
                self.read(os.path.join(SCENARIOS, rest.split()[0] + ".inc"))
            elif verb in ("continues", "installer"):
                setattr(self, verb, rest.split()[0])
            elif verb == "let":
                self.lets.append(words_of(rest)[:2])
            else:
                self.prep.append(line)


class Setting:
    """Where scenarios run: the locale (LOCALES, default 1251), the user's name (default: the base
    prefix's, PEL_E2E_BASE), their folder (in it one per scenario, screenshots/NAME, base-profile)."""

    def __init__(self, locale, profile, folder):
        self.locale, self.profile, self.dir, self.base = locale or "1251", profile, folder, ENV["PEL_E2E_BASE"]


class Run:
    """One scenario in its prefix: preparation, the driver's run, the checks."""

    def __init__(self, scenario, setup, setting, display):
        self.s, self.setup, self.setting = scenario, setup, setting
        self.dir = os.path.join(setting.dir, scenario.name)
        self.prefix = os.path.join(self.dir, "prefix")
        self.problems, self.snapshots, self.drives, self.vars = [], {}, [], {}
        self.locale = setting.locale
        self.codepage = self.locale if self.locale in LOCALES else None  # the one the locale must give
        self.env = {k: v for k, v in ENV.items() if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE")}
        self.env.update(LOCALES.get(self.locale) or {"LC_ALL": self.locale}, DISPLAY=display)
        if setting.profile:  # Wine names the profile after the Unix user
            self.env["USER"] = setting.profile

    def problem(self, text):
        self.problems.append(text)

    def sub(self, line):
        def value(m):
            if m.group(1) not in self.vars:
                self.problem("unknown ${%s}" % m.group(1))
                return ""
            return self.vars[m.group(1)]
        return re.sub(r"\$\{([\w.]+)\}", value, line)

    def host(self, path):
        """The Linux path of a Windows path in the prefix."""
        drive, rest = path[0].lower(), path[2:].replace("\\", "/").lstrip("/")
        return os.path.join(self.prefix, "dosdevices", drive + ":", rest)

    def wine(self, args, log, extra=None, timeout=None):
        """Runs a program of the prefix (output to LOG); its exit code."""
        env = dict(self.env, WINEPREFIX=self.prefix, **(extra or {}))
        with open(os.path.join(self.dir, log), "ab") as out:
            return subprocess.call([ENV["WINE"]] + args, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=subprocess.STDOUT, env=env, timeout=timeout)

    def stop(self):
        for flag in ("-k", "-w"):
            subprocess.call([ENV["WINESERVER"], flag], env=dict(ENV, WINEPREFIX=self.prefix), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for mount in self.drives:
            subprocess.call(["umount", mount])

    # ---- preparation ----------------------------------------------------------------------------
    def make_prefix(self):
        """A copy of the prefix the scenario continues, or of the base prefix."""
        continued = self.s.continues and os.path.join(self.setting.dir, self.s.continues, "prefix")
        copy_prefix(continued or self.setting.base, self.prefix)

    def prepare(self):
        folder = self.host("C:\\e2e")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for tool in ("DRIVER", "FAKE_APP", "RECORDER"):
            shutil.copy(ENV["PEL_E2E_" + tool], folder)
        shutil.copy(self.setup, folder)
        for line in self.s.prep:
            w = words_of(self.sub(line))
            verb, args = w[0], w[1:]
            if verb in ("copy", "dir", "file"):  # the folder it goes in
                os.makedirs(os.path.dirname(self.host(args[-1 if verb == "copy" else 0])), exist_ok=True)
            if verb in ("reg", "unreg"):  # through the prefix's own reg.exe, which Wine now and then fails to start
                value = ["/t", "REG_SZ" if args[2] == "=" else "REG_DWORD", "/d", args[3]] if verb == "reg" else []
                if all(self.wine(["reg", "add" if value else "delete", args[0], "/v", args[1], "/f"] + value,
                                 "wine.log") != 0 for _ in range(3)):
                    self.problem("the registry preparation failed: %s (wine.log)" % line)
            elif verb == "copy":
                shutil.copy(self.host(args[0]), self.host(args[1]))
            elif verb == "dir":
                os.makedirs(self.host(args[0]), exist_ok=True)
            elif verb == "file":
                with open(self.host(args[0]), "wb") as f:
                    f.write(args[1].encode("utf-8") if len(args) > 1 else b"")
            elif verb == "time":
                when = parse_time(args[1])
                for path in glob.glob(self.host(args[0])):
                    os.utime(path, ns=(when, when))
            elif verb == "link":  # a symbolic link (under Wine one to a file reads as its target)
                os.symlink(args[1], self.host(args[0]))
            elif verb == "relist":  # a line of an uninstaller's names list renamed, its facts kept
                data = open(self.host(args[0]), "rb").read()
                old, new = (w.encode("cp1251") + b"\t" for w in args[1:3])
                if data.count(old) != 1 or len(old) != len(new):
                    self.problem("cannot rename the list line %s" % args[1])
                open(self.host(args[0]), "wb").write(data.replace(old, new))
            elif verb == "oversize":  # the names list's size claims 16 MB, more than the file holds
                pe = pe_resources.PE(self.host(args[0]))
                pe.resources()
                data = bytearray(pe.data)
                struct.pack_into("<I", data, pe.leaves[(10, NAMES_ID, 0)] + 4, 16 << 20)
                open(self.host(args[0]), "wb").write(data)
            elif verb == "attrib":  # read-only and hidden
                os.setxattr(self.host(args[0]), "user.DOSATTRIB", b"0x2")
                os.chmod(self.host(args[0]), os.stat(self.host(args[0])).st_mode & ~0o222)
            elif verb == "drive":
                mount = os.path.join(self.dir, "drive-" + args[0].lower())
                os.makedirs(mount, exist_ok=True)
                if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=" + args[1], "tmpfs", mount]) != 0:
                    self.problem("cannot mount a drive of %s" % args[1])
                    continue
                self.drives.append(mount)
                link = os.path.join(self.prefix, "dosdevices", args[0].lower() + ":")
                if os.path.lexists(link):
                    os.remove(link)
                os.symlink(mount, link)
            else:
                self.problem("unknown preparation: " + line)
        for expect in self.s.expects:
            w = words_of(self.sub(expect))
            if w[0] in ("unchanged", "changed"):
                for path in glob.glob(self.host(w[1])) or [self.host(w[1])]:
                    self.snapshots[path] = file_state(path)

    # ---- the driver's run -----------------------------------------------------------------------
    def drive(self):
        folder = self.host("C:\\e2e")
        script = "\r\n".join(self.sub(a) for a in self.s.actions) + "\r\n"
        with open(os.path.join(folder, "script.txt"), "wb") as f:
            f.write(script.encode("utf-8"))
        self.day = time.strftime("%Y%m%d")  # the installer's local date, as the Linux side's
        # The screenshot server of scripts/wine-lib.sh, ended with its process group.
        shooter = subprocess.Popen(["bash", "-c", '. "$0"; shooter_start "$1" "$2"; wait', WINE_LIB, folder,
                                    os.path.join(self.setting.dir, "screenshots", self.s.name)], env=self.env,
                                   start_new_session=True)
        relay = {"WINEDEBUG": "+pid,+relay"} if "order" in self.s.expects else None  # for check_order
        try:
            rc = self.wine(["C:\\e2e\\driver.exe", "C:\\e2e\\script.txt", "C:\\e2e\\transcript.txt"],
                           "driver.log", relay, timeout=150)
        except subprocess.TimeoutExpired:
            rc = "timeout"
        os.killpg(shooter.pid, signal.SIGTERM)
        shooter.wait()
        try:
            shutil.copy(os.path.join(folder, "transcript.txt"), self.dir)
            text = open(os.path.join(self.dir, "transcript.txt"), encoding="utf-8", errors="replace").read()
            self.lines = text.split("\n")[:-1]  # each line ends with its line break
        except OSError:
            self.lines = []
        if rc != 0:
            error = next((line for line in self.lines if line.startswith("error")), "")
            self.problem("driver exit code %s: %s" % (rc, error))
        got = next((line[9:] for line in self.lines if line.startswith("codepage ")), None)
        if self.codepage and got and got != self.codepage:
            self.problem("locale %s gave the code page %s, not %s" % (self.locale, got, self.codepage))
        self.codepage = got or self.codepage
        for line in self.lines:
            if line.endswith(" crash"):
                self.problem("transcript: " + line)

    # ---- checks ---------------------------------------------------------------------------------
    def check(self):
        if not self.s.expects:
            self.problem("the scenario states no expectations")
        self.cursor = -1
        for expect in self.s.expects:
            verb, _, text = self.sub(expect).partition(" ")
            method = getattr(self, "expect_" + verb.replace("-", "_").replace("~", ""), None)
            if method is None:
                self.problem("unknown expectation: " + expect)
            elif verb in ("line", "then", "line~", "then~", "first", "count", "exit"):
                method(text, verb)
            else:
                method(*words_of(text))

    def expect_line(self, text, verb):
        fold = str.lower if verb.endswith("~") else str
        start = self.cursor + 1 if verb.startswith("then") else 0
        i = next((i for i in range(start, len(self.lines)) if fold(self.lines[i]) == fold(text)), None)
        if i is None:
            self.problem("transcript lacks%s: %s" % (" (after line %d)" % (start + 1) if start else "", text))
        else:
            self.cursor = i

    expect_then = expect_line

    def expect_first(self, text, _):
        head = text.split(" ")[0] + " "
        got = next((line for line in self.lines if line.startswith(head)), None)
        if got != text:
            self.problem("first %sline is %s, not %s" % (head, got, text))

    def expect_count(self, text, _):
        n, _, prefix = text.partition(" ")
        got = sum(line.startswith(prefix) for line in self.lines)
        if got != int(n):
            self.problem("%d lines begin with %s, not %s" % (got, prefix, n))

    def expect_exit(self, text, _):
        code, _, program = text.partition(" ")
        starts = [i for i, line in enumerate(self.lines)
                  if line.startswith("start ") and (not program or line == "start " + program)]
        end = next((line for line in self.lines[starts[0]:] if line.startswith("exit ")), None) if starts else None
        if end != "exit " + code:
            self.problem("%s ended with %s, not exit %s" % (program or "the installer", end, code))

    def expect_payload(self, folder, *kept):
        """The archive's folders and files and nothing else, each file with the bytes, time (to 100
        ns), write permission and attributes that pelpack extract gives it. KEPT files need only exist."""
        got = file_state(self.host(folder)) or {}
        bad = [rel for rel in sorted(set(got) | set(self.archive))
               if got.get(rel) != self.archive.get(rel) and not (rel in kept and rel in got)]
        for rel in bad[:4]:
            self.problem("installed %s: %s, the archive's %s (%d differences in all)"
                         % (rel, brief(got.get(rel)), brief(self.archive.get(rel)), len(bad)))
        if not self.archive:
            self.problem("the archive holds nothing")

    def expect_links(self, folder, desktop):
        """The Start-menu links (and the desktop link, or none) into FOLDER, nothing else beside them."""
        group, desk = self.host(self.vars["GROUP"]), self.host(self.vars["DESKTOP"])
        want = [(group, title, target) for title, target in LINKS[:6]] + [(desk, *LINKS[6])] * (desktop == "yes")
        # Wine keeps a link's local path in the ANSI code page alone: a letter it lacks is '?'.
        codec = "cp" + (self.codepage or "1251")
        ansi = lambda text: text.encode(codec, "replace").decode(codec)
        for where, title, target in want:
            fields = link_fields(os.path.join(where, title + ".lnk"), codec)
            for name, value, same in (("Description", title, str),
                                      ("Local path", ansi(folder + "\\" + target), str.lower),
                                      ("Working directory", folder, str.lower)):
                if same(fields.get(name, "")) != same(value):
                    self.problem("%s: %s is %r, not %r" % (title, name, fields.get(name), value))
        for where in (group, desk):
            got = sorted(os.listdir(where)) if os.path.isdir(where) else []
            if got != sorted(title + ".lnk" for w, title, _ in want if w == where):
                self.problem("%s holds %s" % (os.path.relpath(where, self.prefix), got or "nothing"))

    def blocks(self, root, key):
        """Every dump of a registry key in the transcript: its head line and its value lines."""
        head = 'regkey %s "%s" ' % (root, key)
        return [[line] + list(itertools.takewhile(lambda more: more.startswith("  value "), self.lines[i + 1:]))
                for i, line in enumerate(self.lines) if line.startswith(head)]

    def last_block(self, root, key):
        found = self.blocks(root, key)
        if not found:
            self.problem("the transcript does not show %s\\%s" % (root, key))
            return ["missing"]
        return found[-1]

    def expect_record(self, folder, extra="0"):
        v = self.vars
        block = self.last_block("HKCU", v["kSetupKey"])
        want = 'regkey HKCU "%s" class "%s" values %d' % (v["kSetupKey"], v["kSetupKeyClass"], 2 + int(extra))
        if block[0] != want:
            self.problem("Setup key after the run: %s" % block[0])
        # Wine's RegSetValueExA adds the terminator a caller leaves out of the length (as NT does),
        # so the value may read back with it; the relay trace shows the length passed.
        for name, text in ((v["kPathValue"], folder), (v["kVersionValue"], v["PEL_VERSION"])):
            got = next((line.partition('" ')[2] for line in block[1:] if line.startswith('  value "%s" ' % name)), "")
            if got not in (reg_sz(text), reg_sz(text, "")):
                self.problem("%s is %s, not the REG_SZ text %r" % (name, reg_text(got), text))
        toolbar = self.last_block("HKCU", v["kToolBarKey"])
        if not toolbar[0].endswith(" missing"):
            self.problem("the toolbar key is still there")

    def expect_no_record(self):
        block = self.last_block("HKCU", self.vars["kSetupKey"])
        for name in (self.vars["kVersionValue"], self.vars["kPathValue"]):
            if any(line.startswith('  value "%s" ' % name) for line in block):
                self.problem("the Setup key holds " + name)

    def expect_entry(self, folder):
        """The last dump of the Installed-apps entry: these nine values exactly, texts with their
        terminator, the size of the archive's files in KiB rounded up, today's date."""
        v = self.vars
        block = self.last_block("HKLM", v["ENTRYKEY"])
        text = reg_sz
        dword = lambda n: "type4 length=4 hex=" + n.to_bytes(4, "little").hex().upper()
        got = dict(re.match(r'  value "(.*?)" (.*)$', line).groups() for line in block[1:])
        day = next((d for d in (time.strftime("%Y%m%d"), self.day) if got.get(v["kInstallDateValue"]) == text(d)),
                   self.day)
        want = {v["kDisplayNameValue"]: text(v["PEL_DISPLAY_NAME"]), v["kDisplayVersionValue"]: text(v["PEL_VERSION"]),
                v["kInstallLocationValue"]: text(folder),
                v["kUninstallStringValue"]: text('"%s\\%s"' % (folder, v["PEL_UNINSTALL_FILE"])),
                v["kDisplayIconValue"]: text("%s\\%s,0" % (folder, v["PEL_PROGRAM_FILE"])),
                v["kEstimatedSizeValue"]: dword(-(-sum(len(f[0]) for f in self.archive.values() if isinstance(f, tuple)) // 1024)),
                v["kNoModifyValue"]: dword(1), v["kNoRepairValue"]: dword(1), v["kInstallDateValue"]: text(day)}
        for name in sorted(set(want) | set(got)):
            if want.get(name) != got.get(name):
                self.problem("entry value %s is %s, not %s"
                             % (name, reg_text(got.get(name)), reg_text(want.get(name))))

    def expect_no_entry(self):
        if not self.last_block("HKLM", self.vars["ENTRYKEY"])[0].endswith(" missing"):
            self.problem("the Installed-apps entry is there")

    def expect_only(self, folder, *names):
        got = sorted(os.listdir(self.host(folder))) if os.path.isdir(self.host(folder)) else []
        if got != sorted(names):
            self.problem("%s holds %s" % (folder, got))

    def expect_key_unchanged(self, root, key, name=None):
        """The first and the last dump of the key (or of its value NAME) are the same, and not missing."""
        found = [[line for line in b if name is None or line.startswith('  value "%s" ' % name)]
                 for b in self.blocks(root, key)]
        if len(found) < 2 or not found[0] or found[0] != found[-1] or found[0][0].endswith(" missing"):
            self.problem("%s %s changed or was not there before the run: %s" % (key, name or "", found))

    def expect_order(self):
        pid = next((int(line[4:]) for line in self.lines if line.startswith("pid ")), 0)
        for p in check_order(os.path.join(self.dir, "driver.log"), pid, image_span(self.setup)):
            self.problem("order of effects: " + p)

    def expect_absent(self, path):
        if os.path.lexists(self.host(path)):
            self.problem("exists: " + path)

    def expect_unchanged(self, path, same=True):
        for host in glob.glob(self.host(path)) or [self.host(path)]:
            if (file_state(host) == self.snapshots.get(host)) != same:
                self.problem("%s: %s" % ("changed" if same else "not rewritten", os.path.relpath(host, self.prefix)))

    def expect_changed(self, path):
        self.expect_unchanged(path, False)


def link_fields(path, codec):
    """A shell link's description, local path (read in CODEC) and working folder, as Wine writes
    them; {} when there is no link."""
    try:
        data = open(path, "rb").read()
    except OSError:
        return {}
    number = lambda at, size: int.from_bytes(data[at:at + size], "little")
    flags, at, fields = number(20, 4), 76, {}
    if flags & 1:  # the target as a list of shell items
        at += 2 + number(at, 2)
    if flags & 2:  # the link information, with the local path
        path_at = at + number(at + 16, 4)
        fields["Local path"] = data[path_at:data.index(b"\0", path_at)].decode(codec, "replace")
        at += number(at, 4)
    for bit, name in ((4, "Description"), (8, "Relative path"), (16, "Working directory")):
        if flags & bit:  # counted UTF-16 texts (Wine counts their terminator too)
            fields[name] = data[at + 2:at + 2 + 2 * number(at, 2)].decode("utf-16-le", "replace").rstrip("\0")
            at += 2 + 2 * number(at, 2)
    return fields


def reg_sz(text, terminator="0000"):
    """A REG_SZ value with its terminator (or none) as the driver's dump shows it."""
    data = text.encode("utf-16-le").hex().upper() + terminator
    return "REG_SZ length=%d hex=%s" % (len(data) // 2, data)


def reg_text(value):
    """A value of a registry dump as a problem shows it: a REG_SZ as its text."""
    m = re.match(r"REG_SZ length=\d+ hex=([0-9A-F]*)$", value or "")
    return repr(bytes.fromhex(m[1]).decode("utf-16-le", "replace")) if m else value


def parse_time(text):
    """2001-02-03T04:05:06.7 (UTC) as nanoseconds since 1970."""
    m = re.fullmatch(r"(\d+)-(\d+)-(\d+)T(\d+):(\d+):(\d+)(?:\.(\d{1,9}))?", text)
    seconds = calendar.timegm(tuple(int(g) for g in m.groups()[:6]))
    return seconds * 10**9 + int((m.group(7) or "0").ljust(9, "0"))


def file_state(path):
    """A file's bytes, time, read-only bit (its write permission) and other attributes; a folder's:
    those of everything in it."""
    if os.path.isdir(path) and not os.path.islink(path):
        return {os.path.relpath(os.path.join(top, n), path): file_state(os.path.join(top, n)) if n in files else
                dos_attributes(os.path.join(top, n)) for top, dirs, files in os.walk(path) for n in dirs + files}
    try:
        st = os.stat(path)
        data = open(path, "rb").read() if os.path.isfile(path) else b""
        return (data, st.st_mtime_ns, not st.st_mode & 0o200, dos_attributes(path))
    except OSError:
        return None


def brief(state):
    """A file state as a problem shows it: its bytes as their length and digest."""
    if not isinstance(state, tuple):
        return state
    return (len(state[0]), hashlib.sha256(state[0]).hexdigest()[:8]) + state[1:]


def dos_attributes(path):
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0].decode("ascii"), 0)
    except (OSError, ValueError):
        return 0


# ---- order of effects, from Wine's relay trace ----------------------------------------------------
CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call [\w.]+\.(\w+)\((.*)\) ret=([0-9a-f]+)$")
# The calls by kind, in their ANSI and their UTF-16 form (a file named .lnk is a link's, "K").
KINDS = {name + form: kind for name, kind in (("DialogBoxParam", "P"), ("CreateDirectory", "F"), ("CreateFile", "F"),
                                              ("MoveFileEx", "F"), ("ShellExecute", "S"), ("RegCreateKeyEx", "C"),
                                              ("RegSetValueEx", "V"), ("RegDeleteKey", "X")) for form in "AW"}
KINDS["CoCreateInstance"] = "L"


def image_span(path):
    """The first and the last address of a program's image as Wine maps it, at its preferred base."""
    pe = pe_resources.PE(path)
    return pe.image_base, pe.image_base + pe.image_size


def check_order(log, pid, span):
    """The installer's own calls (returning into its image SPAN) in order: the destination and
    licence pages; the folders and files; each link object, then its file (written by the system's
    code); the features page opened and shown (SW_SHOW); the record's key (not volatile), Path and
    Version; the toolbar key deleted; the Installed-apps entry's key and its nine values; the
    completion page."""
    shape = ""
    for line in open(log, encoding="latin-1"):
        m = CALL.match(line.rstrip("\n"))
        if not m or int(m[1], 16) != pid or m[2] not in KINDS or re.search(r'[\\"]~pel[^"]*"[^"]*$', m[3]):
            continue  # another process or call, or a working file or backup beside its place
        kind, args = KINDS[m[2]], m[3].split(",")
        if m[2].startswith("CreateFile") and '.lnk"' in m[3].lower():
            kind = "K"
        elif not span[0] <= int(m[4], 16) < span[1]:
            continue  # the system's own work, such as the registry values of its folders
        if kind == "S" and int(args[-1], 16) & 0xFFFFFFFF != 5 or kind == "C" and int(args[4], 16) & 0xFFFFFFFF:
            kind = "?"  # the page not shown, or the key volatile
        shape += kind
    want = r"^PPF+(LK)+SCVVXCV{9}P$"
    return [] if re.match(want, shape) else ["calls in the order %s, not %s" % (shape or "(none)", want)]


def copy_prefix(source, target):
    """cp -a, with Wine's own programs and libraries (most of a prefix's 1.4 GB, which nothing
    writes) hard-linked: a tenth of a second instead of seconds."""
    bulk = re.compile(re.escape(source) + r"/drive_c/windows/(system32|syswow64|winsxs)/")
    shutil.copytree(source, target, symlinks=True,
                    copy_function=lambda a, b: os.link(a, b) if bulk.match(a) else shutil.copy2(a, b))


def profile_base(setting, display):
    """A copy of the base prefix whose user is the setting's: Wine makes the profile folder as the
    user first runs a program; its folders are made real ones here, as make_prefix does for the
    first user, and the temporary folder is moved into it."""
    setting.base = os.path.join(setting.dir, "base-profile")
    shutil.rmtree(setting.base, ignore_errors=True)
    copy_prefix(ENV["PEL_E2E_BASE"], setting.base)
    home = os.path.join(setting.base, "drive_c", "users", setting.profile)
    for folder in ("Desktop", "Documents", "Downloads", "AppData/Local/Temp",
                   "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"):
        os.makedirs(os.path.join(home, folder), exist_ok=True)
    env = dict(ENV, WINEPREFIX=setting.base, USER=setting.profile, WINEDEBUG="-all", DISPLAY=display)
    for name in ("TEMP", "TMP"):
        subprocess.call([ENV["WINE"], "reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_EXPAND_SZ", "/d",
                         "%USERPROFILE%\\AppData\\Local\\Temp", "/f"], env=env, stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for flag in ("-k", "-w"):
        subprocess.call([ENV["WINESERVER"], flag], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)


def pool(jobs, displays):
    """Runs JOBS, {key: (the key of the job to end first or None, work(display) -> passed)}, the
    first ready one next, one worker per X display. Every job's result, by key."""
    todo, done, cv = list(jobs), {None: True}, threading.Condition()

    def worker(display):
        while True:
            with cv:
                cv.wait_for(lambda: not todo or any(jobs[k][0] in done for k in todo))
                key = next((k for k in todo if jobs[k][0] in done), None)
                if key is None:
                    return
                todo.remove(key)
            try:
                passed = jobs[key][1](display)
            except Exception:  # the harness's own error fails the job
                say("FAIL %s\n%s" % (key[1] or "base-profile", traceback.format_exc()))
                passed = False
            with cv:
                done[key] = passed
                cv.notify_all()

    workers = [threading.Thread(target=worker, args=(d,), daemon=True) for d in displays]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return done


def xvfb():
    """A virtual display of its own: the Xvfb process (it takes a free number) and the display."""
    server = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return server, ":" + server.stdout.readline().decode().strip()


def say(text, lock=threading.Lock()):
    with lock:
        print(text, flush=True)


# ---- the set ------------------------------------------------------------------------------------
def main(names):
    arch = ENV.get("PEL_E2E_ARCH", "x86_64")
    build = dict(line.rstrip("\n").split(" ", 2)[1:]
                 for line in open(os.path.join(HERE, "builds.conf"), encoding="utf-8") if line.startswith(arch + " "))
    constants = product_constants()
    LINKS[:] = [(constants[t], f) for t, f in LINKS] + [(constants["PEL_DISPLAY_NAME"], "Pelbrix.exe")]  # + desktop
    everything = sorted(f[:-4] for f in os.listdir(SCENARIOS) if f.endswith(".scn"))
    user = next(os.path.basename(u) for u in glob.glob(os.path.join(ENV["PEL_E2E_BASE"], "drive_c", "users", "*"))
                if os.path.basename(u) != "Public")
    # NAMES under PEL_E2E_LOCALE and PEL_E2E_PROFILE, then the lines of PEL_E2E_RUNS, each
    # "CODEPAGE[/PROFILE] NAME..." in the folder cpCODEPAGE[-PROFILE]: one job per scenario, after
    # the one it continues, and after the profile's base prefix.
    settings = [(Setting(ENV.get("PEL_E2E_LOCALE"), ENV.get("PEL_E2E_PROFILE"), E2E), names or everything)]
    for line in ENV.get("PEL_E2E_RUNS", "").splitlines():
        run, *more = line.split()
        folder = os.path.join(E2E, "cp" + run.replace("/", "-"))
        settings.append((Setting(run.partition("/")[0], run.partition("/")[2], folder), more))
    jobs, scenarios = {}, {}

    def add(setting, name):
        if (setting, name) not in jobs:
            s = scenarios[name] = scenarios.get(name) or Scenario(name)
            if s.continues:
                add(setting, s.continues)
            jobs[setting, name] = ((setting, s.continues or None) if s.continues or setting.profile else None,
                                   lambda display: run_one(s, setting, display))

    for setting, chosen in settings:
        if setting.profile:
            jobs[setting, None] = (None, lambda display, setting=setting: profile_base(setting, display) or True)
        for name in chosen:
            add(setting, name)
    continued = {after for after, _ in jobs.values()}

    def reference(installer):  # the installer, and what an installation must match: its archive's files
        setup = crafted(ENV["PEL_E2E_SETUP"], installer) if installer else ENV["PEL_E2E_SETUP"]
        folder = os.path.join(E2E, "archive", installer or "shipped")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.dirname(folder), exist_ok=True)
        subprocess.call([ENV["PEL_E2E_PELPACK"], "extract", setup, folder],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return setup, file_state(folder) or {}
    setups = {i: reference(i) for i in {s.installer for s in scenarios.values()}}

    def run_one(s, setting, display):
        began, (setup, archive) = time.time(), setups[s.installer]
        run = Run(s, setup, setting, display)
        shutil.rmtree(run.dir, ignore_errors=True)
        os.makedirs(run.dir)
        run.vars.update(constants, **resource_texts(setup), **build)
        profile = "C:\\users\\" + (setting.profile or user)
        run.vars.update(SETUP="C:\\e2e\\" + os.path.basename(setup), E2E="C:\\e2e", USERPROFILE=profile,
                        DESKTOP=profile + "\\Desktop",
                        GROUP=profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
                        + constants["kGroupFolderName"])
        for let, value in s.lets:
            run.vars[let] = run.sub(value)
        run.make_prefix()
        run.archive = archive
        try:
            run.prepare()
            run.drive()
            run.check()
        finally:
            run.stop()
        where = "" if run.locale == "1251" else "code page %s, " % run.codepage if run.codepage else run.locale + ", "
        where += "profile %s, " % setting.profile if setting.profile else ""
        if run.problems:
            say("FAIL %s (%s%.1f s; transcript: %s)\n" % (s.name, where, time.time() - began,
                                                         os.path.join(run.dir, "transcript.txt"))
                + "\n".join("     " + p for p in run.problems))
            return False
        say("PASS %s (%s%.1f s)" % (s.name, where, time.time() - began))
        if ENV.get("PEL_E2E_KEEP") != "1" and (setting, s.name) not in continued:
            shutil.rmtree(run.prefix, ignore_errors=True)
        return True

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # the displays end with the run
    started, servers = time.time(), [xvfb() for _ in range(int(ENV.get("PEL_E2E_JOBS") or 2 * os.cpu_count()))]
    try:
        done = pool(jobs, [display for _, display in servers])
    finally:
        for server, _ in servers:
            server.terminate()
            server.wait()
    failed = sum(not done.get(key) for key in jobs)
    shots = os.path.join(E2E, "[cp*/]" * (len(settings) > 1) + "screenshots")
    print("%d s, %s build, %d at a time, screenshots in %s" % (time.time() - started, arch, len(servers), shots))
    print("%d passed, %d failed" % (sum(done.get(key) is True for key in jobs if key[1]), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
