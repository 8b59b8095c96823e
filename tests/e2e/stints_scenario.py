#!/usr/bin/env python3
"""Stints end to end: rivect --stints --lap-log on a virtual X display under a window manager,
against a rivect-hostsim process that stops in the pits every third lap, all over 127.0.0.1.

The pit keys go to the client window with real X input: F5 and F6 in the lap that holds the
simulator's stop. The lap log must then name that lap the first stint's in-lap and give the
next lap to the second stint and the roster's second driver. The program is then killed, as a
crash would end it, and started again for the same race: the first lap it takes must already
carry the second stint and its driver.

Usage: stints_scenario.py --rivect PATH --hostsim PATH [--shots DIR] [--wine-prefix DIR]
--wine-prefix DIR runs the Windows program (installed in that prefix) under Wine, as
desktop_scenario.py does. Exit status 0 passed, 1 failed, 77 skipped (no Xvfb).
"""
import argparse
import csv
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import desktop_scenario as ds
import desktop_x as dx

SKIP = 77
LAP_MS = 5000
PIT_S = 6
PIT_EVERY = 3
# The stints file in UTF-8, with three drivers and no rule that would ask before a pit key.
ROSTER = "[rules]\r\nmin_pit_s=2\r\n[drivers]\r\n1=山田\r\n2=佐藤\r\n3=鈴木\r\n".encode("utf-8")


def host_path(opts, path):
    """path as the program sees it: a Windows path under Wine."""
    if not opts.wine_prefix:
        return path
    out = subprocess.run(["winepath", "-w", path], capture_output=True, text=True,
                         env=dict(os.environ, WINEPREFIX=os.path.abspath(opts.wine_prefix), WINEDEBUG="-all"))
    return out.stdout.strip()


def start_and_run(opts, session, x, program, workdir, lap_dir, sim, log_name):
    """Starts the program with the panel and the lap log, names the car and presses Start."""
    rivect = ds.launch(opts, session, x, program, workdir, ["--stints", "--lap-log", host_path(opts, lap_dir)],
                       log_name)
    client = x.wait_window(rivect.pid, lambda w: x.name(w) == "Chronel", 120, "the client window")
    x.wait_window(rivect.pid, lambda w: x.name(w) == "ピット", 60, "the pit panel")
    x.settle(client)
    win = ds.ClientWindowOnScreen(x, client, ds.LAYOUTS["Clt_1024"])
    mark = sim.count()
    win.click("Btn_HostIP")
    box = x.wait_window(rivect.pid, lambda w: x.name(w) == "ホストＩＰ設定", 60, "the host address box")
    x.key(box, "Return")
    sim.wait_for("the registration reply", lambda e: e.get("type") == "register-reply", 30, mark)
    time.sleep(1.3)
    mark = sim.count()
    win.click("Btn_Start")
    sim.wait_for("a status datagram", lambda e: e.get("type") == "status", 30, mark)
    return rivect, win, sim.count()


def lap_rows(lap_dir, exclude=()):
    """The rows of the newest lap log in lap_dir other than those named in exclude."""
    files = sorted((f for f in glob.glob(os.path.join(lap_dir, "*.csv")) if f not in exclude),
                   key=os.path.getmtime)
    if not files:
        return None, []
    with open(files[-1], encoding="utf-8-sig", newline="") as f:
        return files[-1], list(csv.DictReader(f))


