#!/usr/bin/env python3
"""Checks the Debian package that scripts/package.sh built: its contents and maintainer script,
lintian (no errors), desktop-file-validate and appstreamcli, and the program unpacked with
dpkg -x and started on a virtual display as an unprivileged user with a home of its own: it must
write both files into that user's ~/.config/Rivect and give its windows our icon. Nothing is
pressed, so the program never reaches the clock or the network.

Usage: check_package.py --deb-dir DIR. Exit status 0 passed, 1 failed."""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import desktop_x as dx  # noqa: E402

NOBODY = 65534
EXPECTED_FILES = """usr/bin/rivect usr/bin/rivect-hostsim usr/bin/rivect-laps usr/share/applications/rivect.desktop
    usr/share/icons/hicolor/scalable/apps/rivect.svg usr/share/icons/hicolor/32x32/apps/rivect.png
    usr/share/metainfo/org.example.Rivect.metainfo.xml usr/share/man/man1/rivect.1.gz
    usr/share/man/man1/rivect-hostsim.1.gz usr/share/doc/rivect/README.md usr/share/doc/rivect/SECURITY.md
    usr/share/doc/rivect/copyright usr/share/doc/rivect/changelog.gz
    usr/share/polkit-1/rules.d/60-rivect.rules etc/security/limits.d/rivect.conf""".split() + [
    f"usr/share/rivect/sounds/chime-{name}.wav" for name in "notice urgent go rising falling pair low buzz".split()]
SETTINGS_HEAD = b"[\x8a\xc2\x8b\xab\x90\xdd\x92\xe8]\r\nHostIPNo="


class Failure(Exception):
    pass


def run(command):
    return subprocess.run(command, capture_output=True, text=True, timeout=300)


def check(condition, what):
    if not condition:
        raise Failure(what)


def check_archive(deb, root, work):
    paths = {line.split()[-1] for line in run(["dpkg-deb", "-c", deb]).stdout.splitlines() if line}
    missing = [p for p in EXPECTED_FILES if "./" + p not in paths]
    check(not missing, f"missing from the package: {missing}")
    programs = [p[len("./usr/bin/"):] for p in paths if p.startswith("./usr/bin/") and not p.endswith("/")]
    unmanned = [p for p in programs if f"./usr/share/man/man1/{p}.1.gz" not in paths]
    check(not unmanned, f"programs without a man page: {unmanned}")
    depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
    for needed in ("fonts-ipafont-gothic", "libqt6widgets6", "libc6", "adduser", "libcanberra0"):
        check(needed in depends, f"Depends lacks {needed}: {depends.strip()}")
    # Owners, permissions and conffiles are lintian's; that the group is made is ours.
    control = os.path.join(work, "control")
    check(run(["dpkg-deb", "-e", deb, control]).returncode == 0, "dpkg-deb -e failed")
    postinst = open(os.path.join(control, "postinst")).read()
    check(re.search(r"addgroup --system .*rivect", postinst), "postinst does not create the group rivect")

    result = run(["lintian", "--no-tag-display-limit", deb])
    print("\n".join("lintian: " + line for line in result.stdout.splitlines()))
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    check(not errors, f"lintian errors: {errors}")

    desktop = os.path.join(root, "usr/share/applications/rivect.desktop")
    result = run(["desktop-file-validate", desktop])
    check(result.returncode == 0 and not result.stdout.strip(), f"desktop-file-validate: {result.stdout}{result.stderr}")
    entry = open(desktop, encoding="utf-8").read()
    for pattern in (r"Exec=rivect", r"Icon=rivect", r"Terminal=false", r"Name\[ja\]=.+", r"Categories=.+;"):
        check(re.search(f"^{pattern}$", entry, re.M), f"desktop entry lacks {pattern}")
    result = run(["appstreamcli", "validate", "--no-net",
                  os.path.join(root, "usr/share/metainfo/org.example.Rivect.metainfo.xml")])
    check(result.returncode == 0, f"appstreamcli validate: {result.stdout}{result.stderr}")

    rules = open(os.path.join(root, "usr/share/polkit-1/rules.d/60-rivect.rules")).read()
    check(re.findall(r'"org\.freedesktop\.[\w.-]+"', rules) == ['"org.freedesktop.timedate1.set-time"']
          and 'isInGroup("rivect")' in rules and "polkit.Result.YES" in rules,
          "the polkit rule must grant set-time to the group rivect and nothing else")
    limits = [line.split() for line in open(os.path.join(root, "etc/security/limits.d/rivect.conf"))
              if line.strip() and not line.startswith("#")]
    check(sorted(limits) == [["@rivect", "-", "nice", "-10"], ["@rivect", "-", "rtprio", "1"]], f"limits: {limits}")


