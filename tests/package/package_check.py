#!/usr/bin/python3
"""What a packager checks on the built .deb, and what a user finds in it.

    package_check.py build DEB_DIR --config CPackConfig.cmake
    package_check.py lint DEB_DIR --source SOURCE_DIR

`build` makes the package from the build tree (cpack, no fresh build) into DEB_DIR. `lint`
runs lintian on it (nothing at error or warning level; an override in the package must carry
its reason in a comment above it), unpacks it and runs desktop-file-validate and
`appstreamcli validate --no-net` on what it ships, checks that it holds every picture, that
the stripped programs still carry their version, and that the pellquin(1) manual page names
every command, option, exit code and environment variable that `pellquin --help` does.
A missing tool fails the test: these checks must not pass by not running.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

failures = []


def fail(text):
    failures.append(text)
    print("FAILED: " + text, flush=True)


def need(*tools):
    missing = [t for t in tools if not shutil.which(t)]
    if missing:
        print("missing %s (tools/deps.sh installs them)" % ", ".join(missing), file=sys.stderr)
        sys.exit(1)


def run(argv, **kw):
    print("$ " + " ".join(argv), flush=True)
    return subprocess.run(argv, capture_output=True, text=True, **kw)


def the_deb(deb_dir):
    debs = glob.glob(os.path.join(deb_dir, "*.deb"))
    if len(debs) != 1:
        print("expected one .deb in %s, found %r" % (deb_dir, debs), file=sys.stderr)
        sys.exit(1)
    return debs[0]


def build(deb_dir, config):
    need("cpack", "dpkg-deb", "dpkg-shlibdeps")
    for old in glob.glob(os.path.join(deb_dir, "*.deb")):
        os.unlink(old)
    r = run(["cpack", "-G", "DEB", "--config", config, "-B", deb_dir])
    print(r.stdout + r.stderr)
    if r.returncode != 0:
        return 1
    deb = the_deb(deb_dir)
    size = os.path.getsize(deb)
    installed = run(["dpkg-deb", "-f", deb, "Installed-Size"]).stdout.strip()
    print("%s: %d bytes, installed size %s KiB" % (os.path.basename(deb), size, installed))
    return 0


def lintian(deb):
    r = run(["lintian", "--fail-on", "error,warning", "--display-info", "--pedantic",
             "--show-overrides", deb])
    print(r.stdout + r.stderr)
    bad = [line for line in r.stdout.splitlines() if re.match(r"^[EW]: ", line)]
    if r.returncode != 0 or bad:
        fail("lintian reports errors or warnings: %r" % bad)


def overrides_have_reasons(root):
    for path in glob.glob(os.path.join(root, "usr/share/lintian/overrides/*")):
        reason = False
        with open(path) as f:
            for line in f:
                line = line.strip()
                if line.startswith("#") and len(line) > 1:
                    reason = True
                elif line:
                    if not reason:
                        fail("lintian override without its reason: %r in %s" % (line, path))
                    reason = False


def validators(root):
    desktops = glob.glob(os.path.join(root, "usr/share/applications/*.desktop"))
    metainfo = glob.glob(os.path.join(root, "usr/share/metainfo/*.metainfo.xml"))
    if not desktops:
        fail("no desktop entry in the package")
    if not metainfo:
        fail("no AppStream metainfo file in the package")
    for path in desktops:
        r = run(["desktop-file-validate", path])
        print(r.stdout + r.stderr)
        if r.returncode != 0 or r.stdout.strip():
            fail("desktop-file-validate: " + path)
    for path in metainfo:
        r = run(["appstreamcli", "validate", "--no-net", "--pedantic", path])
        print(r.stdout + r.stderr)
        if r.returncode != 0:
            fail("appstreamcli validate: " + path)


def contents(root, source):
    pictures = sorted(os.path.basename(p) for p in glob.glob(os.path.join(source, "Bilder/*"))
                      if not p.endswith("CMakeLists.txt"))
    shipped = sorted(os.listdir(os.path.join(root, "usr/lib/corvana/Bilder")))
    if shipped != pictures:
        fail("the package's pictures %r, the source's %r" % (shipped, pictures))
    for program in ("pellquin", "pcorvanabrowser"):
        r = run(["file", "-L", os.path.join(root, "usr/bin", program)])
        if "not stripped" in r.stdout or "with debug_info" in r.stdout:
            fail("%s is not stripped: %s" % (program, r.stdout.strip()))
    # The windows' read-out is a test build's tool: the shipped program must not hold it.
    with open(os.path.join(root, "usr/bin/pcorvanabrowser"), "rb") as f:
        if b"CORVANA_UI_DUMP" in f.read():
            fail("the packaged pcorvanabrowser holds the windows' read-out (CORVANA_UI_DUMP)")
    # The version lives in a section of the program's own, which stripping must leave.
    r = run([os.path.join(root, "usr/bin/pellquin"), "--version"])
    with open(os.path.join(source, "CMakeLists.txt")) as f:
        version = re.search(r"project\(corvana VERSION ([0-9.]+)", f.read()).group(1)
    if r.returncode != 0 or r.stdout.splitlines()[:1] != ["pellquin " + version]:
        fail("packaged pellquin --version: %r" % (r.stdout + r.stderr))


def manual_text(path):
    env = dict(os.environ, LC_ALL="C", LANG="C", MANWIDTH="200")
    r = subprocess.run(["man", "--no-hyphenation", "--no-justification", "-l", path],
                       capture_output=True, text=True, env=env)
    if r.returncode != 0:
        fail("man -l %s: %s" % (path, r.stderr))
    return re.sub(r".\x08", "", r.stdout)


def sections(text):
    out, name = {}, None
    for line in text.splitlines():
        if re.match(r"^[A-Z][A-Z ]+$", line):
            name = line.strip()
            out[name] = []
        elif name:
            out[name].append(line)
    return {k: "\n".join(v) for k, v in out.items()}


def help_text(pellquin, *args):
    r = subprocess.run([pellquin, *args, "--help"], capture_output=True, text=True)
    if r.returncode != 0:
        fail("pellquin %s --help ended with %d" % (" ".join(args), r.returncode))
    return r.stdout


def block(text, heading):
    """The indented lines under `heading:` in a help text, up to the next blank line."""
    lines = text.splitlines()
    start = lines.index(heading + ":") + 1
    out = []
    for line in lines[start:]:
        if not line.strip():
            break
        out.append(line)
    return out


def word_in(word, text):
    return re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(word), text) is not None


def manual_covers_help(root):
    pellquin = os.path.join(root, "usr/bin/pellquin")
    page = sections(manual_text(os.path.join(root, "usr/share/man/man1/pellquin.1.gz")))
    for name in ("NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "EXIT STATUS", "ENVIRONMENT"):
        if name not in page:
            fail("pellquin(1) has no %s section" % name)
            return
    main = help_text(pellquin)
    commands = [m.group(1) for line in block(main, "commands")
                if (m := re.match(r"^  ([a-z]+) ", line))]
    if not commands:
        fail("no commands found in pellquin --help")
    for command in commands:
        if not word_in(command, page["COMMANDS"]) or not word_in(command, page["SYNOPSIS"]):
            fail("pellquin(1) does not describe the command %r" % command)
        options = set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", help_text(pellquin, command)))
        for option in sorted(options - {"--help"}):
            if not word_in(option, page["COMMANDS"]):
                fail("pellquin(1) does not describe %s %s" % (command, option))
    for option in set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", main)):
        if not word_in(option, page["COMMANDS"] + page["SYNOPSIS"]):
            fail("pellquin(1) does not describe %s" % option)
    codes = [m.group(1) for line in block(main, "exit codes")
             if (m := re.match(r"^  (\d+) ", line))]
    if not codes:
        fail("no exit codes found in pellquin --help")
    listed = re.findall(r"^ {7}(\d+)(?:\s|$)", page["EXIT STATUS"], re.M)
    if listed != codes:
        fail("pellquin(1) lists the exit codes %r, pellquin --help %r" % (listed, codes))
    for variable in sorted(set(re.findall(r"CORVANA_[A-Z_]+", main))):
        if not word_in(variable, page["ENVIRONMENT"]):
            fail("pellquin(1) does not describe the variable %s" % variable)


def lint(deb_dir, source):
    need("lintian", "desktop-file-validate", "appstreamcli", "dpkg-deb", "man", "file")
    deb = the_deb(deb_dir)
    lintian(deb)
    root = tempfile.mkdtemp(prefix="corvana-deb-")
    try:
        r = run(["dpkg-deb", "-x", deb, root])
        if r.returncode != 0:
            fail("dpkg-deb -x: " + r.stderr)
            return 1
        overrides_have_reasons(root)
        validators(root)
        contents(root, source)
        manual_covers_help(root)
        page = manual_text(os.path.join(root, "usr/share/man/man1/pcorvanabrowser.1.gz"))
        if "SYNOPSIS" not in page or "FILES" not in page:
            fail("pcorvanabrowser(1) lacks its SYNOPSIS or FILES")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    if not failures:
        print("the package passed every check")
    return 1 if failures else 0


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("build", "lint"):
        print(__doc__, file=sys.stderr)
        return 1
    deb_dir = sys.argv[2]
    opts = dict(zip(sys.argv[3::2], sys.argv[4::2]))
    if sys.argv[1] == "build":
        return build(deb_dir, opts["--config"])
    return lint(deb_dir, opts["--source"])


if __name__ == "__main__":
    sys.exit(main())
