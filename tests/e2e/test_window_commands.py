"""The operator's commands on the real window, one program run after the other as an operator
would go: adding hosts, sorting by the column titles, switching a host off and starting
monitoring (the added rows are probed), closing with Cancel and No (the tray), restarting, and
closing with Yes. Every host is on 127.0.0.0/8; the push service is local."""
import os
import re

import pytest

from loopback_peers import PushService, TcpPorts
from uptorra_app import (HOSTS_FILE, HOSTS_HEADER, Display, UptorraApp, read_hosts_lines, read_log, wait_until,
                         write_config)

TIP = "KWO提示"
CLOSE_QUESTION = "是否关闭？点击是关闭程序，点击否最小化到托盘。"
RESTART_QUESTION = "确认重启程序？"
ENTER_ADDRESS = "请输入主机地址！"
ENTER_PORT = "请输入端口号！"
NO_COMMA = "主机地址和名称中不能包含逗号或换行！"
TIME_TEXT = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
ICMP_OK = re.compile(r"^ICMP通信正常, (\d+)ms$")
WM_LBUTTONUP, WM_RBUTTONUP = 0x202, 0x205
IDCANCEL, IDYES, IDNO = 2, 6, 7


@pytest.fixture(scope="module")
def peers():
    push, ports = PushService(), TcpPorts()
    yield push, ports
    ports.stop()
    push.stop()


@pytest.fixture(scope="module")
def app(peers):
    push, ports = peers
    with Display(), UptorraApp() as app:
        write_config(app.folder, token=PushService.TOKEN, topic="11", api_url=push.url)
        # Written by hand, so it ends in CR LF (the program itself never leaves one at the end).
        with open(app.path(HOSTS_FILE), "wb") as f:
            f.write("\r\n".join([HOSTS_HEADER, "127.0.0.1,本机,ICMP,0,1,等待测试",
                                 f"127.0.0.1,监听端口,{ports.listening}端口,0,1,等待测试",
                                 f"127.0.0.1,关闭端口,{ports.closed}端口,0,1,等待测试", ""]).encode("gbk"))
        app.mark_first_run()
        app.start()
        yield app


def hosts_bytes(app):
    with open(app.path(HOSTS_FILE), "rb") as f:
        return f.read()


def set_inputs(app, **texts):
    for control, text in texts.items():
        app.driver("settext", control, text)


def choose_probe(app, radio):
    app.click(radio)
    wait_until(lambda: app.state()["controls"][radio]["checked"], what=radio)


