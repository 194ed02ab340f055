"""Monitoring end to end under Wine with real sockets, the program's pool, paced wait, push
and event log, inside a network namespace this test creates: an ICMP host on loopback, a
listening TCP port, a closed TCP port and a name that does not resolve (the namespace has no
way out, so the lookup fails without leaving the machine), with the local push service."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

import pytest

from netns_session import ROOT, NetnsSession, namespaces_available

pytestmark = pytest.mark.skipif(not namespaces_available(), reason="needs root and network namespaces")

TOKEN = "AT_uptorra_test"
TOPIC = "4242"
LISTEN_PORT = 18080
CLOSED_PORT = 18081
BAD_NAME = "no-such-host.invalid"
SECONDS = 4
HEADER = "主机地址/域名,主机名称,监测类型,重试次数,监测间隔(s),监测状态"
HOSTS = [
    ("127.0.0.1", "本机", "ICMP", "0", "1"),
    ("127.0.0.1", "监听端口", f"{LISTEN_PORT}端口", "0", "1"),
    ("127.0.0.1", "关闭端口", f"{CLOSED_PORT}端口", "1", "1"),
    (BAD_NAME, "", "ICMP", "0", "1"),
]


@pytest.fixture(scope="module")
def session():
    with NetnsSession(prefix_name="wineprefix-e2e") as s:
        yield s


@pytest.fixture()
def push(session):
    ready = tempfile.mktemp(suffix=".json")
    service = session.popen([sys.executable, os.path.join(ROOT, "tests", "peers", "push_service.py"), "--port", "0",
                             "--ready-file", ready, "--rate-limit", "0"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(ready) and os.path.getsize(ready) > 0:
            break
        time.sleep(0.1)
    port = json.load(open(ready))["port"]
    yield port
    service.terminate()
    service.wait()


@pytest.fixture()
def listener(session):
    code = ("import socket,time\n"
            f"s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
            f"s.bind(('127.0.0.1',{LISTEN_PORT})); s.listen(64)\n"
            "s.settimeout(0.2)\n"
            "while True:\n"
            "    try:\n"
            "        c,_=s.accept(); c.close()\n"
            "    except socket.timeout:\n"
            "        pass\n")
    proc = session.popen([sys.executable, "-c", code])
    time.sleep(0.5)
    yield
    proc.terminate()
    proc.wait()


def requests_seen(session, port):
    out = session.run([sys.executable, "-c",
                       f"import urllib.request;print(urllib.request.urlopen('http://127.0.0.1:{port}/_requests').read().decode())"],
                      capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def run_monitor(session, folder, url, token, topic, *extra):
    out = session.wine("monitor_e2e.exe", folder, url, token, topic, str(SECONDS), *extra, timeout=300)
    assert out.returncode == 0, out.stderr
    return out


def parse(stdout_bytes):
    steps, current = {}, None
    for raw in stdout_bytes.replace(b"\r\n", b"\n").split(b"\n"):
        if b"\t" not in raw:
            continue
        key, value = raw.decode("gbk").split("\t", 1)
        if key == "step":
            current = steps.setdefault(value, {"rows": [], "box": []})
        elif key == "row":
            i, address, status, image, when = value.split("\t")
            current["rows"].append({"address": address, "status": status, "image": int(image), "time": when})
        elif key == "box":
            current["box"].append(value)
        elif current is not None:
            current[key] = value
        else:
            steps[key] = value
    return steps


def write_hosts(folder):
    lines = [HEADER] + [",".join(h + ("等待测试",)) for h in HOSTS]
    with open(os.path.join(folder, "MyHosts.csv"), "wb") as f:
        f.write("\r\n".join(lines).encode("gbk"))


def test_monitoring_start_stop_continue(session, push, listener):
    folder = tempfile.mkdtemp(prefix="uptorra-e2e-")
    write_hosts(folder)
    url = f"http://127.0.0.1:{push}/api/send/message"
    out = session.run([os.path.join(ROOT, "tools", "wine-run.sh"), os.path.join(session.build, "monitor_e2e.exe"),
                       "Z:" + folder.replace("/", "\\"), url, TOKEN, TOPIC, str(SECONDS)],
                      capture_output=True, timeout=300, stdin=subprocess.DEVNULL)
    assert out.returncode == 0, out.stderr
    steps = parse(out.stdout)
    assert "running" in steps, out.stdout.decode("gbk", "replace")

    running = steps["running"]
    assert running["pane1"].startswith("已启动监测，当前线程数：")
    assert running["stop_enabled"] == "1" and running["start_enabled"] == "0" and running["add_enabled"] == "0"
    # A snapshot may catch a row in the middle of an attempt; its image is the last result's.
    assert [row["image"] for row in running["rows"]] == [1, 1, 0, 0]
    for row in running["rows"]:
        assert len(row["time"]) == 19

    # Once every task has ended, every row holds its last result.
    stopped = steps["stopped"]
    assert stopped["pane1"] == "已停止监测"
    assert stopped["start_caption"] == "继续监测" and stopped["start_enabled"] == "1"
    assert stopped["stop_enabled"] == "0" and stopped["add_enabled"] == "0"
    icmp, listening, closed, bad = stopped["rows"]
    assert icmp["status"].startswith("ICMP通信正常, ") and icmp["status"].endswith("ms") and icmp["image"] == 1
    assert 0 <= int(icmp["status"][len("ICMP通信正常, "):-2]) < 2000
    assert listening["status"] == "端口通信正常" and listening["image"] == 1
    for row in (closed, bad):
        assert row["status"] == "通信失败,微信推送成功" and row["image"] == 0

    continued = steps["continued"]
    assert continued["pane1"].startswith("已启动监测，当前线程数：")
    assert [row["image"] for row in continued["rows"]] == [1, 1, 0, 0]
    assert continued["live_tasks"] == "4"  # every host under exactly one task again

    with open(os.path.join(folder, "MyLog.log"), "rb") as f:
        log = f.read().decode("gbk")
    entries = log.split("\r\n")
    assert entries[-1] == ""
    entries = entries[:-1]
    times = [e[:19] for e in entries]
    assert times == sorted(times, reverse=True), "newest first"
    kinds = [e[19:] for e in entries]
    # Oldest: the start; then failures, the stop, the continue's start, more failures.
    assert kinds[-1] == "---监测启动"
    assert kinds.count("---监测启动") == 2 and kinds.count("---监测停止") == 1
    stop_at = kinds.index("---监测停止")
    assert kinds[:stop_at].count("---监测启动") == 1
    failures = [k for k in kinds if k not in ("---监测启动", "---监测停止")]
    for k in failures:
        assert k in (f"---127.0.0.1关闭端口---{CLOSED_PORT}端口---微信推送成功", f"---{BAD_NAME}---ICMP---微信推送成功"), k
    assert any(BAD_NAME in k for k in failures) and any("关闭端口" in k for k in failures)

    # One correct message reached the push service per failed cycle.
    received = requests_seen(session, push)
    assert len(received) == len(failures)
    for request in received:
        assert request["request_line"].startswith("POST /api/send/message ")
        body = json.loads(bytes.fromhex(request["body_hex"]).decode("utf-8"))
        assert body["appToken"] == TOKEN and body["contentType"] == 1 and body["topicIds"] == [int(TOPIC)]
        content = body["content"]
        assert content.startswith("【KWO提醒】") and content.endswith(" 通信失败，请及时查看！")
        assert (f"告警：127.0.0.1（关闭端口） {CLOSED_PORT}端口 " in content) or (f"告警：{BAD_NAME} ICMP " in content)


def test_start_with_empty_push_keys_shows_the_box_and_arms_the_timer(session):
    folder = tempfile.mkdtemp(prefix="uptorra-e2e-")
    write_hosts(folder)
    out = session.run([os.path.join(ROOT, "tools", "wine-run.sh"), os.path.join(session.build, "monitor_e2e.exe"),
                       "Z:" + folder.replace("/", "\\"), "http://127.0.0.1:9/api/send/message", "", "", "1", "mail"],
                      capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
    assert out.returncode == 0, out.stderr
    refused = parse(out.stdout)["refused"]
    assert refused["box"] == ["请将Wx_Pusher的配置写入MyConfig.ini文件！|KWO提示"]
    assert refused["timer"] == "259200000"
    assert all(row["status"] == "等待测试" for row in refused["rows"])
    assert not os.path.exists(os.path.join(folder, "MyLog.log"))
