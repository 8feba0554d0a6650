#!/usr/bin/python3
"""The whole road of one order, driven through the real tool as a person would.

On a private X server (Xvfb) it starts the portal stand-in, the FTP code server and the
simulated remote, then the tool with an empty credential store, and works it with real
mouse clicks and key presses (xdotool): login, the portal's order link, the wizard from the
start page to the closing page, the device info read-out, and a second start that logs in
by itself. What it checks comes from what a person sees and what the outside world got:
the windows' controls (read through the tool's CORVANA_UI_DUMP read-out, which also gives
where to click), the portal's request record, the frames and the memory of the simulated
remote.

    e2e_road.py --bin BUILD/bin --source SOURCE_DIR [--tool NAME] [--keep]
                [--package-dir DIR --user NAME]

The tool is NAME in BUILD/bin (pcorvanabrowser_uidump: the program with the read-out, which
the shipped program never holds). With --package-dir it runs from the built .deb in DIR,
unpacked into a root of its own (dpkg-deb -x, nothing installed), put beside the packaged
program and its pictures; with --user the tool and the simulated remote run as
that unprivileged user, with a HOME and XDG folders of their own and the browser sandbox on.

On failure the work folder (logs, a screenshot, the last read-out) is kept and named.
"""

import argparse
import ctypes
import glob
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PY = "/usr/bin/python3"  # the one with pyftpdlib
SESSION = "e2ezqkwbxnaslmd0cryt4uvj"
USER, PASSCODE = "kunde 4711", "Geh&eim=1"
NUMBER, FB, PREFIX = "10000", "00", "PQT_"
READOUT, DESIGNATION, VERSION = "01C8", "QYX81456-PQ", "TV1"  # 1C8 is 456


class Failure(Exception):
    pass


def die_with_driver():
    # ctest ends a test that runs too long by killing the driver: the X server, the stand-ins
    # and the tool must not outlive it.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def frame_hex(data):
    return " ".join("%02X" % b for b in data)


def expected_image(path):
    """The 32 KB image the code file describes: its data records over unprogrammed FF."""
    image = bytearray(b"\xff" * 0x8000)
    end = None
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line.startswith(":"):
                continue
            count, address, kind = int(line[1:3], 16), int(line[3:7], 16), line[7:9]
            if kind == "20":
                image[address:address + count] = bytes.fromhex(line[9:9 + 2 * count])
                end = address + count - 1
            elif kind == "01":
                break
    return bytes(image), end


def block_frame(image, address, end):
    data = bytes(image[address + i] if address + i <= end else 0xFF for i in range(64))
    checksum = 0x23 ^ (address >> 8) ^ (address & 0xFF)
    for b in data:
        checksum ^= b
    marker = 0x04 if address + 64 > end else 0x08
    return (b"\x02!" + b"%04X" % address + data.hex().upper().encode()
            + b"%02X" % checksum + bytes([marker, 0x03]))


