"""The release under Wine: the portable zip's contents, and the installer's whole life in a
fresh Wine prefix of its own: silent install into a folder with a blank and Chinese in its
name, the installed program starting from there and keeping its files next to itself, the
refusal to install over a running copy, silent uninstall keeping the operator's files,
reinstall finding them, and uninstall with /REMOVEDATA taking them away.

The artefacts are packaged by tools/release.sh from the exe of the build folder (the one the
other tests ran), into the build folder's release-test/."""
import glob
import os
import re
import shutil
import subprocess
import time
import zipfile

import pytest

from uptorra_app import BUILD, DRIVER, PROGRAM, ROOT, Display, Driver, DriverError, wait_until

pytestmark = pytest.mark.skipif(shutil.which("makensis") is None,
                                reason="makensis is missing (Debian package nsis): run tools/setup.sh")

USAGE_CAPTION = "Uptorra使用说明"
MAIN_WINDOW_TITLE_PART = "Uptorra"
DATA_FILES = ("MyHosts.csv", "MyConfig.ini", "MyLog.log")
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Uptorra"
FIRST_RUN_KEY = r"HKCU\SOFTWARE\KWO\Uptorra"
# A blank and Chinese in the folder name: quoting in shortcuts and uninstall strings, and the
# program's own folder as a GBK text, must all survive it.
INSTALL_DIR = "C:\\监测 工具\\Uptorra"
SETUP_COPY = "C:\\uptorra-setup.exe"
NSIS_ABORTED = 2  # exit code of an NSIS installer that its script aborted


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"^project\(Uptorra VERSION (\d+\.\d+\.\d+)", f.read(), re.M).group(1)


VERSION = project_version()


