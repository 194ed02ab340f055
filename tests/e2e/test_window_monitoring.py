"""Monitoring through the real window, inside a network namespace this test creates: 127.0.0.1
by ICMP echo, a listening and a refusing TCP port on 127.0.0.1, and a name that does not
resolve (the namespace has no way out, so its lookup fails without any DNS traffic leaving the
machine). The local push service runs in the namespace too. Started, stopped and continued with
the window's buttons; the rows, the pushes and the log are checked against each other."""
import re

import pytest

from loopback_peers import PushService, TcpPorts
from netns_session import NetnsSession, namespaces_available
from uptorra_app import (MAIL_TIMER_ID, Display, UptorraApp, WineSession, read_log, wait_until, write_config,
                         write_hosts)

pytestmark = pytest.mark.skipif(not namespaces_available(), reason="needs root and network namespaces")

TIP = "KWO提示"
TOPIC = "4242"
BAD_NAME = "no-such-host.invalid"
STOP_QUESTION = "确认停止对所有主机的监测？"
NOT_CONFIGURED = "请将Wx_Pusher的配置写入MyConfig.ini文件！"
PUSHED = "通信失败,微信推送成功"
ICMP_OK = re.compile(r"^ICMP通信正常, (\d+)ms$")
TIME = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d"
THREE_DAYS_MS = 259200000


@pytest.fixture(scope="module")
def netns():
    with NetnsSession(prefix_name="wineprefix-e2e") as session:
        yield session


@pytest.fixture(scope="module")
def peers(netns):
    push, ports = PushService(runner=netns), TcpPorts(runner=netns)
    yield push, ports
    ports.stop()
    push.stop()


@pytest.fixture(scope="module")
def wine(netns):
    with Display():
        yield WineSession("wineprefix-e2e", runner=netns)


@pytest.fixture(scope="module")
def hosts(peers):
    _, ports = peers
    # (address, name, probe type, retries, interval): the failing hosts with an empty name and
    # with a retry, the others without.
    return [("127.0.0.1", "本机", "ICMP", "0", "1"),
            ("127.0.0.1", "监听端口", f"{ports.listening}端口", "0", "1"),
            ("127.0.0.1", "关闭端口", f"{ports.closed}端口", "1", "1"),
            (BAD_NAME, "", "ICMP", "0", "1")]


@pytest.fixture(scope="module")
def app(wine, peers, hosts):
    push, _ = peers
    with UptorraApp(wine=wine) as app:
        write_config(app.folder, token=PushService.TOKEN, topic=TOPIC, api_url=push.url)
        write_hosts(app.folder, hosts)
        app.mark_first_run()
        app.start(trace_timers=True)
        yield app


def expected_body(time_text, host):
    """The message the push service must receive for a failed cycle of host at time_text."""
    address, name, probe = host[:3]
    content = f"【KWO提醒】{time_text} 告警：{address}{f'（{name}）' if name else ''} {probe} 通信失败，请及时查看！"
    return (f'{{\r\n"appToken":"{PushService.TOKEN}",\r\n"content":"{content}",\r\n"contentType":1,\r\n'
            f'"topicIds":[{TOPIC}]\r\n}}').encode("utf-8")


def failure_entries(log, hosts):
    """(time text, host) of the log's failure entries, newest first; every other entry must be
    a start or stop entry."""
    failures = []
    for entry in log:
        time_text, rest = entry[:19], entry[19:]
        assert re.fullmatch(TIME, time_text), entry
        if rest in ("---监测启动", "---监测停止"):
            continue
        host = next((h for h in hosts if rest == f"---{h[0]}{h[1]}---{h[2]}---微信推送成功"), None)
        assert host is not None, entry
        failures.append((time_text, host))
    return failures


