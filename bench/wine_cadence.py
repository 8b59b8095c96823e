#!/usr/bin/env python3
"""Status cadence and CPU of a run: the Linux rivect beside the Windows rivect.exe under Wine.

Usage: wine_cadence.py --rivect PATH --hostsim PATH [--setup SETUP_EXE] [--hold S | --quick]

Each client runs on an Xvfb display of its own under openbox, driven with real X input as the
desktop scenario drives it (tests/e2e/desktop_scenario.py): Host設定 with 127.0.0.1, Start, a
plain run without lap reports for the hold, then Stop and End. The strict rivect-hostsim on
127.0.0.1 measures the times between the status datagrams as it reads them ("intervals"
command, once at the start of the hold and once at its end). CPU is utime + stime from
/proc/PID/stat over the same hold, in % of one core: the client's process, and under Wine also
the wineserver and the other processes of the prefix, each shown apart.

--setup installs the Windows build silently into a private Wine prefix made for the run; without
it (or when the file is missing) only the Linux column is measured. Run inside scripts/sandbox.sh
(scripts/bench.sh --only wine_cadence does). Every process is stopped by its PID; the prefix's
wineserver is ended with wineserver -k.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import desktop_scenario as ds  # noqa: E402
import desktop_x as dx  # noqa: E402

CLK_TCK = os.sysconf("SC_CLK_TCK")
WINE_ENV = {"WINEDEBUG": "-all", "WINEARCH": "win64", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
WARM_UP_S = 2.0  # past the first second of a stream, which the simulator's rules leave out too


def cpu_ticks(pid):
    """utime + stime of pid in clock ticks, all its threads; None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            fields = f.read().rsplit(b")", 1)[1].split()
    except OSError:
        return None
    return int(fields[11]) + int(fields[12])


def proc_name(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
    except OSError:
        return "?"
    return argv0.replace("\\", "/").rsplit("/", 1)[-1]


def prefix_processes(prefix):
    """The processes whose environment names this Wine prefix: its wineserver and Windows programs."""
    wanted = b"WINEPREFIX=" + os.fsencode(prefix)
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found[int(entry)] = proc_name(int(entry))
        except OSError:
            continue
    return found


def wine_group(name):
    """rivect.exe, wineserver (Debian's is wineserver64) or other, for a process of the prefix."""
    if name.lower() == "rivect.exe":
        return "rivect.exe"
    return "wineserver" if name.startswith("wineserver") else "other"


class CpuWindow:
    """CPU ticks of a set of processes between begin() and end(), grouped by a name for each."""

    def __init__(self, group_of):
        self.group_of = group_of  # () -> {pid: group}

    def begin(self):
        self.t0 = time.monotonic()
        self.start = {pid: (g, cpu_ticks(pid)) for pid, g in self.group_of().items()}

    def end(self):
        elapsed = time.monotonic() - self.t0
        now = {pid: (g, cpu_ticks(pid)) for pid, g in self.group_of().items()}
        shares = {}
        for pid, (group, ticks) in now.items():
            if ticks is None:
                continue
            before = self.start.get(pid, (group, 0))[1] or 0  # a process started in the hold counts from 0
            shares[group] = shares.get(group, 0.0) + (ticks - before) / CLK_TCK / elapsed * 100
        return shares, elapsed


class WinePrefix:
    """A private prefix with the Windows build installed silently; ended with wineserver -k."""

    def __init__(self, workdir):
        self.path = os.path.join(workdir, "prefix")
        self.env = dict(os.environ, WINEPREFIX=self.path, **WINE_ENV)
        self.env.pop("DISPLAY", None)
        self.program = ""

    def install(self, setup):
        began = time.monotonic()
        self.run(["wineboot", "-i"], 300)
        self.run(["wineserver", "-w"], 120)
        self.run(["wine", setup, "/S"], 300)
        self.run(["wineserver", "-w"], 120)
        local = self.run(["wine", "cmd", "/c", "echo", "%LOCALAPPDATA%"], 60).strip()
        folder = self.run(["winepath", "-u", local + "\\Programs\\Rivect"], 60).strip()
        self.program = os.path.join(folder, "rivect.exe")
        ds.check(os.path.isfile(self.program), f"the setup installed no {self.program}")
        ds.log(f"Wine prefix made and the setup installed in {time.monotonic() - began:.0f} s: {self.program}")

    def run(self, command, timeout):
        result = subprocess.run(command, env=self.env, capture_output=True, timeout=timeout)
        if result.returncode != 0:
            raise ds.Failure(f"{' '.join(command)} ended with {result.returncode}: "
                             + result.stderr.decode("utf-8", "replace")[-800:])
        return result.stdout.decode("utf-8", "replace")

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)


