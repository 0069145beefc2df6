#!/usr/bin/env python3
"""Runs the end-to-end scenarios (tests/e2e/scenarios/*.scn, their language described in the
README there) under Wine and checks them: scenario.py [NAME...], no names for all of them.
scripts/test-e2e.sh calls it with the display, the base prefix and the environment ready."""
import calendar
import fnmatch
import glob
import itertools
import os
import re
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "cross"))
import pe_resources  # noqa: E402

ENV = os.environ
E2E = ENV["PEL_E2E_DIR"]
SCENARIOS = os.path.join(HERE, "scenarios")
FILETIME_UNIX_EPOCH = 116444736000000000
ROOTS = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE", "HKCR": "HKEY_CLASSES_ROOT"}
# The Start-menu links: the product's constant of each title (replaced by its text at start), target.
LINKS = [("kLinkProgram", "Pelbrix.exe"), ("kLinkHelp", "Help.htm"), ("kLinkNews", "News.htm"),
         ("kLinkLicence", "Licence.txt"), ("kLinkFeatures", "features.htm"), ("kLinkUninstall", "uninstall.exe")]


def words_of(line):
    """Blank-separated words; "..." keeps blanks; backslashes are plain text."""
    return [a if a else b for a, b in re.findall(r'"([^"]*)"|(\S+)', line)]


def product_constants():
    """const char kName[] and #define PEL_* of the product's sources, by name."""
    text = {}
    for m in re.finditer(r'#define (PEL_\w+) "([^"]*)"', open(os.path.join(ROOT, "base", "product.h")).read()):
        text[m.group(1)] = m.group(2)
    for path in glob.glob(os.path.join(ROOT, "*", "*.cpp")):
        for m in re.finditer(r'const char (k\w+)\[\] =\s*((?:"(?:[^"\\]|\\.)*"|PEL_\w+|\s)+);', open(path).read()):
            parts = re.findall(r'"((?:[^"\\]|\\.)*)"|(PEL_\w+)', m.group(2))
            text[m.group(1)] = "".join(lit.replace("\\\\", "\\") if lit or not mac else text[mac]
                                       for lit, mac in parts)
    return text


def resource_texts(setup):
    res = pe_resources.PE(setup).resources()
    text = {}
    for (rtype, rid, _), data in res.items():
        if rtype == pe_resources.RT_DIALOG:
            d = pe_resources.parse_dialog(data)
            text["dialog.%s" % rid] = d["caption"]
            for c in d["controls"]:
                text["dialog.%s.%s" % (rid, c["id"])] = c["text"]
    return text, res


class Scenario:
    def __init__(self, name):
        self.name = name
        self.prep, self.actions, self.expects, self.env, self.lets = [], [], [], {}, []
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
            elif verb == "env":
                key, _, value = rest.partition("=")
                self.env[key.strip()] = value.strip()
            else:
                self.prep.append(line)