def test_add_hosts(app, peers):
    _, ports = peers
    original = hosts_bytes(app)
    assert original.endswith(b"\r\n")

    # The radio buttons switch the port box and propose a retry count.
    choose_probe(app, "单选框_端口")
    controls = app.state()["controls"]
    assert controls["编辑框_监测类型"]["enabled"] and controls["编辑框_重试次数"]["text"] == "1"
    assert not controls["单选框_ICMP"]["checked"]
    app.driver("focus", "编辑框_监测类型")
    app.driver("type", "编辑框_监测类型", "80")
    app.driver("sync")
    choose_probe(app, "单选框_ICMP")
    controls = app.state()["controls"]
    assert not controls["编辑框_监测类型"]["enabled"] and controls["编辑框_监测类型"]["text"] == "80"
    assert controls["编辑框_重试次数"]["text"] == "2"

    # ICMP chosen with a port left in the disabled box: the probe type is ICMP. The file ended
    # in CR LF, so an empty line comes before the new one.
    set_inputs(app, 编辑框_主机地址="127.0.0.2", 编辑框_主机名称="回环二", 编辑框_监测间隔="1")
    app.click("添加主机")
    cells, images = app.wait_rows(lambda c, i: len(c) == 4, what="the first added row")
    assert cells[3] == ["4", "127.0.0.2", "回环二", "ICMP", "2", "1", "等待测试", ""] and images[3] == -1
    first_line = "127.0.0.2,回环二,ICMP,2,1,等待测试".encode("gbk")
    assert hosts_bytes(app) == original + b"\r\n" + first_line

    # Refusals: a message box, and neither the table nor the file changes.
    refusals = [
        # (radio, address, name, port, message)
        ("单选框_ICMP", "", "空地址", "", ENTER_ADDRESS),
        ("单选框_ICMP", " 　 ", "全角空格", "", ENTER_ADDRESS),
        ("单选框_端口", "127.0.0.4", "无端口", "", ENTER_PORT),
        ("单选框_端口", "127.0.0.4", "零端口", "0", ENTER_PORT),  # a typed 0 empties the box
        ("单选框_ICMP", "127.0.0.4", "甲,乙", "", NO_COMMA),
        ("单选框_ICMP", "127.0.0.4,127.0.0.5", "逗号", "", NO_COMMA),
    ]
    for radio, address, name, port, message in refusals:
        choose_probe(app, radio)
        set_inputs(app, 编辑框_主机地址=address, 编辑框_主机名称=name, 编辑框_监测类型="")
        if port:
            app.driver("focus", "编辑框_监测类型")
            app.driver("type", "编辑框_监测类型", port)
            app.driver("sync")  # the typed keys are in before the focus moves
            app.driver("focus", "编辑框_主机地址")  # leaving the box normalises it
        app.click("添加主机")
        box = app.answer(TIP, "OK")
        assert box["text"] == message, (address, name)
        wait_until(lambda: not app.driver("boxes"), what="the box to close")
        assert app.state()["list"]["count"] == 4, (address, name)
    assert hosts_bytes(app) == original + b"\r\n" + first_line

    # Two adds in a row: a port host whose address keeps its blanks, then an ICMP host. The
    # first new line gets its line end from the second append.
    choose_probe(app, "单选框_端口")
    set_inputs(app, 编辑框_主机地址=" 127.0.0.1 ", 编辑框_主机名称="带空格", 编辑框_监测类型=str(ports.listening),
               编辑框_监测间隔="1")
    app.click("添加主机")
    choose_probe(app, "单选框_ICMP")
    set_inputs(app, 编辑框_主机地址="127.0.0.3", 编辑框_主机名称="")
    app.click("添加主机")
    cells, images = app.wait_rows(lambda c, i: len(c) == 6, what="two more rows")
    assert cells[4] == ["5", " 127.0.0.1 ", "带空格", f"{ports.listening}端口", "1", "1", "等待测试", ""]
    assert cells[5] == ["6", "127.0.0.3", "", "ICMP", "2", "1", "等待测试", ""]
    assert hosts_bytes(app) == original + b"\r\n" + first_line + "\r\n".join([
        "", f" 127.0.0.1 ,带空格,{ports.listening}端口,1,1,等待测试", "127.0.0.3,,ICMP,2,1,等待测试"]).encode("gbk")
    # The boxes keep their texts for the next host.
    controls = app.state()["controls"]
    assert controls["编辑框_主机地址"]["text"] == "127.0.0.3" and controls["编辑框_监测类型"]["text"] == str(ports.listening)


def column_titles(app):
    return [c["title"] for c in app.state()["list"]["columns"]]


def test_sort_by_clicking_the_column_titles(app):
    cells, _ = app.rows()
    by_number = sorted(cells, key=lambda row: int(row[0]))
    by_name = sorted(cells, key=lambda row: row[2].encode("gbk"))

    steps = [
        # (column clicked, its title afterwards, expected rows)
        (0, "序号↓", by_number[::-1]),
        (0, "序号↑", by_number),
        (0, "序号↓", by_number[::-1]),
        (4, "重试", by_number[::-1]),  # not sortable: nothing changes
        (7, "测试时间", by_number[::-1]),
        (2, "主机名称↓", by_name[::-1]),
        (2, "主机名称↑", by_name),
        (0, "序号↑", by_number),
    ]
    for column, title, expected in steps:
        app.click_header(column)
        wait_until(lambda: column_titles(app)[column] == title, what=title)
        assert app.rows()[0] == expected, title
    # Each arrow shows its own column's last direction; the others keep their asterisks.
    assert column_titles(app) == ["序号↑", "主机地址/域名*", "主机名称↑", "监测类型*", "重试", "间隔(s)", "监测状态*",
                                  "测试时间"]


def test_start_probes_loaded_and_added_rows(app, peers):
    push, ports = peers
    # The row with blanks around its address is switched off first (popup on its row): it
    # gets no task, so its address is never looked up.
    app.right_click_list(4)
    app.wait_menu()
    app.choose_menu_item(0)
    app.wait_rows(lambda c, i: c[4][6] == "停止监测", what="the row switched off")

    app.click("启动监测")
    wait_until(lambda: app.state()["panes"][1].startswith("已启动监测，当前线程数："), what="monitoring started")
    controls = app.state()["controls"]
    assert not controls["启动监测"]["enabled"] and controls["停止监测"]["enabled"]
    assert not controls["添加主机"]["enabled"] and not controls["编辑框_主机地址"]["enabled"]

    def settled(cells, images):
        return (all(ICMP_OK.match(cells[r][6]) for r in (0, 3, 5)) and cells[1][6] == "端口通信正常"
                and cells[2][6].startswith("通信失败,"))

    cells, images = app.wait_rows(settled, timeout=60, what="every monitored row probed")
    assert images == [1, 1, 0, 1, -1, 1]
    assert cells[2][6] == "通信失败,微信推送成功"
    for row in (0, 1, 2, 3, 5):
        assert TIME_TEXT.match(cells[row][7]), cells[row]
    assert cells[4][6] == "停止监测" and cells[4][7] == ""
    log = read_log(app.folder)
    assert log[-1].endswith("---监测启动")
    assert all(m["content"].find(f"{ports.closed}端口") > 0 for m in push.messages())