@pytest.fixture(scope="module")
def release():
    """Packages the build folder's exe (built first if missing, with the driver)."""
    missing = [t for t, p in (("uptorra", PROGRAM), ("uptorra_driver", DRIVER)) if not os.path.exists(p)]
    if missing:
        subprocess.run(["cmake", "--build", "--preset", "windows", "--target"] + missing, cwd=ROOT, check=True)
    out = os.path.join(BUILD, "release-test")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run(["bash", os.path.join(ROOT, "tools", "release.sh"), "--exe", PROGRAM, "--out", out],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return {
        "exe": os.path.join(out, "uptorra.exe"),
        "zip": os.path.join(out, f"uptorra-{VERSION}.zip"),
        "setup": os.path.join(out, f"uptorra-{VERSION}-setup.exe"),
    }


class FreshPrefix:
    """A Wine prefix made anew for this module, with its own empty home: the installer's
    desktop and start-menu folders must not reach the real user's, and Wine's menu builder,
    which would copy shortcuts into the Linux desktop's menus, is switched off."""

    def __init__(self):
        self.prefix = os.path.join(BUILD, "wineprefix-installer")
        self.home = os.path.join(BUILD, "installer-home")
        self.env = dict(os.environ, UPTORRA_BUILD_DIR=BUILD, WINEPREFIX=self.prefix, HOME=self.home,
                        WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")
        self.stop_server()  # of an earlier run that did not end cleanly
        for d in (self.prefix, self.home):
            shutil.rmtree(d, ignore_errors=True)
        os.makedirs(self.home)
        subprocess.run([os.path.join(ROOT, "tools", "wine-prefix.sh")], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        users = [d for d in glob.glob(os.path.join(self.prefix, "drive_c", "users", "*")) if not d.endswith("Public")]
        assert len(users) == 1, users
        self.profile = users[0]

    def stop_server(self):
        if os.path.isdir(self.prefix):
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)

    def _argv(self, argv):
        return [os.path.join(ROOT, "tools", "wine-run.sh")] + list(argv)

    def popen(self, argv, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        return subprocess.Popen(self._argv(argv), env=dict(self.env, DISPLAY=os.environ.get("DISPLAY", "")), **kw)

    def run(self, argv, timeout=120):
        return subprocess.run(self._argv(argv), env=dict(self.env, DISPLAY=os.environ.get("DISPLAY", "")),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)

    def unix(self, windows_path):
        """The Linux path of a C: drive path."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def registry(self, key):
        """The values of a registry key as {name: data text}, or None when it does not exist."""
        export = os.path.join(self.prefix, "drive_c", "export.reg")
        if os.path.exists(export):
            os.remove(export)
        result = self.run(["reg", "export", key, "C:\\export.reg", "/y"])
        if result.returncode != 0 or not os.path.exists(export):
            return None
        with open(export, "rb") as f:
            text = f.read().decode("utf-16")
        quoted = r'"((?:[^"\\]|\\.)*)"'
        unescape = lambda t: re.sub(r"\\(.)", r"\1", t)
        values = {}
        for name, string, other in re.findall(rf"^{quoted}=(?:{quoted}|(\S+))\r?$", text, re.M):
            values[unescape(name)] = unescape(string) if not other else other
        return values


@pytest.fixture(scope="module")
def wine():
    with Display():
        session = FreshPrefix()
        try:
            yield session
        finally:
            session.stop_server()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def test_zip_holds_the_exe_and_a_gbk_crlf_readme(release):
    folder = f"Uptorra-{VERSION}/"
    readme_name = folder + "说明.txt"
    with zipfile.ZipFile(release["zip"]) as z:
        infos = {i.filename: i for i in z.infolist()}
        assert set(infos) - {folder} == {folder + "uptorra.exe", readme_name}
        # Without the UTF-8 flag an unpacker would take the name's bytes in its own code page.
        assert infos[readme_name].flag_bits & 0x800
        assert z.read(folder + "uptorra.exe") == read(release["exe"])
        readme = z.read(readme_name)
    assert not readme.startswith(b"\xef\xbb\xbf")
    assert readme.count(b"\n") == readme.count(b"\r\n") > 5
    text = readme.decode("gbk")
    assert f"Uptorra 主机监测 {VERSION}" in text
    for name in DATA_FILES:
        assert name in text


def test_exe_resources_carry_the_project_version(release):
    """Version resource and manifest are generated from project(); a stale copy shows here."""
    exe = read(release["exe"])
    quad = f"{VERSION}.0"
    assert "ProductVersion\0".encode("utf-16-le") in exe
    assert f"{quad}\0".encode("utf-16-le") in exe
    assert f'name="KWO.Uptorra" version="{quad}"'.encode() in exe
    # Symbols stripped: the tested build's debug sections stay out of the shipped exe.
    assert b".debug_info" not in exe


def start_installed(wine, exe_windows_path, first_run):
    """Starts the installed program from another working folder, answers the usage box of a
    first start, and returns (process, driver, window description)."""
    process = wine.popen([exe_windows_path], cwd=BUILD)
    driver = Driver(wine)
    if first_run:
        def usage_box():
            try:
                return next((b for b in driver("boxes") if b["caption"] == USAGE_CAPTION), None)
            except DriverError:
                return None
        wait_until(usage_box, 60, what="the usage box of the first start")
        driver("answer", USAGE_CAPTION, "OK")

    def visible_window():
        try:
            window = driver("find")
        except DriverError:
            return None
        return window if window.get("visible") else None
    window = wait_until(visible_window, 60, what="the main window of the installed program")
    return process, driver, window


def run_setup(wine, release):
    """Silent install into INSTALL_DIR; the installer's exit code. NSIS wants /D last and
    unquoted even with blanks, as an operator types it at a prompt. Wine would quote an
    argument holding a blank, so the line goes through cmd /c, which passes it on as it is."""
    shutil.copy(release["setup"], wine.unix(SETUP_COPY))
    return wine.run(["cmd", "/c", f"{SETUP_COPY} /S /D={INSTALL_DIR}"]).returncode


def run_uninstaller(wine, install_dir, *args):
    """The uninstaller copies itself away and returns at once; done is when it has gone."""
    uninstaller = os.path.join(install_dir, "uninstall.exe")
    result = wine.run([uninstaller] + list(args))
    assert result.returncode == 0, result.stderr
    wait_until(lambda: not os.path.exists(uninstaller), 60, interval=0.3, what="the uninstaller to finish")
    wait_until(lambda: wine.registry(UNINSTALL_KEY) is None, 30, interval=0.5, what="the uninstall entry to go")


def test_install_run_uninstall_keeps_data_then_removedata_removes_it(release, wine):
    install_dir = wine.unix(INSTALL_DIR)
    start_menu = os.path.join(wine.profile, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                              "Programs", "Uptorra")
    desktop_link = os.path.join(wine.profile, "Desktop", "Uptorra 主机监测.lnk")

    assert run_setup(wine, release) == 0
    assert read(os.path.join(install_dir, "uptorra.exe")) == read(release["exe"])
    assert os.path.exists(os.path.join(install_dir, "uninstall.exe"))
    assert sorted(os.listdir(start_menu)) == ["Uptorra 主机监测.lnk", "卸载 Uptorra.lnk"]
    assert os.path.exists(desktop_link)
    entry = wine.registry(UNINSTALL_KEY)
    assert entry is not None, "no Add/Remove Programs entry under HKCU"
    assert entry["DisplayVersion"] == VERSION
    assert entry["InstallLocation"] == INSTALL_DIR
    assert entry["UninstallString"] == f'"{INSTALL_DIR}\\uninstall.exe"'
    assert entry["QuietUninstallString"] == f'"{INSTALL_DIR}\\uninstall.exe" /S'

    # The installed program starts from there (the working folder is elsewhere) and makes its
    # files next to itself.
    process, driver, window = start_installed(wine, INSTALL_DIR + "\\uptorra.exe", first_run=True)
    try:
        assert MAIN_WINDOW_TITLE_PART in window["title"]
        for name in ("MyHosts.csv", "MyConfig.ini"):
            wait_until(lambda: os.path.exists(os.path.join(install_dir, name)), 20, what=name)
        assert not os.path.exists(os.path.join(BUILD, "MyHosts.csv"))

        # Installing over the running copy is refused rather than half done.
        exe_before = os.stat(os.path.join(install_dir, "uptorra.exe"))
        assert run_setup(wine, release) == NSIS_ABORTED
        assert os.stat(os.path.join(install_dir, "uptorra.exe")).st_mtime_ns == exe_before.st_mtime_ns
        driver("kill")
    finally:
        driver.close()
        try:
            process.wait(20)
        except subprocess.TimeoutExpired:
            process.kill()

    # The operator's data: an edited hosts file and a log.
    with open(os.path.join(install_dir, "MyHosts.csv"), "ab") as f:
        f.write("\r\n127.0.0.1,本机,ICMP,2,60,等待测试".encode("gbk"))
    with open(os.path.join(install_dir, "MyLog.log"), "wb") as f:
        f.write("2026-01-02 03:04:05---监测启动\r\n".encode("gbk"))
    data = {name: read(os.path.join(install_dir, name)) for name in DATA_FILES}

    # Silent uninstall keeps the three files (and so the folder), removes everything else.
    run_uninstaller(wine, install_dir, "/S")
    assert sorted(os.listdir(install_dir)) == sorted(DATA_FILES)
    assert {name: read(os.path.join(install_dir, name)) for name in DATA_FILES} == data
    assert not os.path.exists(start_menu)
    assert not os.path.exists(desktop_link)

    # A reinstall into the same folder finds them untouched.
    assert run_setup(wine, release) == 0
    assert {name: read(os.path.join(install_dir, name)) for name in DATA_FILES} == data

    # Uninstall with /REMOVEDATA: nothing is left, the first-run mark included.
    wine.run(["reg", "add", FIRST_RUN_KEY, "/v", "FirstRun", "/d", "1", "/f"])
    assert wine.registry(FIRST_RUN_KEY) is not None
    run_uninstaller(wine, install_dir, "/S", "/REMOVEDATA")
    assert not os.path.exists(install_dir)
    assert os.path.isdir(os.path.dirname(install_dir))  # the parent was not ours to remove
    assert wine.registry(FIRST_RUN_KEY) is None
