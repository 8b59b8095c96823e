#!/usr/bin/env python3
"""Status cadence and CPU of the Linux rivect with the pit panel (--stints) beside the same run without it.

Usage: panel_cost.py --rivect PATH --hostsim PATH [--hold S] [--runs N] [--lap-s S] [--quick]

Each run is wine_cadence.py's run of the Linux program: an Xvfb display of its own under
openbox, real X input as the desktop scenario gives it, Host設定 with 127.0.0.1, Start, the hold,
Stop and End, before the strict rivect-hostsim on 127.0.0.1, which reports the times between the
status datagrams as it read them ("intervals", at the start and the end of the hold). During the
hold the simulator completes a lap every --lap-s seconds ("lap 1 MS"), in both configurations.
With the panel the program is started with --stints, a Stints.ini with three drivers beside it,
and the run waits for the panel's window before it goes on.

The configurations alternate, without the panel first (--runs N of each, default 2), so that a
change in the machine's load falls on both alike. CPU is utime + stime from /proc/PID/stat over
the hold, in % of one core, for the program and for the display's X server. Printed: every run,
then each configuration over its runs, the CPU ratio with / without and the interval medians
side by side. Run inside scripts/sandbox.sh (scripts/bench.sh --only panel_cost does).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import wine_cadence as wc
from wine_cadence import ds, dx

# The roster of the runs with the panel, in UTF-8: rules that raise no alert within a hold.
ROSTER = "[rules]\r\nmax_stint_min=45\r\nmin_pit_s=120\r\n[drivers]\r\n1=山田\r\n2=佐藤\r\n3=鈴木\r\n"
SPREAD = (("min_ms", "min"), ("median_ms", "median"), ("p90_ms", "p90"), ("p99_ms", "p99"), ("max_ms", "max"))


def write_roster(program_dir):
    with open(os.path.join(program_dir, "Stints.ini"), "wb") as f:
        f.write(ROSTER.encode("utf-8"))


def wait_panel(x, pid):
    x.wait_window(pid, lambda w: x.name(w) == "ピット", 60, "the pit panel")


def lap_hold(lap_s):
    """A hold in which car 1 completes a lap of lap_s seconds every lap_s seconds."""
    def hold(sim, seconds):
        began = time.monotonic()
        laps = 0
        while True:
            due = began + (laps + 1) * lap_s
            if due >= began + seconds:
                time.sleep(max(0.0, began + seconds - time.monotonic()))
                return
            time.sleep(max(0.0, due - time.monotonic()))
            sim.command(f"lap 1 {int(lap_s * 1000)}")
            laps += 1
    return hold


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def one_run(opts, panel):
    workdir = tempfile.mkdtemp(prefix=f"rivect-panel-{'on' if panel else 'off'}-")
    try:
        extra = dict(args=["--stints"], prepare=write_roster, started=wait_panel) if panel else {}
        return wc.measure(opts, workdir, hold=lap_hold(opts.lap_s), **extra)
    except (ds.Failure, dx.XError, subprocess.TimeoutExpired):
        log_path = os.path.join(workdir, "rivect.log")
        if os.path.exists(log_path):
            with open(log_path, "rb") as f:
                sys.stdout.write(f.read()[-2000:].decode("utf-8", "replace"))
        raise
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def cpu_of(result, group):
    return result["cpu"].get(group, 0.0)


def pooled_cpu(results, group):
    """% of one core over all the runs' holds together."""
    total = sum(r["elapsed"] for r in results)
    return sum(cpu_of(r, group) * r["elapsed"] for r in results) / total


def joined(values):
    return " ".join(f"{v:.2f}" for v in values)


def spread_cells(spread):
    return " / ".join(f"{spread.get(key, 0.0):.2f}" for key, _ in SPREAD)