def close_box(app, answer):
    box = app.answer(TIP, answer)
    assert box["text"] == CLOSE_QUESTION
    assert sorted(b["id"] for b in box["buttons"]) == [IDCANCEL, IDYES, IDNO]
    if answer != "Yes":  # after Yes the window is gone, and the driver with it
        wait_until(lambda: not app.driver("boxes"), what="the box to close")


def uptorra_tray_icons(app):
    return [icon for icon in app.driver("tray") if icon["tip"] == "Uptorra"]


def visible(app):
    return app.driver("find", app.pid)["visible"]


def test_close_cancel_and_no_hide_in_the_tray(app):
    log_before = read_log(app.folder)

    # Esc in the window asks the close question; Cancel changes nothing.
    # (The input boxes are disabled while monitoring runs: the click goes to the list.)
    app.mouse_click(app.driver("listpoint", "below"))
    list_id = app.state()["controls"]["超级列表框1"]["id"]
    wait_until(lambda: app.state()["focus"] == list_id, what="the keyboard focus in the list")
    app.key("Escape")
    close_box(app, "Cancel")
    assert visible(app) and not uptorra_tray_icons(app)

    for round_ in range(2):
        app.request_close()
        close_box(app, "No")
        wait_until(lambda: not visible(app), what="the window hidden")
        icons = wait_until(lambda: uptorra_tray_icons(app), what="the tray icon")
        assert len(icons) == 1, icons
        # Monitoring goes on behind the tray: the rows keep getting new test times.
        before = app.rows()[0][0][7]
        app.wait_rows(lambda c, i: c[0][7] > before, what="a new test time while hidden")
        if round_ == 0:
            app.driver("trayclick", "Uptorra", WM_RBUTTONUP)  # the right button does nothing
            app.driver("sync")
            assert not visible(app)
        app.driver("trayclick", "Uptorra", WM_LBUTTONUP)
        wait_until(lambda: visible(app), what="the window back from the tray")
        assert len(uptorra_tray_icons(app)) == 1, "the icon stays after restoring"
    assert app.alive()
    log = read_log(app.folder)
    assert not any(e.endswith("---程序关闭") for e in log)
    assert len(log) >= len(log_before)


def test_restart_starts_a_new_process_that_reloads_the_file(app):
    app.click("重启程序")
    box = app.answer(TIP, "Cancel")
    assert box["text"] == RESTART_QUESTION
    wait_until(lambda: not app.driver("boxes"), what="the box to close")
    assert app.alive() and not any(e.endswith("---程序重启") for e in read_log(app.folder))

    old_pid = app.pid
    app.click("重启程序")
    app.answer(TIP, "OK")
    app.follow_restart()
    assert app.pid != old_pid
    assert read_log(app.folder)[0].endswith("---程序重启")
    assert TIME_TEXT.match(read_log(app.folder)[0][:19])
    wait_until(lambda: not os.path.exists(app.path("Restart.bat")), what="Restart.bat deleted")

    # The new process loads the file: the empty line is skipped, and the row numbers are the
    # file's line numbers.
    state = app.state()
    assert state["panes"][0] == "主机载入完成，当前主机数：6"
    cells, images = app.rows()
    assert [(r[0], r[2], r[6]) for r in cells] == [("1", "本机", "等待测试"), ("2", "监听端口", "等待测试"),
                                                    ("3", "关闭端口", "等待测试"), ("5", "回环二", "等待测试"),
                                                    ("6", "带空格", "等待测试"), ("7", "", "等待测试")]
    assert images == [-1] * 6
    controls = state["controls"]
    assert controls["添加主机"]["enabled"] and controls["启动监测"]["text"] == "启动监测"
    assert read_hosts_lines(app.folder)[4] == ""


def test_close_with_yes_logs_and_ends_the_program(app):
    app.request_close()
    close_box(app, "Yes")
    app.wait_ended()
    assert read_log(app.folder)[0].endswith("---程序关闭")
