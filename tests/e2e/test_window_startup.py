"""The real window at start-up: a first start in an empty folder, a second start with the push
keys filled in, the state of every control when the window has been created, the integer input
boxes and the popup menu of the host list. Worked from outside through the driver and real
mouse clicks; no host is ever monitored here.

Writing pane 2 of the status bar cannot be done from outside: only the program's own window
service can be asked to, and tests/ui/MainWindow_win_test.cpp shows that it changes nothing."""
import os

import pytest

from uptorra_app import (CONFIG_FILE, HOSTS_FILE, HOSTS_HEADER, LOG_FILE, MAIL_TIMER_ID, Display, UptorraApp,
                         read_hosts_lines, write_config)

USAGE_CAPTION = "Uptorra使用说明"
USAGE_TEXT = ("0、右键单击查看日志按钮弹出使用说明；\r\n1、双击Wx_Pusher打开创建应用的网页；\r\n"
              "2、可提前将主机信息写到MyHosts.csv文件；\r\n3、从窗口添加主机需在启动监测之前（或重启程序）；\r\n"
              "4、点击带*号的表格标题可以进行排序；\r\n5、右键单击某个主机可以临时关闭或开启监测；\r\n"
              "6、勾选状态邮件可每3天提醒程序是否正常运行；\r\n7、关闭窗口前可以选择最小化到托盘；\r\n"
              "8、欢迎双击作者签名加入交流群，感谢支持！")
NOT_CONFIGURED = "未读取到Wx_Pusher的配置，"
HOSTS_LOADED = "主机载入完成，当前主机数："
IDOK = 1
WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_THICKFRAME, WS_SYSMENU, WS_CAPTION = 0x10000, 0x20000, 0x40000, 0x80000, 0xC00000
WELCOME = "欢迎超帅的你，快双击作者签名加群！"
EXAMPLE = "(示例)"

# Control: text, enabled, visible, checked (None: not a button), rectangle in the client area.
CONTROLS_AT_START = {
    "超级列表框1": ("", True, True, None, (0, 0, 756, 283)),
    "标签3": ("监测类型(Wx_Pusher)", True, True, None, (11, 295, 120, 16)),
    "单选框_ICMP": ("ICMP", True, True, True, (11, 326, 50, 16)),
    "单选框_端口": ("端口", True, True, False, (11, 352, 50, 16)),
    "编辑框_监测类型": ("", False, True, None, (64, 348, 45, 24)),
    "发送邮件": ("发送邮件", True, False, False, (155, 293, 80, 24)),
    "标签4": ("重试次数", True, True, None, (132, 325, 60, 16)),
    "编辑框_重试次数": ("2", True, True, None, (195, 320, 40, 24)),
    "标签5": ("监测间隔(s)", True, True, None, (125, 352, 66, 16)),
    "编辑框_监测间隔": ("120", True, True, None, (195, 348, 40, 24)),
    "标签1": ("主机地址/域名", True, True, None, (253, 295, 80, 16)),
    "编辑框_主机地址": ("", True, True, None, (341, 291, 120, 24)),
    "标签2": ("主机名称(可空)", True, True, None, (253, 325, 82, 16)),
    "编辑框_主机名称": ("", True, True, None, (341, 321, 120, 24)),
    "添加主机": ("添加主机", True, True, False, (309, 350, 80, 24)),
    "图片框1": (None, True, True, None, (479, 295, 80, 80)),
    "查看日志": ("查看日志", True, True, False, (578, 293, 80, 24)),
    "编辑配置": ("编辑配置", True, True, False, (578, 322, 80, 24)),
    "重启程序": ("重启程序", True, True, False, (578, 350, 80, 24)),
    "选择框1": ("状态邮件", True, True, False, (674, 297, 80, 16)),
    "启动监测": ("启动监测", True, True, False, (673, 322, 80, 24)),
    "停止监测": ("停止监测", False, True, False, (673, 350, 80, 24)),
}
COLUMNS_AT_START = [("序号*", 48), ("主机地址/域名*", 110), ("主机名称*", 100), ("监测类型*", 72), ("重试", 38),
                    ("间隔(s)", 56), ("监测状态*", 178), ("测试时间", 132)]


@pytest.fixture(scope="module")
def display():
    with Display() as d:
        yield d


@pytest.fixture(scope="module")
def app(display):
    """One program, first started in an empty folder (the usage box answered by the driver)."""
    with UptorraApp() as app:
        app.clear_first_run()
        assert os.listdir(app.folder) == ["uptorra.exe"]
        app.start(expect_box=(USAGE_CAPTION, "OK"), trace_timers=True)
        yield app


def config_values(folder):
    """(section, key, value) of the configuration file, in file order."""
    with open(os.path.join(folder, CONFIG_FILE), "rb") as f:
        text = f.read().decode("gbk")
    section, values = None, []
    for line in text.split("\r\n"):
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
        elif "=" in line:
            key, value = line.split("=", 1)
            values.append((section, key, value))
    return values