def report(opts, runs):
    print()
    print(f"hold {opts.hold:g} s per run, a lap every {opts.lap_s:g} s; CPU in % of one core over the hold")
    print(f"{'run':>3} {'panel':>5} {'load before':>15} {'intervals':>9}  "
          f"{'min / median / p90 / p99 / max (ms)':>41} {'>150':>4} {'rivect':>7} {'Xvfb':>6}  strict simulator")
    for n, (panel, load, r) in enumerate(runs, 1):
        s = r["spread"]
        print(f"{n:>3} {'on' if panel else 'off':>5} {load:>15} {s.get('count', 0):>9}  {spread_cells(s):>41} "
              f"{s.get('over_150ms', 0):>4} {cpu_of(r, 'rivect'):>7.2f} {cpu_of(r, 'Xvfb'):>6.2f}  {r['violations']}")

    by = {panel: [r for p, _, r in runs if p == panel] for panel in (False, True)}
    spreads = {panel: [r["spread"] for r in by[panel]] for panel in (False, True)}

    def each(key):
        return {panel: joined(s.get(key, 0.0) for s in spreads[panel]) for panel in (False, True)}

    def total(key):
        return {panel: str(sum(s.get(key, 0) for s in spreads[panel])) for panel in (False, True)}

    def extreme(pick, key):
        return {panel: f"{pick(s.get(key, 0.0) for s in spreads[panel]):.2f}" for panel in (False, True)}

    cpu = {panel: {g: pooled_cpu(by[panel], g) for g in ("rivect", "Xvfb")} for panel in (False, True)}
    cpu_rows = []
    for label, groups in (("rivect", ("rivect",)), ("Xvfb", ("Xvfb",)), ("rivect + Xvfb", ("rivect", "Xvfb"))):
        value = {panel: sum(cpu[panel][g] for g in groups) for panel in (False, True)}
        cells = {panel: f"{value[panel]:.2f} ({joined(sum(cpu_of(r, g) for g in groups) for r in by[panel])})"
                 for panel in (False, True)}
        ratio = f"{value[True] / value[False]:.2f}x" if value[False] else "-"
        cpu_rows.append((f"  {label}", cells, ratio))

    rows = [("status intervals (ms); each run's value in turn", None, ""),
            ("  intervals, all runs", total("count"), ""),
            ("  min of all runs", extreme(min, "min_ms"), ""),
            ("  median", each("median_ms"), ""),
            ("  p90", each("p90_ms"), ""),
            ("  p99", each("p99_ms"), ""),
            ("  max of all runs", extreme(max, "max_ms"), ""),
            ("  gaps over 150 ms, all runs", total("over_150ms"), ""),
            ("CPU, % of one core over all holds (each run)", None, "")] + cpu_rows
    print()
    print(f"{'':46} {'without the panel':>22} {'with the panel':>22} {'with/without':>13}")
    for label, cells, ratio in rows:
        if cells is None:
            print(label)
        else:
            print(f"{label:46} {cells[False]:>22} {cells[True]:>22} {ratio:>13}")
    medians = {panel: joined(s.get("median_ms", 0.0) for s in spreads[panel]) for panel in (False, True)}
    print(f"with the panel / without: CPU of rivect {cpu_rows[0][2]} (with its X server {cpu_rows[2][2]}); "
          f"interval medians {medians[False]} ms without, {medians[True]} ms with")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rivect", required=True, help="the Linux release rivect")
    parser.add_argument("--hostsim", required=True, help="the Linux rivect-hostsim")
    parser.add_argument("--hold", type=float, default=60.0, help="seconds of run measured (default 60)")
    parser.add_argument("--runs", type=int, default=2, help="runs of each configuration, alternating (default 2)")
    parser.add_argument("--lap-s", type=float, default=5.0, help="seconds between laps in the hold (default 5)")
    parser.add_argument("--quick", action="store_true", help="a 10 s hold, one run of each")
    opts = parser.parse_args()
    if opts.quick:
        opts.hold, opts.runs = 10.0, 1
    if opts.runs < 1 or opts.lap_s <= 0:
        parser.error("--runs must be at least 1 and --lap-s above 0")
    if not os.environ.get("RIVECT_SANDBOX"):
        print("panel_cost: run me inside scripts/sandbox.sh", file=sys.stderr)
        return 2
    missing = [t for t in ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop") if not shutil.which(t)]
    if missing:
        print("panel_cost: missing tools " + " ".join(missing) + " (scripts/setup.sh installs them)")
        return 1

    runs = []
    for n in range(2 * opts.runs):
        panel = n % 2 == 1
        load = load_average()
        ds.log(f"run {n + 1} of {2 * opts.runs}, panel {'on' if panel else 'off'}: load average before {load}")
        try:
            runs.append((panel, load, one_run(opts, panel)))
        except (ds.Failure, dx.XError, subprocess.TimeoutExpired) as e:
            ds.log(f"run {n + 1}: FAILED: {e}")
            return 1
    report(opts, runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