def idle_hold(_sim, seconds):
    time.sleep(seconds)


def measure(opts, workdir, wine=None, args=(), prepare=None, started=None, hold=None):
    """One run of one client; returns the simulator's interval spread and the CPU shares (the
    client's groups, and "Xvfb" for the display's server).

    args are more arguments for the program; prepare(program_dir) is called before it starts,
    started(x, pid) once its client window shows; hold(sim, seconds) fills the hold (by default
    nothing happens in it)."""
    session = dx.Session()
    try:
        program, program_dir = ds.prepare_program(wine.program if wine else opts.rivect, workdir,
                                                  installed=bool(wine))
        if prepare:
            prepare(program_dir)

        x = dx.Display.start(session, "1024x768")
        xvfb = session.procs[0]  # the session's first process: Display.start began with the server
        x.match_pid = not wine
        sim = ds.Simulator(opts.hostsim, ["--register", "127.0.0.1=1", "--car", "1", "--lap", "0"], session)
        sim.wait_for("its start", lambda e: e.get("type") == "start", 10)

        command = (["wine", program] if wine else [program]) + list(args)
        if os.geteuid() == 0:
            command = ["setpriv", "--bounding-set=-sys_time", "--inh-caps=-sys_time", "--"] + command
        if wine:
            env = dict(x.env, LC_ALL="C.UTF-8", WINEPREFIX=wine.path, **WINE_ENV)
            env.pop("QT_QPA_PLATFORM", None)
        else:
            env = dict(x.env, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
        env.pop("WAYLAND_DISPLAY", None)
        with open(os.path.join(workdir, "rivect.log"), "wb") as out:
            rivect = session.start(command, env=env, cwd=workdir, stdout=out, stderr=subprocess.STDOUT)

        client_id = x.wait_window(rivect.pid, lambda w: x.name(w) == "Chronel", 60, "the client window")
        if started:
            started(x, rivect.pid)
        x.settle(client_id)
        win = ds.ClientWindowOnScreen(x, client_id, ds.LAYOUTS["Clt_1024"])
        win.click("Btn_HostIP")
        box = x.wait_window(rivect.pid, lambda w: x.name(w) == "ホストＩＰ設定", 10, "the host address box")
        x.key(box, "Return")
        sim.wait_for("the registration reply", lambda e: e.get("type") == "register-reply", 10)

        mark = sim.count()
        win.click("Btn_Start")
        sim.wait_for('the status "000"', lambda e: e.get("type") == "status" and e.get("text") == "000", 10, mark)
        time.sleep(WARM_UP_S)

        if wine:
            def groups():
                found = {pid: wine_group(name) for pid, name in prefix_processes(wine.path).items()}
                found[xvfb.pid] = "Xvfb"
                return found
            others = sorted(n for n in prefix_processes(wine.path).values() if wine_group(n) == "other")
            ds.check("rivect.exe" in groups().values(), "no rivect.exe process found in the prefix")
        else:
            def groups():
                return {rivect.pid: "rivect", xvfb.pid: "Xvfb"}
            others = []
        cpu = CpuWindow(groups)
        # The first "intervals" closes the warm-up; the hold's window opens when it has been read.
        is_spread = lambda e: e.get("type") == "intervals"  # noqa: E731
        mark = sim.count()
        sim.command("intervals")
        sim.wait_for("the intervals of the warm-up", is_spread, 5, mark)
        cpu.begin()
        ds.log(f"holding the run for {opts.hold:g} s")
        (hold or idle_hold)(sim, opts.hold)
        mark = sim.count()
        sim.command("intervals")
        shares, elapsed = cpu.end()
        spread = sim.wait_for("the intervals of the hold", is_spread, 5, mark)

        win.click("Btn_Start")
        box = x.wait_window(rivect.pid, lambda w: x.name(w) == "中断", 10, "the stop confirmation")
        x.key(box, "y")
        mark = sim.count()
        sim.wait_for("silence from the client",
                     lambda e: e.get("type") == "stats" and e.get("silence_ms", 0) >= 1000, 5, mark)
        ds.end_program(x, win, rivect)
        violations = "none"
        try:
            ds.judge_run(sim)
        except ds.Failure as e:
            violations = str(e)
        return {"spread": spread, "cpu": shares, "elapsed": elapsed, "others": others, "violations": violations}
    finally:
        session.stop_all()


def ratio(a, b):
    return f"{a / b:.2f}x" if isinstance(a, (int, float)) and isinstance(b, (int, float)) and b else ""


def report(opts, linux, windows):
    rows = [("status datagram intervals", None, None)]
    for key, label in (("count", "  intervals in the hold"), ("median_ms", "  median (ms)"), ("p99_ms", "  p99 (ms)"),
                       ("max_ms", "  max (ms)"), ("over_150ms", "  gaps over 150 ms")):
        rows.append((label, linux["spread"].get(key), windows["spread"].get(key) if windows else None))
    rows.append(("CPU over the hold, % of one core", None, None))
    lc = linux["cpu"].get("rivect", 0.0)
    if windows:
        wc = windows["cpu"]
        exe, server, other = wc.get("rivect.exe", 0.0), wc.get("wineserver", 0.0), wc.get("other", 0.0)
        rows += [("  client process", lc, exe), ("  wineserver", None, server), ("  client + wineserver", lc, exe + server),
                 ("  other processes of the prefix", None, other)]
    else:
        rows.append(("  client process", lc, None))

    def cell(v):
        if v is None:
            return "-"
        return f"{v:.2f}" if isinstance(v, float) else str(v)

    print()
    print(f"hold {opts.hold:g} s (CPU measured over {linux['elapsed']:.1f} s Linux"
          + (f", {windows['elapsed']:.1f} s Wine)" if windows else ")"))
    print(f"{'':34} {'Linux rivect':>14} {'Wine rivect.exe':>16} {'Wine/Linux':>11}")
    in_cpu = False
    for label, a, b in rows:
        if a is None and b is None and not label.startswith("  "):
            in_cpu = label.startswith("CPU")
            print(label)
            continue
        # Only CPU is compared as a ratio; the intervals are compared by their values.
        print(f"{label:34} {cell(a):>14} {cell(b):>16} {ratio(b, a) if in_cpu else '':>11}")
    if windows:
        print(f"other processes of the prefix: {', '.join(windows['others']) or 'none'}")
    print(f"strict simulator, Linux run: {linux['violations']}")
    if windows:
        print(f"strict simulator, Wine run: {windows['violations']}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rivect", required=True, help="the Linux release rivect")
    parser.add_argument("--hostsim", required=True, help="the Linux rivect-hostsim")
    parser.add_argument("--setup", default="", help="the Windows setup (Rivect-VERSION-setup.exe)")
    parser.add_argument("--hold", type=float, default=60.0, help="seconds of run measured (default 60)")
    parser.add_argument("--quick", action="store_true", help="a 10 s hold")
    opts = parser.parse_args()
    if opts.quick:
        opts.hold = 10.0
    if not os.environ.get("RIVECT_SANDBOX"):
        print("wine_cadence: run me inside scripts/sandbox.sh", file=sys.stderr)
        return 2
    missing = [t for t in ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop") if not shutil.which(t)]
    if missing:
        print("wine_cadence: missing tools " + " ".join(missing) + " (scripts/setup.sh installs them)")
        return 1
    setup = os.path.abspath(opts.setup) if opts.setup else ""
    if setup and not os.path.isfile(setup):
        print(f"wine_cadence: no Windows setup at {setup} (bash scripts/windows.sh makes it): Linux only")
        setup = ""

    results = {}
    for side in ("linux", "wine") if setup else ("linux",):
        workdir = tempfile.mkdtemp(prefix=f"rivect-cadence-{side}-")
        wine = None
        try:
            if side == "wine":
                wine = WinePrefix(workdir)
                wine.install(setup)
            ds.log(f"{side}: load average before {' '.join(open('/proc/loadavg').read().split()[:3])}")
            results[side] = measure(opts, workdir, wine)
        except (ds.Failure, dx.XError, subprocess.TimeoutExpired) as e:
            ds.log(f"{side}: FAILED: {e}")
            log_path = os.path.join(workdir, "rivect.log")
            if os.path.exists(log_path):
                with open(log_path, "rb") as f:
                    sys.stdout.write(f.read()[-2000:].decode("utf-8", "replace"))
            return 1
        finally:
            if wine:
                wine.close()
            shutil.rmtree(workdir, ignore_errors=True)
    report(opts, results["linux"], results.get("wine"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
