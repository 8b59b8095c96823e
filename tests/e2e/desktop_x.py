"""A virtual X display with a window manager, the processes started for it, and the X tools
(xdotool, xwininfo, xprop, ImageMagick import) wrapped for the desktop scenarios.
Standard library only; every process is stopped by its own PID."""
import os
import re
import select
import signal
import subprocess
import time


class XError(Exception):
    pass


class Session:
    """Every process started for a scenario, stopped in reverse order by PID."""

    def __init__(self):
        self.procs = []

    def start(self, command, **kwargs):
        proc = subprocess.Popen(command, **kwargs)
        self.procs.append(proc)
        return proc

    def stop_all(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait(5)
        for proc in self.procs:
            for stream in (proc.stdin, proc.stdout, proc.stderr):
                if stream:
                    stream.close()
        self.procs = []


class Display:
    """An Xvfb display of its own, openbox on it, and the tools pointed at it."""

    def __init__(self, display):
        self.display = display
        self.env = dict(os.environ, DISPLAY=display)
        # False: windows are told apart by their titles only (the predicates of find).
        self.match_pid = True

    @classmethod
    def start(cls, session, screen):
        read_end, write_end = os.pipe()
        session.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{screen}x24", "-nolisten", "tcp"],
                      pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 60
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.2)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            raise XError("Xvfb did not start")
        x = cls(":" + number.decode().strip())
        session.start(["openbox", "--sm-disable"], env=x.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while "_NET_SUPPORTING_WM_CHECK(WINDOW)" not in x.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False):
            if time.monotonic() > deadline:
                raise XError("openbox did not start")
            time.sleep(0.1)
        return x

    def run(self, command, check=True, timeout=60):
        try:
            result = subprocess.run(command, env=self.env, capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise XError(f"{' '.join(command)}: no answer within {timeout} s")
        if check and result.returncode != 0:
            raise XError(f"{' '.join(command)}: {result.stderr.decode('utf-8', 'replace').strip()}")
        return result.stdout.decode("utf-8", "replace")

    # --- Windows ---------------------------------------------------------------------------

    def find(self, pid, predicate):
        which = ["--pid", str(pid)] if self.match_pid else ["--name", "."]
        out = self.run(["xdotool", "search", "--onlyvisible"] + which, check=False)
        found = []
        for line in out.split():
            try:
                if predicate(int(line)):
                    found.append(int(line))
            except XError:
                continue  # the window went away while being looked at
        return found

    def wait_window(self, pid, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.find(pid, predicate)
            if found:
                return found[0]
            time.sleep(0.05)
        raise XError(f"{what} did not appear within {timeout} s")

    def wait_gone(self, window, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.is_visible(window):
                return
            time.sleep(0.05)
        raise XError(f"{what}: still shown after {timeout} s")

    def info(self, window):
        return self.run(["xwininfo", "-id", str(window)])

    def name(self, window):
        return self.run(["xdotool", "getwindowname", str(window)]).rstrip("\n")

    def size(self, window):
        info = self.info(window)
        return (int(re.search(r"Width: (\d+)", info).group(1)), int(re.search(r"Height: (\d+)", info).group(1)))

    def client_origin(self, window):
        """The top-left corner of the window's client area on the screen."""
        info = self.info(window)
        return (int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1)),
                int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1)))

    def is_visible(self, window):
        try:
            return "IsViewable" in self.info(window)
        except XError:
            return False

    def frame_extents(self, window):
        """Left, right, top and bottom of the frame the window manager put around window."""
        out = self.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], check=False)
        numbers = re.findall(r"-?\d+", out.split("=", 1)[1]) if "=" in out else []
        return tuple(int(n) for n in numbers) if len(numbers) == 4 else (0, 0, 0, 0)

    def settle(self, window, timeout=5):
        """Waits until the window has kept its place and size for half a second."""
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            now = (self.client_origin(window), self.size(window), self.frame_extents(window))
            if now == last:
                return
            last = now
            time.sleep(0.5)

    # --- Input -----------------------------------------------------------------------------

    def click(self, x, y):
        # No --sync: it waits for the pointer to move, forever when it already stands there.
        self.run(["xdotool", "mousemove", str(x), str(y), "sleep", "0.05", "click", "1"])

    def key(self, window, keys):
        """Gives window the focus through the window manager, then types keys."""
        self.run(["xdotool", "windowactivate", "--sync", str(window)])
        self.run(["xdotool", "key", "--clearmodifiers", keys])

    # --- Pixels ----------------------------------------------------------------------------

    def grab(self, rect):
        """The RGB bytes of rect (left, top, width, height) of the screen as it is now."""
        left, top, width, height = rect
        data = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}", "+repage",
                               "-depth", "8", "rgb:-"], env=self.env, capture_output=True, timeout=60).stdout
        if len(data) != width * height * 3:
            raise XError(f"a screenshot of {rect} gave {len(data)} bytes")
        return data

    COLOURS = {"black": (0, 0, 0), "white": (255, 255, 255), "yellow": (255, 255, 0), "red": (255, 0, 0),
               "cyan": (0, 255, 255)}

    def colour_shares(self, rect):
        """The share of the pixels of rect that have exactly each of the named colours."""
        data = self.grab(rect)
        counts = dict.fromkeys(self.COLOURS, 0)
        wanted = {v: k for k, v in self.COLOURS.items()}
        for pixel in zip(data[0::3], data[1::3], data[2::3]):
            name = wanted.get(pixel)
            if name:
                counts[name] += 1
        total = len(data) // 3
        return {k: v / total for k, v in counts.items()}

    def screenshot(self, folder, name):
        """Saves the whole screen as folder/name.png when a folder is given."""
        if folder:
            os.makedirs(folder, exist_ok=True)
            self.run(["import", "-window", "root", os.path.join(folder, name + ".png")])