def test_monitoring_start_stop_continue(app, peers, hosts):
    push, _ = peers
    app.click("启动监测")
    wait_until(lambda: re.fullmatch(r"已启动监测，当前线程数：[0-5]", app.state()["panes"][1]), what="started")
    controls = app.state()["controls"]
    assert not controls["启动监测"]["enabled"] and controls["停止监测"]["enabled"]
    assert not controls["添加主机"]["enabled"] and not controls["单选框_ICMP"]["enabled"]
    assert read_log(app.folder)[-1].endswith("---监测启动")

    # The hosts that answer show it with image 1; the others fail, are pushed, image 0. Two
    # failed cycles of each failing host are waited for, so that repeated failures show.
    def settled(cells, images):
        failures = [h for _, h in failure_entries(read_log(app.folder), hosts)]
        return (ICMP_OK.match(cells[0][6]) and cells[1][6] == "端口通信正常" and cells[2][6] == PUSHED
                and cells[3][6] == PUSHED and all(failures.count(h) >= 2 for h in hosts[2:]))

    cells, images = app.wait_rows(settled, timeout=90, what="every host probed, the failing ones twice")
    assert images == [1, 1, 0, 0]
    assert int(ICMP_OK.match(cells[0][6]).group(1)) < 2000
    for row in cells:
        assert re.fullmatch(TIME, row[7]), row

    # Stop, with the OK box.
    app.click("停止监测")
    box = app.answer(TIP, "OK")
    assert box["text"] == STOP_QUESTION
    wait_until(lambda: app.state()["panes"][1] == "已停止监测", what="stopped")
    controls = app.state()["controls"]
    assert controls["启动监测"]["enabled"] and controls["启动监测"]["text"] == "继续监测"
    assert not controls["停止监测"]["enabled"] and not controls["添加主机"]["enabled"]
    assert controls["编辑框_主机地址"]["enabled"] and controls["单选框_ICMP"]["enabled"]
    # (Tasks finish the cycle they are in, so failures may still come after the stop entry.)
    assert any(e.endswith("---监测停止") for e in read_log(app.folder))

    # One correct message per failed cycle: the pushes and the log's failure entries match one
    # for one (a push goes out before its entry is written, so they are compared once equal).
    def matched():
        log = read_log(app.folder)
        failures = failure_entries(log, hosts)
        bodies = [bytes.fromhex(r["body_hex"]) for r in push.requests()]
        return (log, failures, bodies) if len(bodies) == len(failures) else None

    log, failures, bodies = wait_until(matched, 30, what="every push logged")
    assert sorted(expected_body(t, h) for t, h in failures) == sorted(bodies)
    for request in push.requests():
        assert request["request_line"].startswith("POST /api/send/message ")
    assert {h[0] + h[1] for _, h in failures} == {"127.0.0.1关闭端口", BAD_NAME}

    # Newest first: the start entry is the oldest, the stop entry above every failure before it.
    times = [e[:19] for e in log]
    assert times == sorted(times, reverse=True)
    kinds = [e[19:] for e in log]
    assert kinds[-1] == "---监测启动" and kinds.count("---监测启动") == 1 and kinds.count("---监测停止") == 1

    # Continue: monitoring goes on for every host, and the log gets a second start entry.
    app.click("启动监测")
    wait_until(lambda: app.state()["panes"][1].startswith("已启动监测，当前线程数："), what="continued")
    assert not app.state()["controls"]["启动监测"]["enabled"]
    stopped_at = max(row[7] for row in app.rows()[0])
    cells, images = app.wait_rows(lambda c, i: all(row[7] > stopped_at for row in c), timeout=60,
                                  what="every host probed again")
    assert images == [1, 1, 0, 0]
    kinds = [e[19:] for e in read_log(app.folder)]
    assert kinds.count("---监测启动") == 2 and kinds.index("---监测启动") < kinds.index("---监测停止")

    # The status-mail box was never ticked: 时钟1 stayed off.
    assert not [t for t in app.window_timers() if t[0] == MAIL_TIMER_ID]


def test_start_without_push_keys_shows_the_box_and_arms_the_mail_timer(wine, hosts):
    with UptorraApp(wine=wine) as app:
        write_config(app.folder)
        write_hosts(app.folder, hosts)
        app.mark_first_run()
        app.start(trace_timers=True)
        app.click("选择框1")
        wait_until(lambda: app.state()["controls"]["选择框1"]["checked"], what="the box ticked")
        app.click("启动监测")
        box = app.answer(TIP, "OK")
        assert box["text"] == NOT_CONFIGURED
        wait_until(lambda: not app.driver("boxes"), what="the box to close")

        wait_until(lambda: (MAIL_TIMER_ID, THREE_DAYS_MS) in app.window_timers(), 10, what="时钟1 armed")
        state = app.state()
        assert state["controls"]["启动监测"]["enabled"] and state["controls"]["启动监测"]["text"] == "启动监测"
        assert not state["controls"]["停止监测"]["enabled"] and state["controls"]["添加主机"]["enabled"]
        assert state["panes"][1] == "欢迎超帅的你，快双击作者签名加群！"
        assert all(row[6] == "等待测试" for row in app.rows()[0])
        assert read_log(app.folder) == []
