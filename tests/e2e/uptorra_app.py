"""The real program under Wine, for end-to-end tests and benches: a fresh program folder, the
program started in it, and the driver (uptorra_driver.exe serve) that works its window.

    with Display(), UptorraApp() as app:            # a fresh temporary program folder
        app.clear_first_run()
        app.start(expect_box=("Uptorra使用说明", "OK"))  # answers the usage box of a first start
        app.click("启动监测")                          # posted, then synced with the window
        box = app.answer("KWO提示", "OK")              # waits for the box, presses its button
        cells, images = app.rows()                     # list cells and status images
        app.right_click_list(0); app.wait_menu(); app.choose_menu_item(0)   # real mouse (xdotool)

Every Wine process runs with the build folder's tools/wine-run.sh, in a prefix of its own
(prefix_name), so that the first-run mark and the tray of one suite never meet another's.
Pass WineSession(prefix_name, runner=NetnsSession(...)) as wine to run the program inside a
network namespace. Several programs may run in one prefix: each UptorraApp works the window of
the process it started (and after a restart, follow_restart, the new one).
"""
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("UPTORRA_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
WINE_RUN = os.path.join(ROOT, "tools", "wine-run.sh")
PROGRAM = os.path.join(BUILD, "src", "app", "uptorra.exe")
DRIVER = os.path.join(BUILD, "uptorra_driver.exe")

HOSTS_FILE = "MyHosts.csv"
CONFIG_FILE = "MyConfig.ini"
LOG_FILE = "MyLog.log"
HOSTS_HEADER = "主机地址/域名,主机名称,监测类型,重试次数,监测间隔(s),监测状态"
STATUS_COLUMN = 6  # the list column that carries the status text and image
MAIL_TIMER_ID = 1  # the program's id of the status-mail timer 时钟1
TIMER_TRACE = re.compile(rb"NtUserSetTimer Added (0x[0-9a-f]+) (\d+) \S+ timeout (\d+)")


class DriverError(Exception):
    pass


def windows_path(path):
    """The Wine (Z: drive) form of a Linux path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_until(predicate, timeout=20.0, interval=0.1, what="condition"):
    """Polls predicate until it returns a true value; that value, or AssertionError."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except DriverError as e:
            last_error = e
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}" + (f" (last error: {last_error})" if last_error else ""))
        time.sleep(interval)