def wait_rows(lap_dir, what, predicate, exclude=(), timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        path, rows = lap_rows(lap_dir, exclude)
        if path and predicate(rows):
            return path, rows
        time.sleep(0.2)
    path, rows = lap_rows(lap_dir, exclude)
    raise ds.Failure(f"the lap log {path} has no {what}: {rows}")


def placed(rows, lap):
    row = next((r for r in rows if r["lap"] == str(lap)), None)
    return None if row is None else (row["stint"], row["driver"], row["pit"])


def scenario(opts, session, workdir):
    program, program_dir = ds.prepare_program(opts.rivect, workdir, installed=bool(opts.wine_prefix))
    with open(os.path.join(program_dir, "Stints.ini"), "wb") as f:
        f.write(ROSTER)
    lap_dir = os.path.join(workdir, "laps")
    os.mkdir(lap_dir)

    x = dx.Display.start(session, "1024x768")
    x.match_pid = not opts.wine_prefix
    try:
        run_race(opts, session, x, program, workdir, lap_dir)
    except (ds.Failure, dx.XError):
        x.screenshot(opts.shots, "stints-failed")
        raise


def run_race(opts, session, x, program, workdir, lap_dir):
    sim = ds.Simulator(opts.hostsim, ["--register", "127.0.0.1=1", "--car", "1", "--lap", str(LAP_MS),
                                      "--pit-every", str(PIT_EVERY), "--pit-s", str(PIT_S), "--run-minutes", "60"],
                       session)
    sim.wait_for("its start", lambda e: e.get("type") == "start", 10)

    rivect, win, mark = start_and_run(opts, session, x, program, workdir, lap_dir, sim, "rivect.log")
    ds.log("started with the pit panel; waiting for the lap before a stop")
    # The lap before a stop, after one lap of the first stint: the stop's lap begins at its report.
    first = sim.wait_for("a lap", lambda e: e.get("type") == "lap", 60, mark)
    before = sim.wait_for("the lap before a stop",
                          lambda e: e.get("type") == "lap" and e["lap"] > first["lap"]
                          and (e["lap"] + 1) % PIT_EVERY == 0, 60, mark)
    mark = sim.count()
    time.sleep(1.0)
    x.key(win.id, "F5")
    time.sleep(1.5)
    x.screenshot(opts.shots, "stints-stop")
    x.key(win.id, "F6")
    pit_lap = before["lap"] + 1
    stop = sim.wait_for("the stop's lap", lambda e: e.get("type") == "lap" and e["lap"] == pit_lap, 60, mark)
    ds.check(stop.get("pit_s") == PIT_S, f"the simulator's lap {pit_lap} was no stop: {stop}")
    sim.wait_for("the lap after the stop", lambda e: e.get("type") == "lap" and e["lap"] == pit_lap + 1, 60, mark)
    first_log, rows = wait_rows(lap_dir, f"row for lap {pit_lap + 1}", lambda r: placed(r, pit_lap + 1))
    ds.log(f"lap log {os.path.basename(first_log)}: " + "; ".join(
        f"{r['lap']}={r['stint']}/{r['driver']}/{r['pit']}" for r in rows))
    ds.check(all(placed(rows, int(r["lap"])) == ("1", "山田", "") for r in rows if int(r["lap"]) < pit_lap),
             "the laps before the stop are not all the first stint's, 山田's")
    ds.check(placed(rows, pit_lap) == ("1", "山田", "in"), f"the stop's lap is {placed(rows, pit_lap)}")
    ds.check(placed(rows, pit_lap + 1) == ("2", "佐藤", ""), f"the lap after the stop is {placed(rows, pit_lap + 1)}")
    x.screenshot(opts.shots, "stints-after-stop")

    # A crash, then the same race again: the same car, the same end time from the host.
    rivect.send_signal(signal.SIGKILL)
    rivect.wait(30)
    ds.log("the program was killed; starting it again")
    if opts.wine_prefix:
        time.sleep(2)  # the Wine server lets the killed process's windows go
    rivect, win, mark = start_and_run(opts, session, x, program, workdir, lap_dir, sim, "rivect-again.log")
    resumed = sim.wait_for("a lap after the restart", lambda e: e.get("type") == "lap", 60, mark)
    _, rows = wait_rows(lap_dir, f"row for lap {resumed['lap']}", lambda r: placed(r, resumed["lap"]),
                        exclude=(first_log,))
    ds.check(placed(rows, resumed["lap"]) == ("2", "佐藤", ""),
             f"the first lap after the restart is {placed(rows, resumed['lap'])}, not the resumed stint 2 of 佐藤")
    ds.log(f"after the restart lap {resumed['lap']} carries the resumed stint 2 of 佐藤")
    x.screenshot(opts.shots, "stints-resumed")

    win.click("Btn_Start")
    box = x.wait_window(rivect.pid, lambda w: x.name(w) == "中断", 60, "the stop confirmation")
    x.key(box, "y")
    x.wait_gone(box, 60, "the stop confirmation after Yes")
    ds.end_program(x, win, rivect)
    sim.command("quit")
    sim.proc.wait(10)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rivect", required=True)
    parser.add_argument("--hostsim", required=True)
    parser.add_argument("--shots", default="")
    parser.add_argument("--wine-prefix", default="")
    opts = parser.parse_args()
    if not shutil.which("Xvfb"):
        print("SKIP: Xvfb is not installed (scripts/setup.sh installs it)")
        return SKIP
    session = dx.Session()
    workdir = tempfile.mkdtemp(prefix="rivect-stints-")
    began = time.monotonic()
    try:
        scenario(opts, session, workdir)
        ds.log(f"PASS in {time.monotonic() - began:.1f} s")
        return 0
    except (ds.Failure, dx.XError, subprocess.TimeoutExpired) as e:
        ds.log(f"FAIL: {e}")
        for name in ("rivect.log", "rivect-again.log"):
            path = os.path.join(workdir, name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    sys.stdout.write(f"--- {name}\n" + f.read()[-3000:].decode("utf-8", "replace"))
        return 1
    finally:
        session.stop_all()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