class Road:
    def __init__(self, args):
        self.bin = args.bin
        self.source = args.source
        self.started = time.monotonic()
        self.work = tempfile.mkdtemp(prefix="corvana-e2e-")
        self.procs = []
        self.tool = None
        self.tool_path = os.path.join(self.bin, args.tool)
        self.user = pwd.getpwnam(args.user) if args.user else None
        # What the tool and the remote write goes where their user may write.
        self.own = self.work
        if self.user:
            os.chmod(self.work, 0o711)
            self.own = self.own_dir("user")
        if args.package_dir:
            self.tool_path = self.unpack(args.package_dir, self.tool_path)
        self.dump_path = os.path.join(self.own, "ui.dump")
        self.seq = -1
        self.last = {}

    # --- processes ---------------------------------------------------------------------

    def log(self, text):
        print("[%6.1f s] %s" % (time.monotonic() - self.started, text), flush=True)

    def own_dir(self, *parts):
        path = os.path.join(self.work if not parts or parts[0] == "user" else self.own, *parts)
        os.makedirs(path, mode=0o700, exist_ok=True)
        if self.user:
            os.chown(path, self.user.pw_uid, self.user.pw_gid)
        return path

    def unpack(self, package_dir, tool):
        debs = glob.glob(os.path.join(package_dir, "*.deb"))
        if len(debs) != 1:
            raise Failure("expected one .deb in %s, found %r" % (package_dir, debs))
        root = os.path.join(self.work, "root")
        subprocess.run(["dpkg-deb", "-x", debs[0], root], check=True)
        self.log("unpacked %s into %s" % (os.path.basename(debs[0]), root))
        # The packaged program reads nothing out; its twin with the read-out runs in its place.
        program_dir = os.path.dirname(os.path.realpath(os.path.join(root, "usr/bin",
                                                                    "pcorvanabrowser")))
        placed = os.path.join(program_dir, os.path.basename(tool))
        shutil.copy2(tool, placed)
        os.chmod(placed, 0o755)
        return placed

    def as_user(self, argv, env):
        """argv run as the unprivileged user, in an environment of its own."""
        if not self.user:
            return argv, env
        home = self.own_dir("home")
        env = dict(env or os.environ, HOME=home, USER=self.user.pw_name,
                   LOGNAME=self.user.pw_name, XDG_CONFIG_HOME=self.own_dir("home", ".config"),
                   XDG_CACHE_HOME=self.own_dir("home", ".cache"),
                   XDG_DATA_HOME=self.own_dir("home", ".local"),
                   XDG_RUNTIME_DIR=self.own_dir("runtime"))
        # The sandbox stays on: nothing here may turn it off.
        env.pop("QTWEBENGINE_DISABLE_SANDBOX", None)
        return ["setpriv", "--reuid", str(self.user.pw_uid), "--regid", str(self.user.pw_gid),
                "--clear-groups", "--pdeathsig", "TERM", "--", *argv], env

    def spawn(self, name, argv, env=None, **kw):
        out = open(os.path.join(self.work, name + ".log"), "w")
        p = subprocess.Popen(argv, stdout=kw.pop("stdout", out), stderr=out,
                             stdin=subprocess.DEVNULL, env=env, preexec_fn=die_with_driver, **kw)
        self.procs.append(p)
        return p

    def start_with_port(self, name, argv):
        p = self.spawn(name, argv, stdout=subprocess.PIPE, text=True)
        line = p.stdout.readline()
        if not line.strip().isdigit():
            raise Failure("%s did not start (see %s.log)" % (name, name))
        return int(line)

    def start_x(self):
        r, w = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(w,))
        os.close(w)
        number = b""
        deadline = time.monotonic() + 60
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            raise Failure("Xvfb did not start (see xvfb.log)")
        self.display = ":" + number.decode().strip()
        self.log("X server on " + self.display)

    def start_stand_ins(self):
        self.portal_log = os.path.join(self.work, "portal-requests.log")
        self.portal_port = self.start_with_port("portal", [
            PY, "-u", os.path.join(self.source, "tools/portal/portal.py"),
            "--session", SESSION, "--log", self.portal_log, "--order", FB + ":" + NUMBER,
            "--big-order", FB, "--beacon"])
        self.codes = os.path.join(self.work, "codes")
        self.ftp_port = self.start_with_port("codeserver", [
            PY, "-u", os.path.join(self.source, "tools/codeserver/codeserver.py"), self.codes,
            "--make", FB + ":" + NUMBER])
        self.frames_path = os.path.join(self.own, "frames.log")
        self.image_path = os.path.join(self.own, "remote-image.bin")
        env_file = os.path.join(self.own, "remote.env")
        # The remote runs as the tool's user, as a cable would be the logged-in user's.
        self.spawn("remotesim", *self.as_user([
            os.path.join(self.bin, "remotesim"), "--dir", os.path.join(self.own, "remote"),
            "--env-file", env_file, "--type", FB, "--readout", READOUT,
            "--record", self.frames_path, "--image", self.image_path, "--paced"], None))
        self.wait_for(lambda: os.path.exists(env_file), 30, "the simulated remote's tree")
        self.remote_env = {}
        with open(env_file) as f:
            for line in f:
                if line.startswith("export "):
                    key, _, value = line[len("export "):].strip().partition("=")
                    self.remote_env[key] = value.strip("'\"")
        self.log("portal :%d, code server :%d, remote %s" % (
            self.portal_port, self.ftp_port, self.remote_env.get("CORVANA_DEV_ROOT")))

    def start_tool(self, name):
        env = dict(os.environ)
        env.update(self.remote_env)
        host = "127.0.0.1:%d" % self.portal_port
        env.update({
            "DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb",
            "XDG_CONFIG_HOME": os.path.join(self.own, "config"),
            "XDG_STATE_HOME": self.own_dir("state"),
            "TMPDIR": self.own_dir("tmp"),
            "CORVANA_PORTAL_HOST_DE": host, "CORVANA_PORTAL_HOST_INT": host,
            "CORVANA_CODE_SERVER": "127.0.0.1", "CORVANA_CODE_SERVER_PORT": str(self.ftp_port),
            "CORVANA_UI_DUMP": self.dump_path,
            "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu --no-sandbox",
        })
        argv = [self.tool_path]
        if self.user:
            env["QTWEBENGINE_CHROMIUM_FLAGS"] = "--disable-gpu"
            argv, env = self.as_user(argv, env)
        elif os.geteuid() == 0:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        if os.path.exists(self.dump_path):
            os.unlink(self.dump_path)
        self.seq = -1
        self.tool = self.spawn(name, argv, env=env)
        self.wait_for(lambda: os.path.exists(self.dump_path), 60, "the tool to start")

    def stop_all(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
        for p in reversed(self.procs):
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    # --- seeing ------------------------------------------------------------------------

    def wait_for(self, condition, timeout, what):
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if self.tool is not None and self.tool.poll() is not None:
                raise Failure("the tool ended (%s) while waiting for %s"
                              % (self.tool.returncode, what))
            if time.monotonic() > deadline:
                raise Failure("no %s within %d s" % (what, timeout))
            time.sleep(0.1)

    def read_dump(self):
        try:
            with open(self.dump_path, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return None
        if not lines or not lines[0].startswith("seq\t"):
            return None
        seq = int(lines[0].split("\t")[1])
        if seq <= self.seq:
            return None
        d = {"boxes": []}
        for line in lines[1:]:
            parts = line.split("\t")
            if parts[0] == "W":
                d[parts[1]] = {"visible": parts[2] == "1", "x": int(parts[3]), "y": int(parts[4]),
                               "w": int(parts[5]), "h": int(parts[6]), "text": parts[7]}
            elif parts[0] == "Box":
                d["boxes"].append(parts[2])
            else:
                d[parts[0]] = parts[1] if len(parts) > 1 else ""
        self.seq = seq
        return d

    def dump(self, timeout=90):
        """What the windows show now; waits while the tool holds its UI thread."""
        os.kill(self.tool.pid, signal.SIGUSR1)
        self.last = self.wait_for(self.read_dump, timeout, "read-out of the windows")
        return self.last

    def see(self, condition, timeout, what, boxes_allowed=False):
        """Looks at the windows until `condition` holds; a message box ends the test."""
        deadline = time.monotonic() + timeout
        while True:
            d = self.dump(timeout=max(5, deadline - time.monotonic()))
            if d["boxes"] and not boxes_allowed:
                raise Failure("message box while waiting for %s: %r" % (what, d["boxes"]))
            if condition(d):
                return d
            if time.monotonic() > deadline:
                raise Failure("no %s within %d s" % (what, timeout))
            time.sleep(0.2)

    def shown(self, d, name):
        return name in d and d[name]["visible"]

    def text(self, d, name):
        return d[name]["text"]

    def expect(self, d, name, want):
        if self.text(d, name) != want:
            raise Failure("%s shows %r, expected %r" % (name, self.text(d, name), want))

    def x_windows(self, title):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                           env=self.xenv(), capture_output=True, text=True)
        return r.stdout.split()

    def pixel(self, x, y):
        r = subprocess.run(["import", "-window", "root", "-crop", "1x1+%d+%d" % (x, y),
                            "-depth", "8", "txt:-"], env=self.xenv(), capture_output=True,
                           text=True)
        return r.stdout.rsplit("#", 1)[-1][:6].upper() if "#" in r.stdout else ""

    def requests(self):
        try:
            with open(self.portal_log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def frames(self):
        try:
            with open(self.frames_path) as f:
                return [bytes.fromhex(line) for line in f.read().splitlines() if line.strip()]
        except FileNotFoundError:
            return []

    # --- acting ------------------------------------------------------------------------

    def xenv(self):
        return dict(os.environ, DISPLAY=self.display)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.xenv(), check=True)

    def click(self, d, name, dx=None, dy=None):
        w = d[name]
        if not w["visible"]:
            raise Failure("%s is not on the screen" % name)
        x = w["x"] + (w["w"] // 2 if dx is None else dx)
        y = w["y"] + (w["h"] // 2 if dy is None else dy)
        self.xdotool("mousemove", str(x), str(y))
        time.sleep(0.05)  # the hover a person's hand makes before the press
        self.xdotool("click", "1")

    def type_into(self, d, name, text):
        # A key press lost on a busy machine is put right as a person would: type it again.
        for attempt in range(3):
            self.click(d, name)
            self.xdotool("key", "ctrl+a", "BackSpace")
            self.xdotool("type", "--delay", "30", text)
            try:
                return self.see(lambda e: self.text(e, name) == text, 10,
                                "%r in %s" % (text, name))
            except Failure:
                if attempt == 2:
                    raise
                self.log("%s shows %r, typing again" % (name, self.text(self.last, name)))

    # --- the road ----------------------------------------------------------------------

    def run(self):
        self.start_x()
        self.start_stand_ins()
        self.start_tool("tool")
        self.first_start_and_login()
        if self.user:
            self.check_user_and_sandbox()
        start_page = self.open_order()
        self.program()
        self.report_and_close(start_page)
        self.read_out()
        self.run_log()
        self.close_tool()
        self.second_start()

    def first_start_and_login(self):
        d = self.see(lambda e: self.shown(e, "Form3."), 90, "login window")
        if self.shown(d, "Form4.") or self.x_windows("Corvana Halvern GmbH"):
            raise Failure("the main window is on the screen before the login window closed")
        if not self.x_windows("Corvana Halvern Login"):
            raise Failure("the login window is not mapped on the X server")
        self.log("first start: the login window alone")
        self.type_into(d, "Form3.Edit1", USER)
        self.type_into(d, "Form3.Edit2", PASSCODE)
        # The language from the drop-down list: open it at its arrow, one down, take it.
        box = d["Form3.ComboBox1"]
        self.click(d, "Form3.ComboBox1", dx=box["w"] - 8)
        self.see(lambda e: self.shown(e, "Form3.ComboBox1.list"), 20, "language list open")
        self.xdotool("key", "Down")
        self.xdotool("key", "Return")
        d = self.see(lambda e: self.text(e, "Form3.ComboBox1") == "English"
                     and not self.shown(e, "Form3.ComboBox1.list"), 20, "English chosen")
        self.click(d, "Form3.Button1")
        d = self.see(lambda e: not self.shown(e, "Form3.") and self.shown(e, "Form4."), 60,
                     "main window after saving")
        self.wait_for(lambda: any(r.startswith("GET /Login.aspx?") for r in self.requests()),
                      60, "login request at the portal")
        got = [r for r in self.requests() if r.startswith("GET /Login.aspx?")]
        want = "GET /Login.aspx?SPK=EN&userid=%s&passcode=%s HTTP/1.1" % (
            USER.replace(" ", "%20"), PASSCODE)
        if got != [want]:
            raise Failure("login requests %r, expected [%r]" % (got, want))
        self.log("logged in: " + got[0])

    def check_user_and_sandbox(self):
        """The tool runs as its user; the portal's pages render in the browser's sandbox:
        namespaces of their own and a seccomp filter, as a desktop user's browser has them."""
        def status(pid):
            with open("/proc/%d/status" % pid) as f:
                return dict(line.rstrip("\n").split(":\t", 1) for line in f if ":\t" in line)

        def cmdline(pid):
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return f.read().split(b"\0")

        def descendants(top):
            parents = {}
            for entry in os.listdir("/proc"):
                if entry.isdigit():
                    try:
                        with open("/proc/%s/stat" % entry) as f:
                            parents[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
                    except (OSError, IndexError, ValueError):
                        pass
            found, todo = [], [top]
            while todo:
                pid = todo.pop()
                kids = [p for p, parent in parents.items() if parent == pid]
                found += kids
                todo += kids
            return found

        tool = self.tool.pid
        uid = str(self.user.pw_uid)
        if status(tool)["Uid"].split() != [uid] * 4:
            raise Failure("the tool runs as %s, not as %s" % (status(tool)["Uid"], uid))
        # A renderer is forked by the sandboxed zygote and keeps its command line: it is
        # known by the seccomp filter it runs under.
        def sandboxed():
            return [p for p in descendants(tool) if status(p).get("Seccomp") == "2"]

        renderers = self.wait_for(sandboxed, 30, "renderer process in the sandbox")
        for pid in descendants(tool):
            if b"--no-sandbox" in cmdline(pid):
                raise Failure("helper %d runs with --no-sandbox" % pid)
        for pid in renderers:
            st = status(pid)
            if st.get("NoNewPrivs") != "1":
                raise Failure("renderer %d may gain privileges" % pid)
            if os.readlink("/proc/%d/ns/pid" % pid) == os.readlink("/proc/%d/ns/pid" % tool):
                raise Failure("renderer %d shares the tool's process namespace" % pid)
            if st["Uid"].split() != [uid] * 4:
                raise Failure("renderer %d runs as %s" % (pid, st["Uid"]))
        self.log("the tool runs as %s; %d renderer(s) in the sandbox (own namespaces, seccomp)"
                 % (self.user.pw_name, len(renderers)))

    def open_order(self):
        loaded = "GET /__loaded?%%2F(S(%s))%%2FDefault.aspx HTTP/1.1" % SESSION
        self.wait_for(lambda: loaded in self.requests(), 90, "portal start page loaded")
        d = self.see(lambda e: e.get("LocationURL", "").endswith("Default.aspx?SPK=EN&user="
                                                                  + USER.replace(" ", "%20")),
                     30, "start page address")
        start_page = d["LocationURL"]
        web = d["Form4.WebBrowser1"]
        at = (web["x"] + 40, web["y"] + 40)  # inside the link, clear of its caption
        # Click the order link once it is painted where the page puts it.
        self.wait_for(lambda: self.pixel(*at) == "2D5C9E", 60, "order link on the screen")
        order = "GET /(S(%s))/DownloadFB.aspx?a=QYX%s-PQ&FB=%s HTTP/1.1" % (SESSION, NUMBER, FB)
        for attempt in range(3):
            self.click(d, "Form4.WebBrowser1", dx=40, dy=40)
            try:
                self.wait_for(lambda: order in self.requests(), 15, "order page request")
                break
            except Failure:
                if attempt == 2:
                    raise
                self.log("the click did not reach the link yet, once more")
        d = self.see(lambda e: self.shown(e, "Form1."), 60, "wizard")
        if "DownloadFB.aspx?a=QYX%s-PQ&FB=%s" % (NUMBER, FB) not in d["LocationURL"]:
            raise Failure("wizard opened on %r" % d["LocationURL"])
        if d.get("Form1.ActivePage") != "AdvTabSheet2":
            raise Failure("wizard opened on %s" % d.get("Form1.ActivePage"))
        self.log("order link clicked, the wizard shows its start page")
        return start_page

    def program(self):
        d = self.last
        self.click(d, "Form1.AdvPictureWeiter")
        d = self.see(lambda e: e.get("Form1.ActivePage") == "AdvTabSheet3", 20, "download page")
        self.expect(d, "Form1.LabelQYX8", "Bitte Fernbedienung QYX PQ TV1 anschliessen.")
        self.expect(d, "Form1.LabelFB8", "Please connect Remote Control QYX PQ TV1.")
        self.click(d, "Form1.AdvPictureDownload")
        # At 9600 baud the blocks take a while: the busy page must be seen meanwhile.
        busy = []

        def finished(e):
            if (e.get("Form1.ActivePage") == "AdvTabSheet3"
                    and not self.shown(e, "Form1.AdvPictureDownload")
                    and self.text(e, "Form1.LabelQYX3") == "Download QYX%s - Bitte warten!" % NUMBER
                    and self.text(e, "Form1.LabelFB3") == "Download QYX%s - Please wait!" % NUMBER):
                busy.append(e)
            return e.get("Form1.ActivePage") == "AdvTabSheet4"

        d = self.see(finished, 180, "finished page")
        if not busy:
            raise Failure("the download page never showed its busy state")
        self.expect(d, "Form1.LabelQYX4", "Download QYX%s erfolgreich beendet!" % NUMBER)
        self.expect(d, "Form1.LabelFB4", "Download QYX%s successfully finished!" % NUMBER)
        self.log("download and programming done, the finished page is up")

        image, end = expected_image(os.path.join(self.codes, PREFIX + NUMBER + ".hex"))
        frames = self.frames()
        want = [bytes.fromhex("02 24 30 30 03"), bytes.fromhex("02 23 00 03")]
        want += [block_frame(image, a, end) for a in range(0x1000, end + 1, 64)]
        if frames != want:
            bad = next((i for i, (a, b) in enumerate(zip(frames, want)) if a != b),
                       min(len(frames), len(want)))
            raise Failure("the remote got %d frames, expected %d; first difference at frame %d:"
                          " got %s, expected %s" % (
                              len(frames), len(want), bad,
                              frame_hex(frames[bad]) if bad < len(frames) else "nothing",
                              frame_hex(want[bad]) if bad < len(want) else "nothing"))
        self.programmed = frames
        remote = b""

        def remote_holds_image():
            nonlocal remote
            try:
                with open(self.image_path, "rb") as f:
                    remote = f.read()
            except FileNotFoundError:
                return False
            return remote == image

        try:
            self.wait_for(remote_holds_image, 10, "the code file in the remote's memory")
        except Failure:
            first = next(i for i in range(len(image)) if i >= len(remote) or remote[i] != image[i])
            raise Failure("the remote's memory differs from the code file from %04X on" % first)
        self.log("the remote holds the code file: %d blocks from 1000 to %04X, every one checked"
                 % (len(want) - 2, end))
        left = [os.path.join(top, name) for top, _, names in os.walk(os.path.join(self.own, "tmp"))
                for name in names if name == "Printer.drv"]
        if left:
            raise Failure("the temporary code file was not deleted: %r" % left)

    def report_and_close(self, start_page):
        before = len(self.requests())
        self.click(self.last, "Form1.AdvPictureFertig")
        d = self.see(lambda e: e.get("Form1.ActivePage") == "AdvTabSheet6", 60, "closing page")
        self.expect(d, "Form1.Label12", "Beenden")
        self.expect(d, "Form1.Label13", "Close")
        self.expect(d, "Form1.LabelQYX5",
                    "Bitte QYX%s auf Batteriedeckel und Verpackung notieren!" % NUMBER)
        self.expect(d, "Form1.LabelFB5", "Please note QYX%s on Battery Cover and Packaging!"
                    % NUMBER)
        if not self.shown(d, "Form1.AdvPicture2") or self.shown(d, "Form1.AdvPictureHilf"):
            raise Failure("the closing page does not show the cross alone")
        reports = [r for r in self.requests()[before:] if "Statistik.aspx" in r]
        want = "GET /Corvana/(S(%s))/Statistik.aspx?QYX=QYX%s-PQ HTTP/1.1" % (SESSION, NUMBER)
        if reports != [want]:
            raise Failure("completion reports %r, expected [%r]" % (reports, want))
        self.log("completion report received: " + want)

        before = len(self.requests())
        self.click(d, "Form1.AdvPicture2")
        d = self.see(lambda e: not self.shown(e, "Form1.") and e.get("LocationURL") == start_page,
                     60, "wizard closed and the browser back on the start page")
        if self.x_windows("Corvana Pellquin"):
            raise Failure("the wizard is still mapped on the X server")
        start_path = start_page.split("//", 1)[1].split("/", 1)[1]
        self.wait_for(lambda: "GET /%s HTTP/1.1" % start_path in self.requests()[before:], 60,
                      "the start page asked for again")
        self.log("wizard closed, the browser is back on " + start_page)

    def read_out(self):
        before = len(self.frames())
        self.click(self.last, "Form4.AdvToolBarButton7")
        d = self.see(lambda e: self.shown(e, "Form2."), 30, "device info window")
        self.expect(d, "Form2.EditQYX", "")
        self.click(d, "Form2.AdvPictureAuslesen")
        d = self.see(lambda e: self.text(e, "Form2.EditQYX") != "" or self.shown(e, "Form2.Label1"),
                     60, "read-out result")
        self.expect(d, "Form2.EditQYX", DESIGNATION)
        self.expect(d, "Form2.EditVersion", VERSION)
        if self.shown(d, "Form2.Label1") or self.shown(d, "Form2.Label2"):
            raise Failure("the info window reports no hardware")
        got = self.frames()[before:]
        want = [bytes.fromhex("02 25 30 03"), bytes.fromhex("02 24 30 30 03")]
        if got != want:
            raise Failure("read-out frames %r, expected %r" % (
                [frame_hex(f) for f in got], [frame_hex(f) for f in want]))
        self.log("read-out: %s, hardware version %s" % (DESIGNATION, VERSION))
        self.xdotool("key", "Escape")
        self.see(lambda e: not self.shown(e, "Form2."), 20, "info window closed")

    def run_log(self):
        """What pellquin log makes of the logs the order and the read-out left."""
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(self.own, "state"))
        pellquin = os.path.join(self.bin, "pellquin")

        def pq(*args):
            done = subprocess.run([pellquin, *args], env=env, capture_output=True, timeout=30)
            if done.returncode != 0:
                raise Failure("pellquin %s ended with %d: %s" % (
                    " ".join(args), done.returncode, done.stderr.decode(errors="replace")))
            return done.stdout.decode(errors="replace")

        rows = pq("log").splitlines()[1:]
        if len(rows) != 2:
            raise Failure("pellquin log lists %d runs, expected the order and the read-out: %r"
                          % (len(rows), rows))
        for column in (NUMBER, FB + " TV1", "programmed, reported", "wizard"):
            if column not in rows[1]:
                raise Failure("the order's run %r lacks %r" % (rows[1], column))
        if "identified" not in rows[0] or "info window" not in rows[0]:
            raise Failure("the read-out's run reads %r" % rows[0])
        text = pq("log", "2")
        sent = [bytes.fromhex(line[31:]) for line in text.splitlines() if line[24:31] == "send   "]
        if sent != self.programmed:
            raise Failure("run 2 holds %d frames, the remote recorded %d" % (
                len(sent), len(self.programmed)))
        for secret in (SESSION, PASSCODE, "47_qmr&cd$83"):
            if secret in text:
                raise Failure("run 2 holds the secret %r" % secret)
        self.log("pellquin log lists the order (%s) and the read-out; run 2 holds its %d frames"
                 % (NUMBER, len(sent)))

    def close_tool(self):
        self.click(self.last, "Form4.AdvToolBarButton1")
        try:
            rc = self.tool.wait(60)
        except subprocess.TimeoutExpired:
            raise Failure("the tool did not end after the door button")
        if rc != 0:
            raise Failure("the tool ended with %d" % rc)
        self.log("door button: the tool ended")
        if self.user:
            store = os.path.join(self.own, "home", ".config", "corvana", "hkcu.reg")
            st = os.stat(store)
            if st.st_uid != self.user.pw_uid or st.st_mode & 0o777 != 0o600:
                raise Failure("%s is owned by %d with mode %o" % (store, st.st_uid, st.st_mode))
            self.log("the login values are in the user's own store, mode 0600")

    def second_start(self):
        before = len(self.requests())
        self.start_tool("tool-again")
        want = "GET /Login.aspx?SPK=EN&userid=%s&passcode=%s HTTP/1.1" % (
            USER.replace(" ", "%20"), PASSCODE)
        self.wait_for(lambda: want in self.requests()[before:], 90, "login with the stored values")
        d = self.see(lambda e: self.shown(e, "Form4."), 30, "main window")
        if self.shown(d, "Form3."):
            raise Failure("the login window came up although the values are stored")
        self.log("second start logs in by itself")
        self.click(d, "Form4.AdvToolBarButton1")
        if self.tool.wait(60) != 0:
            raise Failure("the second run ended with %d" % self.tool.returncode)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--tool", default="pcorvanabrowser_uidump",
                    help="the program in --bin to drive (it must hold the read-out)")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    ap.add_argument("--package-dir", help="run the tool of the .deb in this folder")
    ap.add_argument("--user", help="run the tool as this unprivileged user, sandbox on")
    args = ap.parse_args()
    if args.user and os.geteuid() != 0:
        print("--user needs root, to start the tool as another user", file=sys.stderr)
        return 1
    for tool in ("Xvfb", "xdotool", "import") + (("dpkg-deb",) if args.package_dir else ()) + (
            ("setpriv",) if args.user else ()):
        if not shutil.which(tool):
            print("missing %s (tools/deps.sh installs it)" % tool, file=sys.stderr)
            return 1
    road = Road(args)
    ok = False

    def terminated(signum, _frame):
        raise Failure("ended by signal %d" % signum)

    signal.signal(signal.SIGTERM, terminated)
    try:
        road.run()
        ok = True
        road.log("the whole road passed")
    except Failure as e:
        road.log("FAILED: %s" % e)
        try:
            subprocess.run(["import", "-window", "root", os.path.join(road.work, "screen.png")],
                           env=road.xenv(), timeout=30)
        except Exception:
            pass
        with open(os.path.join(road.work, "last-dump.txt"), "w") as f:
            f.write(repr(road.last))
    finally:
        road.stop_all()
        if ok and not args.keep:
            shutil.rmtree(road.work, ignore_errors=True)
        else:
            print("work folder kept: " + road.work, flush=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