def test_first_start_shows_the_usage_box_and_creates_both_files(app):
    box = app.last_box
    assert box["text"].replace("\r\n", "\n") == USAGE_TEXT.replace("\r\n", "\n")
    assert [b["id"] for b in box["buttons"]] == [IDOK]
    assert app.driver("boxes") == [], "the usage box is shown once"

    state = app.state()
    assert state["panes"] == [NOT_CONFIGURED + HOSTS_LOADED + "1", WELCOME]
    assert state["window"]["title"] == "Uptorra -From KWO"

    # The hosts file: the header and one example line without a line end; the table holds it.
    lines = read_hosts_lines(app.folder)
    assert len(lines) == 2 and lines[0] == HOSTS_HEADER
    address, name, probe, retries, interval, status = lines[1].split(",")
    assert address and name.endswith(EXAMPLE)
    assert (probe, retries, interval, status) == ("ICMP", "2", "120", "等待测试")
    cells, images = app.rows()
    assert cells == [["1", address, name, "ICMP", "2", "120", "等待测试", ""]]
    assert images == [-1]

    # The configuration: empty push keys, then the example mail account.
    values = config_values(app.folder)
    assert values[:2] == [("Wx_Pusher", "appToken", ""), ("Wx_Pusher", "topicId", "")]
    assert [(s, k) for s, k, _ in values[2:]] == [("SMTP邮件", k) for k in (
        "SMTP服务器", "SMTP端口", "发信邮箱", "发信昵称", "邮箱授权码", "收信邮箱")]
    assert all(v.endswith(EXAMPLE) for _, _, v in values[2:])
    assert not os.path.exists(app.path(LOG_FILE))


def test_every_control_starts_in_its_state(app):
    state = app.state()
    controls = state["controls"]
    for name, (text, enabled, visible, checked, rect) in CONTROLS_AT_START.items():
        control = controls[name]
        seen = (control["text"] if text is not None else None, control["enabled"], control["visible"],
                control.get("checked"), tuple(control["rect"]))
        assert seen == (text, enabled, visible, checked, rect), name
    # The status bar lies on the bottom edge of the client area, never above its layout place
    # (0, 365): the frame's thickness depends on the window manager, the outer size does not.
    client_height = state["window"]["client"][3]
    assert tuple(controls["状态条1"]["rect"]) == (0, max(365, client_height - 20), 578, 20)
    assert [(c["title"], c["width"]) for c in state["list"]["columns"]] == COLUMNS_AT_START
    assert state["parts"] == [374, 748]
    assert state["list"]["imagelist"]
    x, y, width, height = state["window"]["rect"]
    assert (width, height) == (766, 430)
    # Caption with system menu, minimise and close; no maximise button; a fixed border.
    style = state["window"]["style"]
    assert style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX) == WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
    assert style & (WS_MAXIMIZEBOX | WS_THICKFRAME) == 0
    assert not [t for t in app.window_timers() if t[0] == MAIL_TIMER_ID], "时钟1 is off"


INTEGER_CASES = [
    # typed (or pasted), text right after, text once the box has lost the focus
    ("type", "ab1x2-c", "12-", "12"),
    ("type", "0", "0", ""),
    ("type", "000", "000", ""),
    ("type", "99999999999", "99999999999", "2147483647"),
    ("type", "-99999999999", "-99999999999", "-2147483648"),
    ("type", "-", "-", ""),
    ("type", "0042", "0042", "42"),
    ("paste", "  42秒abc", "  42秒abc", "42"),
    ("paste", "端口", "端口", ""),
]


@pytest.mark.parametrize("box", ["编辑框_监测间隔", "编辑框_重试次数"])
def test_integer_boxes_take_digits_and_normalise_when_left(app, box):
    before = app.state()["controls"][box]["text"]
    for how, entered, right_after, normalised in INTEGER_CASES:
        app.driver("settext", box, "")
        app.driver("focus", box)
        if how == "type":
            app.driver("type", box, entered)
        else:
            app.driver("settext", box, entered)
        app.driver("sync")
        assert app.state()["controls"][box]["text"] == right_after, (how, entered)
        app.driver("focus", "编辑框_主机地址")
        app.driver("sync")
        assert app.state()["controls"][box]["text"] == normalised, (how, entered)
    app.driver("settext", box, before)


def test_right_click_in_the_list_opens_the_popup_and_switches_the_row(app):
    # Below the last row: the menu opens, 3 pixels right of and below the mouse.
    x, y = app.driver("listpoint", "below")
    app.right_click_list("below")
    menu = app.wait_menu()[0]
    assert menu["rect"][:2] == [x + 3, y + 3]
    app.dismiss_menu()
    cells, images = app.rows()
    assert cells[0][6] == "等待测试"

    # On the row: the row is selected and the two items switch it off and on again.
    for item, status in [(0, "停止监测"), (1, "等待监测")]:
        app.right_click_list(0)
        app.wait_menu()
        app.choose_menu_item(item)
        cells, images = app.wait_rows(lambda c, i: c[0][6] == status, what=status)
        assert images == [-1]
    assert app.state()["list"]["selected"] == 0
    assert read_hosts_lines(app.folder)[1].endswith(",等待测试"), "the popup never touches the file"


def test_second_start_with_both_push_keys_shows_no_usage_box(app):
    app.kill()
    write_config(app.folder, token="AT_second_start", topic="7")
    with open(app.path(CONFIG_FILE), "rb") as f:
        config = f.read()
    with open(app.path(HOSTS_FILE), "rb") as f:
        hosts = f.read()

    app.start()
    assert app.driver("boxes") == []
    state = app.state()
    assert state["panes"] == [HOSTS_LOADED + "1", WELCOME]
    assert state["list"]["count"] == 1
    for name, content in [(CONFIG_FILE, config), (HOSTS_FILE, hosts)]:
        with open(app.path(name), "rb") as f:
            assert f.read() == content, f"{name} is not rewritten"