def icon_pixels(png):
    """The icon file's pixels as 0xAARRGGBB, as _NET_WM_ICON carries them."""
    data = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], capture_output=True, timeout=30).stdout
    check(len(data) == 32 * 32 * 4, f"the icon is not 32x32 RGBA ({len(data)} bytes)")
    return [data[i + 3] << 24 | data[i] << 16 | data[i + 1] << 8 | data[i + 2] for i in range(0, len(data), 4)]


def same_pixel(a, b):
    return (a >> 24) == 0 == (b >> 24) or all(abs((a >> s & 255) - (b >> s & 255)) <= 2 for s in (0, 8, 16, 24))


def check_icon(x, window, expected, what):
    out = x.run(["xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON"], check=False)
    numbers = [int(n) for n in re.findall(r"\d+", out.split("=", 1)[1])] if "=" in out else []
    check(numbers[:2] == [32, 32], f"{what}: no 32x32 _NET_WM_ICON ({out.strip()[:80]})")
    icon = numbers[2:2 + 32 * 32]
    check(len(icon) == len(expected) and all(map(same_pixel, icon, expected)), f"{what}: the icon is not ours")


def check_program(root, work):
    os.chmod(work, 0o755)
    home = os.path.join(work, "home")
    os.mkdir(home)
    os.chown(home, NOBODY, NOBODY)
    expected_icon = icon_pixels(os.path.join(root, "usr/share/icons/hicolor/32x32/apps/rivect.png"))
    program = os.path.join(root, "usr/bin/rivect")
    shipped = sorted(os.listdir(os.path.dirname(program)))
    session = dx.Session()
    try:
        x = dx.Display.start(session, "1024x768")
        env = {k: v for k, v in x.env.items() if not k.startswith(("XDG_", "DBUS_SESSION", "QT_", "ASAN", "LSAN", "UBSAN"))}
        env.update(HOME=home, LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb")
        # An ordinary user: no groups, no capabilities; the program folder belongs to root.
        proc = session.start(["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--", program],
                             env=env, cwd=home, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        for what, fits in (("the opening window", lambda w: x.size(w) == (312, 120)),
                           ("the client window", lambda w: x.size(w)[0] > 600)):
            check_icon(x, x.wait_window(proc.pid, fits, 60, what), expected_icon, what)

        folder = os.path.join(home, ".config", "Rivect")
        for name, head, lines in (("Rivect.ini", SETTINGS_HEAD, None), ("OutMess.txt", b"", 11)):
            path = os.path.join(folder, name)
            check(os.path.isfile(path) and os.stat(path).st_uid == NOBODY, f"{path} was not written by the user")
            content = open(path, "rb").read()
            check(content.startswith(head) and lines in (None, content.count(b"\r\n")), f"{path}: {content[:40]}")
        check(sorted(os.listdir(os.path.dirname(program))) == shipped, "the program wrote into its own read-only folder")
        check(proc.poll() is None, "the program ended by itself")
    finally:
        session.stop_all()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb-dir", required=True)
    debs = glob.glob(os.path.join(parser.parse_args().deb_dir, "rivect_*.deb"))
    if len(debs) != 1:
        print(f"FAIL: expected one rivect_*.deb (bash scripts/package.sh builds it), found {debs}")
        return 1
    work = tempfile.mkdtemp(prefix="rivect-package-")
    try:
        root = os.path.join(work, "root")
        check(run(["dpkg", "-x", debs[0], root]).returncode == 0, "dpkg -x failed")
        check_archive(debs[0], root, work)
        check_program(root, work)
    except (Failure, dx.XError) as error:
        print(f"FAIL: {error}")
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"PASS: {os.path.basename(debs[0])}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