class Run:
    """One scenario in its prefix: preparation, the driver's run, the checks."""

    def __init__(self, scenario, setup):
        self.s, self.setup = scenario, setup
        self.dir = os.path.join(E2E, scenario.name)
        self.prefix = os.path.join(self.dir, "prefix")
        self.problems, self.snapshots, self.drives, self.vars = [], {}, [], {}

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
        env = dict(ENV, WINEPREFIX=self.prefix, **(extra or {}))
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
        base = os.path.join(E2E, self.s.continues or "", "prefix")
        if not self.s.continues or not os.path.isdir(base):
            if self.s.continues:
                self.problem("continues %s, which left no prefix" % self.s.continues)
            base = ENV["PEL_E2E_BASE"]
        subprocess.check_call(["cp", "-a", base, self.prefix])

    def prepare(self):
        folder = self.host("C:\\e2e")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for tool in ("DRIVER", "FAKE_APP", "RECORDER"):
            shutil.copy(ENV["PEL_E2E_" + tool], folder)
        shutil.copy(self.setup, folder)
        registry = []
        for line in self.s.prep:
            w = words_of(self.sub(line))
            verb, args = w[0], w[1:]
            if verb == "reg":
                key, name = args[0], args[1]
                data = '"%s"' % reg_escape(args[3]) if args[2] == "=" else "dword:%08x" % int(args[3], 0)
                registry.append((key, '"%s"=%s' % (reg_escape(name), data)))
            elif verb == "unreg":
                registry.append((args[0], '"%s"=-' % reg_escape(args[1])) if len(args) > 1 else (args[0], None))
            elif verb == "copy":
                os.makedirs(os.path.dirname(self.host(args[1])), exist_ok=True)
                shutil.copy(self.host(args[0]), self.host(args[1]))
            elif verb == "dir":
                os.makedirs(self.host(args[0]), exist_ok=True)
            elif verb == "file":
                os.makedirs(os.path.dirname(self.host(args[0])), exist_ok=True)
                with open(self.host(args[0]), "wb") as f:
                    f.write(args[1].encode("utf-8") if len(args) > 1 else b"")
            elif verb == "time":
                when = parse_time(args[1])
                for path in glob.glob(self.host(args[0])):
                    os.utime(path, ns=(when, when))
            elif verb == "attrib":
                path = self.host(args[0])
                if "h" in args[1]:
                    os.setxattr(path, "user.DOSATTRIB", b"0x2")
                if "r" in args[1]:
                    os.chmod(path, os.stat(path).st_mode & ~0o222)
            elif verb == "fill":  # a file that takes every byte left on its drive
                with open(self.host(args[0]), "wb", buffering=0) as f:
                    try:
                        while f.write(bytes(65536)):
                            pass
                    except OSError:
                        pass
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
        if registry:
            self.import_registry(registry)
        for expect in self.s.expects:
            w = words_of(self.sub(expect))
            if w[0] in ("unchanged", "changed"):
                for path in glob.glob(self.host(w[1])) or [self.host(w[1])]:
                    self.snapshots[path] = file_state(path)

    def import_registry(self, entries):
        text = ["Windows Registry Editor Version 5.00", ""]
        for key, value in entries:
            root, _, rest = key.partition("\\")
            full = ROOTS[root] + "\\" + rest
            text += (["[%s]" % full, value, ""] if value else ["[-%s]" % full, ""])
        path = os.path.join(self.host("C:\\e2e"), "prepare.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + "\r\n".join(text).encode("utf-16-le"))
        if self.wine(["reg", "import", "C:\\e2e\\prepare.reg"], "wine.log") != 0:
            self.problem("the registry preparation failed (wine.log)")

    # ---- the driver's run -----------------------------------------------------------------------
    def drive(self):
        folder = self.host("C:\\e2e")
        script = "\r\n".join(self.sub(a) for a in self.s.actions) + "\r\n"
        with open(os.path.join(folder, "script.txt"), "wb") as f:
            f.write(script.encode("cp1251"))
        shots = os.path.join(self.dir, "screenshots")
        done = threading.Event()
        self.day = time.strftime("%Y%m%d")  # the installer's local date, as the Linux side's
        shooter = threading.Thread(target=serve_screenshots, args=(folder, shots, done))
        shooter.start()
        try:
            rc = self.wine(["C:\\e2e\\driver.exe", "C:\\e2e\\script.txt", "C:\\e2e\\transcript.txt"],
                           "driver.log", self.s.env, timeout=150)
        except subprocess.TimeoutExpired:
            rc = "timeout"
        done.set()
        shooter.join()
        try:
            self.lines = open(os.path.join(folder, "transcript.txt"), "rb").read().decode("cp1251").splitlines()
        except OSError:
            self.lines = []
        with open(os.path.join(self.dir, "transcript.txt"), "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in self.lines))
        if rc != 0:
            error = next((line for line in self.lines if line.startswith("error")), "")
            self.problem("driver exit code %s: %s" % (rc, error))
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
            if verb in ("line", "then", "line~", "then~"):
                self.expect_line(text, verb.endswith("~"), self.cursor + 1 if verb.startswith("then") else 0)
            elif method is None:
                self.problem("unknown expectation: " + expect)
            elif verb in TEXT_CHECKS:
                method(text)
            else:
                method(*words_of(text))

    def expect_line(self, text, any_case=False, start=0):
        fold = str.lower if any_case else str
        i = next((i for i in range(start, len(self.lines)) if fold(self.lines[i]) == fold(text)), None)
        if i is None:
            self.problem("transcript lacks%s: %s" % (" (after line %d)" % (start + 1) if start else "", text))
        else:
            self.cursor = i

    def expect_first(self, text):
        head = text.split(" ")[0] + " "
        got = next((line for line in self.lines if line.startswith(head)), None)
        if got != text:
            self.problem("first %sline is %s, not %s" % (head, got, text))

    def expect_count(self, text):
        n, _, prefix = text.partition(" ")
        got = sum(line.startswith(prefix) for line in self.lines)
        if got != int(n):
            self.problem("%d lines begin with %s, not %s" % (got, prefix, n))

    def expect_exit(self, text):
        code, _, program = text.partition(" ")
        starts = [i for i, line in enumerate(self.lines)
                  if line.startswith("start ") and (not program or line == "start " + program)]
        end = next((line for line in self.lines[starts[0]:] if line.startswith("exit ")), None) if starts else None
        if end != "exit " + code:
            self.problem("%s ended with %s, not exit %s" % (program or "the installer", end, code))

    def expect_licence(self, control):
        text = self.resources[(pe_resources.RT_RCDATA, 100, 0)]
        want = [line.decode("cp1251") for line in text.split(b"\r\n")]
        if text.endswith(b"\r\n"):
            want.pop()
        head = next((i for i, line in enumerate(self.lines) if line.startswith("list %s " % control)), len(self.lines))
        got = [m.group(1) for m in itertools.takewhile(bool, (re.match(r'^  item \d+ "(.*)"$', line)
                                                             for line in self.lines[head + 1:]))]
        if got != want:
            bad = next((i for i in range(min(len(got), len(want))) if got[i] != want[i]), min(len(got), len(want)))
            self.problem("list %s: %d entries, the licence has %d lines; first difference at entry %d"
                         % (control, len(got), len(want), bad))

    def expect_payload(self, folder, *kept):
        found = check_payload(self.listing, self.host(folder), self.reference, set(kept))
        for p in found[:4] + (["and %d more" % (len(found) - 4)] if len(found) > 4 else []):
            self.problem("installed files: " + p)

    def expect_links(self, folder, desktop):
        group, desk = self.host(self.vars["GROUP"]), self.host(self.vars["DESKTOP"])
        want = [(os.path.join(group, t + ".lnk"), t, f) for t, f in LINKS[:6]]
        if desktop == "yes":
            want.append((os.path.join(desk, LINKS[6][0] + ".lnk"), LINKS[6][0], LINKS[6][1]))
        # A link holds a target of at most 259 characters: a longer one is never made, rather than cut.
        fits = lambda target: len((folder + "\\" + target).encode("cp1251")) <= 259
        want = [w for w in want if fits(w[2])]
        for path, title, target in want:
            if not os.path.isfile(path):
                self.problem("missing link: " + os.path.relpath(path, self.prefix))
                continue
            out = subprocess.run(["lnkinfo", "-c", "windows-1251", path], stdin=subprocess.DEVNULL,
                                 capture_output=True).stdout.decode("utf-8", "replace")
            fields = dict(re.findall(r"(?m)^\t*([^:\n]*[^ \t:\n])[ \t]*: (.*)$", out))
            for name, value, fold in (("Description", title, False), ("Local path", folder + "\\" + target, True),
                                      ("Working directory", folder, True)):
                got, same = fields.get(name, ""), str.lower if fold else str
                if same(got) != same(value):
                    self.problem("%s: %s is %r, not %r" % (os.path.basename(path), name, got, value))
        for where in (group, desk):
            got = sorted(os.listdir(where)) if os.path.isdir(where) else []
            if got != sorted(os.path.basename(path) for path, _, _ in want if os.path.dirname(path) == where):
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
        # so the value may read back one zero byte longer; the relay trace shows the length passed.
        for name, text in ((v["kPathValue"], folder), (v["kVersionValue"], v["PEL_VERSION"])):
            data = text.encode("cp1251").hex().upper()
            pattern = r'  value "%s" REG_SZ length=(%d hex=%s|%d hex=%s00)$' % (
                re.escape(name), len(data) // 2, data, len(data) // 2 + 1, data)
            if not any(re.match(pattern, line) for line in block[1:]):
                self.problem("%s is not the REG_SZ text %s" % (name, text))
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
        text = lambda t: "REG_SZ length=%d hex=%s00" % (len(t.encode("cp1251")) + 1, t.encode("cp1251").hex().upper())
        dword = lambda n: "type4 length=4 hex=" + n.to_bytes(4, "little").hex().upper()
        got = dict(re.match(r'  value "(.*?)" (.*)$', line).groups() for line in block[1:])
        day = next((d for d in (time.strftime("%Y%m%d"), self.day) if got.get(v["kInstallDateValue"]) == text(d)),
                   self.day)
        want = {v["kDisplayNameValue"]: text(v["PEL_DISPLAY_NAME"]), v["kDisplayVersionValue"]: text(v["PEL_VERSION"]),
                v["kInstallLocationValue"]: text(folder),
                v["kUninstallStringValue"]: text('"%s\\%s"' % (folder, v["PEL_UNINSTALL_FILE"])),
                v["kDisplayIconValue"]: text("%s\\%s,0" % (folder, v["PEL_PROGRAM_FILE"])),
                v["kEstimatedSizeValue"]: dword(-(-sum(f[2] for f in read_listing(self.listing)[1]) // 1024)),
                v["kNoModifyValue"]: dword(1), v["kNoRepairValue"]: dword(1), v["kInstallDateValue"]: text(day)}
        for name in sorted(set(want) | set(got)):
            if want.get(name) != got.get(name):
                self.problem("entry value %s is %s, not %s" % (name, got.get(name), want.get(name)))

    def expect_listed(self, text):
        """`wine uninstaller --list` (Wine's own program, which reads the Installed-apps entries)
        prints TEXT as a line, in the OEM code page (866 under the Russian locale). Not asked where
        the build's line in builds.conf says that its Wine lists nothing (LISTS=no)."""
        if self.vars.get("LISTS") == "no":
            return
        self.wine(["uninstaller", "--list"], "uninstaller-list.txt", timeout=60)
        got = open(os.path.join(self.dir, "uninstaller-list.txt"), "rb").read().decode("cp866", "replace")
        if text not in got.splitlines():
            self.problem("uninstaller --list printed %r, no line %s" % (got, text))

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

    expect_value_unchanged = expect_key_unchanged

    def expect_features(self, folder):
        """The recorder standing in for the browser opened FOLDER\\features.htm, nothing beside it."""
        if os.path.exists(self.host("C:\\e2e\\features.htm")):
            self.problem("features.htm was opened beside the driver")
        args, dirs = ([m[1] for m in (re.match(r'^  \| %s "(.*)"$' % key, line) for line in self.lines) if m]
                      for key in ("argument", "directory"))
        if not args or not dirs:
            self.problem("no page was opened")
            return
        full = args[-1] if re.match(r"^[A-Za-z]:\\", args[-1]) else dirs[-1] + "\\" + args[-1]
        if full.lower() != (folder + "\\features.htm").lower():
            self.problem("the page opened is %s, not %s\\features.htm" % (full, folder))

    def expect_order(self, folder, desktop):
        pid = next((int(line[4:]) for line in self.lines if line.startswith("pid ")), 0)
        for p in check_order(os.path.join(self.dir, "driver.log"), pid, self.listing, folder, desktop == "yes"):
            self.problem("order of effects: " + p)

    def expect_whole(self, folder):
        """No file of the archive in FOLDER is written short (a beginning of the archive's bytes, or
        empty where they are not), and no working file is left."""
        for *_, rel in read_listing(self.listing)[1]:
            path = os.path.join(self.host(folder), rel)
            want = open(os.path.join(self.reference, rel), "rb").read()
            got = open(path, "rb").read() if os.path.isfile(path) else None
            if got is not None and got != want and want.startswith(got):
                self.problem("written short: %s, %d of %d bytes" % (rel, len(got), len(want)))
        for top, _, names in os.walk(self.host(folder)):
            if any(n.lower().startswith("~pel") for n in names):
                self.problem("working file left in " + os.path.relpath(top, self.prefix))

    def expect_absent(self, path, want=False):
        if os.path.lexists(self.host(path)) != want:
            self.problem(("missing: " if want else "exists: ") + path)

    def expect_present(self, path):
        self.expect_absent(path, True)

    def expect_unchanged(self, path):
        for host in glob.glob(self.host(path)) or [self.host(path)]:
            if file_state(host) != self.snapshots.get(host):
                self.problem("changed: %s" % os.path.relpath(host, self.prefix))

    def expect_changed(self, pattern):
        before = {k: v for k, v in self.snapshots.items() if v and fnmatch.fnmatch(k, self.host(pattern))}
        if not before:
            self.problem("no file matched %s before the run" % pattern)
        for host, state in before.items():
            if (file_state(host) or state)[1] == state[1]:
                self.problem("not rewritten: %s" % os.path.relpath(host, self.prefix))


TEXT_CHECKS = {"first", "count", "exit", "listed"}


def reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def parse_time(text):
    """2001-02-03T04:05:06.7 (UTC) as nanoseconds since 1970."""
    m = re.fullmatch(r"(\d+)-(\d+)-(\d+)T(\d+):(\d+):(\d+)(?:\.(\d{1,9}))?", text)
    seconds = calendar.timegm(tuple(int(g) for g in m.groups()[:6]))
    return seconds * 10**9 + int((m.group(7) or "0").ljust(9, "0"))


def file_state(path):
    """A file's bytes, time, mode and attributes; a folder's: those of everything in it."""
    if os.path.isdir(path) and not os.path.islink(path):
        return {os.path.relpath(os.path.join(top, n), path): file_state(os.path.join(top, n)) if n in files else
                dos_attributes(os.path.join(top, n)) for top, dirs, files in os.walk(path) for n in dirs + files}
    try:
        st = os.stat(path)
        data = open(path, "rb").read() if os.path.isfile(path) else b""
        return (data, st.st_mtime_ns, st.st_mode, dos_attributes(path))
    except OSError:
        return None


def dos_attributes(path):
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0].decode("ascii"), 0)
    except (OSError, ValueError):
        return 0


def serve_screenshots(folder, shots, done):
    """Answers the driver's requests: shot-NAME.req becomes SHOTS/NAME.png (cut to the area the
    request names, if any) and shot-NAME.done."""
    os.makedirs(shots, exist_ok=True)
    while not done.wait(0.1):
        for request in glob.glob(os.path.join(folder, "shot-*.req")):
            name = os.path.basename(request)[5:-4]
            area = open(request).read().strip()
            crop = ["-crop", area, "+repage"] if area else []
            subprocess.call([ENV["IMPORT"], "-display", ENV["DISPLAY"], "-window", "root"] + crop +
                            [os.path.join(shots, name + ".png")], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.remove(request)
            open(os.path.join(folder, "shot-%s.done" % name), "wb").close()


def read_listing(path):
    """`pelpack list`: the folders and the files (attributes, time, length, path), paths with "/"."""
    dirs, files = {}, []
    for line in open(path, encoding="utf-8"):
        f = line.rstrip("\n").split("\t")
        if len(f) == 7 and f[0] == "dir":
            dirs[int(f[1])] = os.path.normpath(f[6].replace("\\", "/"))
        elif len(f) == 7 and f[0] == "file":
            rel = os.path.normpath((dirs[int(f[4])] + "/" if int(f[4]) else "") + f[6])
            files.append((int(f[2], 16), int(f[3]), int(f[5]), rel))
    return dirs.values(), files


def check_payload(listing, folder, source, kept):
    """Every directory and file of the archive there and nothing else; each file with the
    archive's bytes (as extracted into SOURCE), the record's time to 100 ns and its attribute bits (read-only as a missing
    write permission, hidden and system in user.DOSATTRIB). KEPT files need only exist."""
    problems = []
    dirs, files = read_listing(listing)
    if not files:
        problems.append("the listing has no files")
    expected = set()
    for rel in dirs:
        expected.add(rel)
        if not os.path.isdir(os.path.join(folder, rel)):
            problems.append("directory missing: " + rel)
    for attributes, stamp, length, rel in files:
        expected.add(rel)
        path = os.path.join(folder, rel)
        if not os.path.isfile(path):
            problems.append("file missing: " + rel)
            continue
        if rel in kept:
            continue
        data = open(path, "rb").read()
        source_path = os.path.join(source, rel)
        if len(data) != length or not os.path.isfile(source_path) or open(source_path, "rb").read() != data:
            problems.append("%s: %d bytes, not the archive's %d of %s" % (rel, len(data), length, source_path))
        st = os.stat(path)
        want_ns = (stamp - FILETIME_UNIX_EPOCH) * 100
        if st.st_mtime_ns != want_ns:
            problems.append("%s: mtime %d ns, the archive says %d ns" % (rel, st.st_mtime_ns, want_ns))
        if (not st.st_mode & 0o200) != bool(attributes & 1):
            problems.append("%s: read-only bit wrong, attributes 0x%02X" % (rel, attributes))
        if dos_attributes(path) & 6 != attributes & 6:
            problems.append("%s: hidden/system 0x%X, attributes 0x%02X" % (rel, dos_attributes(path) & 6, attributes))
    for top, subdirs, names in os.walk(folder):
        for name in subdirs + names:
            rel = os.path.normpath(os.path.relpath(os.path.join(top, name), folder))
            if rel not in expected and rel not in kept:
                problems.append("not from the archive: " + rel)
    return problems


# ---- order of effects, from Wine's relay trace ----------------------------------------------------
CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call ([\w.]+)\((.*)\) ret=[0-9a-f]+$")


def unescape(body, wide):
    """The text of a Wine debug string ("..." or L"..."): \\xNN bytes, \\NNNN UTF-16 units."""
    code = r"\\([0-9a-fA-F]{4})" if wide else r"\\x([0-9a-fA-F]{2})"
    text = re.sub(code + r"|\\(.)", lambda m: chr(int(m[1], 16)) if m[1] else {"n": "\n", "r": "\r", "t": "\t"}.get(
        m[2], m[2]), body)
    return text if wide else text.encode("latin-1").decode("cp1251")


def calls(log, pid):
    """The installer's traced calls as (kind, detail)."""
    found = []
    for line in open(log, encoding="latin-1"):
        m = CALL.match(line.rstrip("\n"))
        if not m or int(m.group(1), 16) != pid:
            continue
        name, args = m.group(2).split(".")[-1], m.group(3)
        texts = [unescape(t.group(2), t.group(1) == "L") for t in re.finditer(r'(L?)"((?:[^"\\]|\\.)*)"', args)]
        plain = re.sub(r'\s*L?"(?:[^"\\]|\\.)*"', "", args)
        nums = [int(a, 16) for a in plain.split(",") if re.fullmatch(r"\s*[0-9a-fA-F]+\s*", a)]
        if name == "DialogBoxParamA":
            found.append(("P", nums[1]))
        elif name == "CreateDirectoryA":
            found.append(("D", texts[0]))
        elif name in ("CreateFileA", "MoveFileExA") and texts and not texts[-1].rsplit("\\", 1)[-1].startswith("~pel"):
            found.append(("F", texts[-1]))  # created new at its place, or moved into it from beside it
        elif name == "CreateFileW" and texts and texts[0].lower().endswith(".lnk"):
            found.append(("K", texts[0]))
        elif name == "CoCreateInstance":
            found.append(("L", ""))
        elif name == "ShellExecuteA":  # owner, verb, file, parameters, directory, show (an int:
            # the upper half of its 64-bit slot is undefined)
            found.append(("S", "%s owner=%x parameters=%x directory=%x show=%d"
                          % (" ".join(texts), nums[0], nums[3], nums[4], nums[5] & 0xFFFFFFFF)))
        elif name == "RegCreateKeyExA":  # root, path, reserved, class, options, access, security
            root = {0x80000001: "HKCU", 0x80000002: "HKLM"}.get(nums[0] & 0xFFFFFFFF, "%x" % nums[0])
            found.append(("C", "%s\\%s reserved=%d options=%d access=%x security=%x"
                          % (root, texts[0], nums[2], nums[4], nums[5], nums[6])))
        elif name == "RegSetValueExA":
            found.append(("V", "%s type=%d length=%d" % (texts[0], nums[3], nums[-1])))
        elif name == "RegDeleteKeyA":
            found.append(("X", texts[0]))
    return found


def check_order(log, pid, listing, folder, desktop):
    """The installer's calls in order: destination and licence pages, every archive file written,
    the group and the links (each link object, then its file), the features page opened with
    "open" (relative name, no owner, SW_SHOW), the record (Setup key under HKCU, full access; Path
    and Version with their text lengths, no terminator), the toolbar key deleted, the Installed-apps
    entry (a key and its nine values, checked by `expect entry`), completion."""
    got = calls(log, pid)
    if not got:
        return ["no relay lines of process %d" % pid]
    problems = []
    shape = "".join(k for k, _ in got)
    want = r"^PPD[DF]+D(LK){%d}SCVVXCV{9}P$" % (7 if desktop else 6)
    if not re.match(want, shape):
        problems.append("calls in the order %s, not %s" % (shape, want))
    of = lambda kind: [v for k, v in got if k == kind]  # noqa: E731
    if of("P") != [1, 2, 5]:
        problems.append("pages %s, not the destination (1), licence (2) and completion (5)" % of("P"))
    if of("D")[:1] != [folder]:
        problems.append("the first folder made is %s, not %s" % (of("D")[:1], folder))
    written = {v.lower() for v in of("F")}
    for *_, rel in read_listing(listing)[1]:
        name = rel.replace("/", "\\")
        if name.lower() not in written and (folder + "\\" + name).lower() not in written:
            problems.append("no file written for " + name)
    titles = [v.rsplit("\\", 1)[-1] for v in of("K")]
    want_titles = [t + ".lnk" for t, _ in LINKS[:6]] + ([LINKS[6][0] + ".lnk"] if desktop else [])
    if titles != want_titles:
        problems.append("links saved %s, not %s" % (titles, want_titles))
    if of("S") != ["open features.htm owner=0 parameters=0 directory=0 show=5"]:
        problems.append("shell calls %s, not one open of features.htm" % of("S"))
    record = [(k, v) for k, v in got if k in "CVX"][:4]
    want_record = [("C", "HKCU\\Software\\Pelbrix\\Setup reserved=0 options=0 access=f003f security=0"),
                   ("V", "Path type=1 length=%d" % len(folder.encode("cp1251"))),
                   ("V", "Version type=1 length=5"), ("X", "Software\\Pelbrix\\Main\\TFormMainToolBar")]
    if record != want_record:
        problems.append("registry calls %s, not %s" % (record, want_record))
    return problems


# ---- the set ------------------------------------------------------------------------------------
def main(names):
    arch = ENV.get("PEL_E2E_ARCH", "x86_64")
    build = {"setup": ENV["PEL_E2E_SETUP"]}
    for line in open(os.path.join(HERE, "builds.conf"), encoding="utf-8"):
        w = line.split(None, 1)
        if w and w[0] == arch:
            build.update(dict(kv.split("=", 1) for kv in re.findall(r'\w+=(?:"[^"]*"|\S+)', w[1])))
    build = {k: v.strip('"') for k, v in build.items()}
    constants = product_constants()
    LINKS[:] = [(constants[t], f) for t, f in LINKS] + [(constants["PEL_DISPLAY_NAME"], "Pelbrix.exe")]  # + desktop
    everything = sorted(f[:-4] for f in os.listdir(SCENARIOS) if f.endswith(".scn"))
    order, scenarios = [], {}

    def add(name):  # a scenario after the one it continues
        if name not in order:
            scenarios[name] = Scenario(name)
            if scenarios[name].continues:
                add(scenarios[name].continues)
            order.append(name)

    for name in names or everything:
        add(name)
    continued = {s.continues for s in scenarios.values() if s.continues}
    user = next(os.path.basename(u) for u in glob.glob(os.path.join(ENV["PEL_E2E_BASE"], "drive_c", "users", "*"))
                if os.path.basename(u) != "Public")
    failed, started = 0, time.time()
    for name in order:
        s, began = scenarios[name], time.time()
        setup = ENV.get(s.installer) if s.installer else build["setup"]
        run = Run(s, setup)
        shutil.rmtree(run.dir, ignore_errors=True)
        os.makedirs(run.dir)
        if not setup or not os.path.isfile(setup):
            run.problem("no installer at $%s" % s.installer)
        else:
            texts, run.resources = resource_texts(setup)
            run.vars.update(constants, **texts)
            run.vars.update({k: v for k, v in build.items() if k != "setup"})
            profile = "C:\\users\\" + user
            run.vars.update(SETUP="C:\\e2e\\" + os.path.basename(setup), E2E="C:\\e2e", USERPROFILE=profile,
                            DESKTOP=profile + "\\Desktop",
                            GROUP=profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
                            + constants["kGroupFolderName"])
            for let, value in s.lets:
                run.vars[let] = run.sub(value)
            run.listing = os.path.join(run.dir, "payload-list.tsv")
            run.make_prefix()
            with open(run.listing, "wb") as out:  # a broken archive lists no files
                subprocess.call([ENV["PEL_E2E_PELPACK"], "list", setup], stdout=out, stderr=subprocess.DEVNULL)
            # The installer's own files, as its archive holds them: what an installation must match.
            run.reference = os.path.join(run.dir, "archive")
            subprocess.call([ENV["PEL_E2E_PELPACK"], "extract", setup, run.reference],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                run.prepare()
                run.drive()
                run.check()
            finally:
                run.stop()
        for shot in glob.glob(os.path.join(run.dir, "screenshots", "*.png")):
            shutil.copy(shot, os.path.join(E2E, "screenshots", "%s-%s" % (name, os.path.basename(shot))))
        if run.problems:
            failed += 1
            print("FAIL %s (%.1f s; transcript: %s)" % (name, time.time() - began, os.path.join(run.dir, "transcript.txt")))
            for p in run.problems:
                print("     " + p)
        else:
            print("PASS %s (%.1f s)" % (name, time.time() - began))
            if ENV.get("PEL_E2E_KEEP") != "1" and name not in continued:
                shutil.rmtree(run.prefix, ignore_errors=True)
        sys.stdout.flush()
    print("%d s, %s build, screenshots in %s" % (time.time() - started, arch, os.path.join(E2E, "screenshots")))
    print("%d passed, %d failed" % (len(order) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