class Display:
    """Xvfb with openbox when there is no DISPLAY; nothing when there is one."""

    def __init__(self):
        self.processes = []
        self.previous = None

    def __enter__(self):
        if os.environ.get("DISPLAY"):
            return self
        n = 90
        while os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
            n += 1
        self.processes.append(subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{n}"), 10, what="Xvfb")
        self.previous = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = f":{n}"
        self.processes.append(subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        return self

    def __exit__(self, *exc):
        for p in reversed(self.processes):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        if self.processes:
            if self.previous is None:
                os.environ.pop("DISPLAY", None)
            else:
                os.environ["DISPLAY"] = self.previous


class WineSession:
    """Runs Windows programs of the build folder in one Wine prefix (optionally in a namespace)."""

    def __init__(self, prefix_name="wineprefix-app", runner=None):
        self.runner = runner
        base = runner.env if runner is not None else os.environ
        self.env = dict(base, UPTORRA_BUILD_DIR=BUILD, WINEPREFIX=os.path.join(BUILD, prefix_name))
        # Made once (10-40 s) before anything reads a Wine program's output.
        subprocess.run([os.path.join(ROOT, "tools", "wine-prefix.sh")], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def _argv(self, argv):
        prefix = ["ip", "netns", "exec", self.runner.ns] if self.runner is not None else []
        return prefix + [WINE_RUN] + list(argv)

    def popen(self, argv, extra_env=None, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        env = dict(self.env, DISPLAY=os.environ.get("DISPLAY", ""), **(extra_env or {}))
        return subprocess.Popen(self._argv(argv), env=env, **kw)

    def run(self, argv, timeout=120, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.run(self._argv(argv), env=dict(self.env, DISPLAY=os.environ.get("DISPLAY", "")),
                              capture_output=True, timeout=timeout, **kw)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)


class Driver:
    """uptorra_driver.exe in serve mode: one JSON request per line, one JSON answer per line."""

    def __init__(self, wine):
        self.process = wine.popen([DRIVER, "serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def __call__(self, command, *args):
        request = json.dumps([command] + [str(a) for a in args], ensure_ascii=False) + "\n"
        self.process.stdin.write(request.encode("utf-8"))
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        while line and not line.startswith(b"{"):  # anything Wine itself printed
            line = self.process.stdout.readline()
        if not line:
            raise DriverError("the driver ended")
        answer = json.loads(line.decode("utf-8"))
        if not answer.get("ok"):
            raise DriverError(answer.get("error", "failed"))
        return answer.get("result")

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write(b'["quit"]\n')
                self.process.stdin.flush()
                self.process.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()


def write_hosts(folder, rows, line_end="\r\n", header=HOSTS_HEADER):
    """rows: tuples of six texts (or five, the status then being "等待测试")."""
    lines = [header] + [",".join(tuple(r) + (("等待测试",) if len(r) == 5 else ())) for r in rows]
    with open(os.path.join(folder, HOSTS_FILE), "wb") as f:
        f.write(line_end.join(lines).encode("gbk"))


def write_config(folder, token="", topic="", interval="", api_url=None, mail=None):
    """The configuration file in GBK; values as the program reads them."""
    lines = ["[Wx_Pusher]", f"appToken={token}", f"topicId={topic}"]
    if api_url is not None:
        lines.append(f"apiUrl={api_url}")
    text = "\r\n".join(lines) + "\r\n"
    if mail:
        text += "[Mail]\r\n" + "".join(f"{k}={v}\r\n" for k, v in mail.items())
    with open(os.path.join(folder, CONFIG_FILE), "wb") as f:
        f.write(text.encode("gbk"))


def read_log(folder):
    """The log's entries, newest first, as texts."""
    path = os.path.join(folder, LOG_FILE)
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        text = f.read().decode("gbk")
    return [e for e in text.split("\r\n") if e]


def read_hosts_lines(folder):
    with open(os.path.join(folder, HOSTS_FILE), "rb") as f:
        return f.read().decode("gbk").split("\r\n")


class UptorraApp:
    """One program folder and the program running in it."""

    def __init__(self, folder=None, wine=None, prefix_name="wineprefix-app"):
        self.own_folder = folder is None
        self.folder = folder or tempfile.mkdtemp(prefix="uptorra-app-")
        self.wine = wine or WineSession(prefix_name)
        self.own_wine = wine is None
        self.exe = os.path.join(self.folder, "uptorra.exe")
        shutil.copy(PROGRAM, self.exe)
        self.process = None
        self._driver = None
        self.pid = None  # the Windows process id of the window
        self.trace_path = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def driver(self):
        if self._driver is None or self._driver.process.poll() is not None:
            self._driver = Driver(self.wine)
        return self._driver

    def path(self, name):
        return os.path.join(self.folder, name)

    def clear_first_run(self):
        """Deletes the first-run mark, so that the next start is a first start."""
        self.driver("clearfirstrun")

    def window_timers(self):
        """(timer id, period in ms) of every SetTimer on the main window since a start with
        trace_timers, oldest first."""
        hwnd = self.driver("find", self.pid)["hwnd"]
        with open(self.trace_path, "rb") as f:
            trace = f.read()
        return [(int(timer), int(period)) for window, timer, period in TIMER_TRACE.findall(trace)
                if int(window, 16) == hwnd]

    def mark_first_run(self):
        """Writes the first-run mark, so that the next start shows no usage box."""
        self.driver("markfirstrun")

    def start(self, expect_box=None, timeout=60, extra_env=None, stderr=None, trace_timers=False):
        """Starts the program; with expect_box=(caption, button) answers the box that comes
        before the window (the usage text of a first start). extra_env is added to the Wine
        environment (WINEDEBUG, say) and stderr takes Wine's and the program's error output.
        trace_timers records the window timers the program sets (see window_timers).
        Returns the window's description."""
        if trace_timers:
            # Wine's message channel traces every SetTimer with its window, id and period.
            handle, self.trace_path = tempfile.mkstemp(prefix="uptorra-trace-", suffix=".txt")
            stderr = os.fdopen(handle, "wb")
            extra_env = dict(extra_env or {}, WINEDEBUG="+msg")
        self.pid = None
        # Windows of other copies in the same prefix (an earlier start, another test's program)
        # are not this start's.
        others = {w["pid"] for w in self.driver("windows")}
        self.process = self.wine.popen([self.exe], cwd=self.folder, extra_env=extra_env,
                                       stderr=stderr if stderr is not None else subprocess.DEVNULL)
        if trace_timers:
            stderr.close()  # the program holds its own copy
        # The window is created (hidden) before start-up runs, so it is there before the usage box.
        window = wait_until(lambda: next((w for w in self.driver("windows") if w["pid"] not in others), None),
                            timeout, what="the program's window")
        self.pid = window["pid"]
        self.driver("find", self.pid)
        if expect_box is not None:
            caption, button = expect_box
            self.last_box = self.wait_box(caption, timeout)
            self.driver("answer", caption, button)
        return wait_until(lambda: self._visible_window(), timeout, what="the main window shown")

    def _visible_window(self):
        window = self.driver("find", self.pid)
        return window if window.get("visible") else None

    def boxes_any(self):
        """Message boxes of the program, also before its main window exists."""
        try:
            return self.driver("boxes")
        except DriverError:  # no window of the program yet
            return []

    def state(self, max_rows=200):
        return self.driver("state", max_rows)

    def click(self, control):
        self.driver("click", control)
        self.driver("sync")

    def wait_box(self, caption, timeout=20):
        # A box still being built (or torn down) reads without text or buttons: every box of
        # the program has both.
        return wait_until(lambda: next((b for b in self.driver("boxes") if b["caption"] == caption and b["visible"]
                                        and b["text"] and b["buttons"]), None), timeout, what=f"box {caption}")

    def answer(self, caption, button, timeout=20):
        box = self.wait_box(caption, timeout)
        self.driver("answer", caption, button)
        return box

    def rows(self, max_rows=200):
        """The list's cells, row by row, and their status images (the image of the status
        column; -1 for none)."""
        rows = self.state(max_rows)["list"]["rows"]
        return rows["cells"], [images[STATUS_COLUMN] for images in rows["images"]]

    def wait_rows(self, predicate, timeout=30, what="rows"):
        """Polls the list until predicate(cells, images) holds; returns (cells, images)."""
        return wait_until(lambda: (lambda r: r if predicate(*r) else None)(self.rows()), timeout, what=what)

    def screenshot(self, path):
        """The main window as a PNG (ImageMagick's import of the root window, cropped)."""
        window = self.driver("find")
        x, y, w, h = window["rect"]
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path],
                       check=True, env=os.environ)
        return path

    # --- real mouse and keyboard input (xdotool on the X display) -----------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], check=True, env=os.environ, capture_output=True,
                       timeout=20)

    def mouse_click(self, point, button=1):
        """A real click (button 1 left, 3 right) at a screen point."""
        x, y = point
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", button)

    def click_control(self, control, button=1):
        self.mouse_click(self.driver("point", control), button)
        self.driver("sync")

    def right_click_list(self, row="below"):
        """A right click on a list row (index) or on the empty area below the last row."""
        self.mouse_click(self.driver("listpoint", row), 3)

    def click_header(self, column):
        self.mouse_click(self.driver("headerpoint", column), 1)
        self.driver("sync")

    def key(self, *keys):
        """Keys (xdotool names such as Escape) to whatever window has the keyboard focus."""
        self.xdotool("key", *keys)

    def menus(self):
        return self.driver("menus")

    def wait_menu(self, timeout=20):
        return wait_until(lambda: self.menus(), timeout, what="the popup menu")

    def choose_menu_item(self, index):
        """Chooses the index-th (0-based) item of the open popup menu with the keyboard."""
        VK_DOWN, VK_RETURN = 0x28, 0x0D
        self.driver("menukey", *([VK_DOWN] * (index + 1) + [VK_RETURN]))
        wait_until(lambda: not self.menus(), 20, what="the menu to close")
        self.driver("sync")

    def dismiss_menu(self):
        VK_ESCAPE = 0x1B
        self.driver("menukey", VK_ESCAPE)
        wait_until(lambda: not self.menus(), 20, what="the menu to close")

    # --- the program's process ----------------------------------------------------------------

    def request_close(self):
        """The close button of the title bar."""
        self.driver("close")

    def window_exists(self):
        try:
            window = self.driver("find", self.pid or 0)
        except DriverError:
            return False
        return self.pid is None or window["pid"] == self.pid

    def wait_ended(self, timeout=30):
        """Waits until the program's window is gone (and our Wine process, when it is ours)."""
        wait_until(lambda: not self.window_exists(), timeout, what="the program to end")
        if self.process is not None:
            self.process.wait(timeout)

    def follow_restart(self, timeout=60):
        """After a restart: waits until the old process is gone and a new one shows its window,
        then works that one. Returns the new window's description."""
        old = self.pid
        if self.process is not None:
            self.process.wait(timeout)  # the old process ends itself at once
        self.process = None  # the new copy is started by the script, not by us

        def new_window():
            window = self.driver("find", 0)
            return window if window["pid"] != old and window.get("visible") else None

        window = wait_until(new_window, timeout, what="the restarted program's window")
        self.pid = window["pid"]
        self.driver("find", self.pid)
        return window

    def alive(self):
        if self.process is None:
            return self.pid is not None and self.window_exists()
        return self.process.poll() is None

    def kill(self):
        if self.pid is not None:
            try:
                self.driver("kill")
            except DriverError:
                pass
        if self.process is not None:
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()

    def close(self):
        if self.alive():
            self.kill()
        if self._driver is not None:
            self._driver.close()
        if self.own_wine:
            self.wine.stop()
        if self.own_folder:
            shutil.rmtree(self.folder, ignore_errors=True)
        if self.trace_path:
            os.unlink(self.trace_path)
            self.trace_path = None
