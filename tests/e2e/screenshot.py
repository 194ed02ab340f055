#!/usr/bin/python3
"""Makes docs/screenshot.png: the real window under Wine monitoring a few hosts on loopback, in
several states (answering ICMP, an open port, two refusing ports, a host switched off in the
hosts file), after monitoring was started with the window's button. The push service is the
local one, so the failures show "通信失败,微信推送成功".

    UPTORRA_BUILD_DIR=$PWD/build/windows /usr/bin/python3 tests/e2e/screenshot.py [output.png]
"""
import os
import socket
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from loopback_peers import PushService  # noqa: E402
from uptorra_app import ROOT, Display, UptorraApp, wait_until, write_config, write_hosts  # noqa: E402


def bound_socket(preferred):
    """A socket on 127.0.0.1, on the preferred port when it is free."""
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", preferred))
    except OSError:
        s.bind(("127.0.0.1", 0))
    return s


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs", "screenshot.png")
    # Familiar port numbers where they are free: a web server listening, a database and a
    # printer that refuse (bound, never listening).
    web, database, printer = bound_socket(8088), bound_socket(3306), bound_socket(9100)
    web.listen(64)
    web.settimeout(0.2)
    push = PushService()
    try:
        with Display(), UptorraApp() as app:
            write_config(app.folder, token=PushService.TOKEN, topic="1", api_url=push.url)
            write_hosts(app.folder, [
                ("127.0.0.1", "本机回环", "ICMP", "1", "5", "等待测试"),
                ("127.0.0.1", "网站服务", f"{web.getsockname()[1]}端口", "1", "5", "等待测试"),
                ("127.0.0.1", "数据库", f"{database.getsockname()[1]}端口", "1", "5", "等待测试"),
                ("127.0.0.2", "备用网关", "ICMP", "2", "10", "停止监测"),
                ("127.0.0.3", "打印服务器", f"{printer.getsockname()[1]}端口", "2", "60", "等待测试"),
            ])
            app.mark_first_run()
            app.start()
            app.click("启动监测")

            def settled(cells, images):
                try:  # the probe closes its connections at once; nobody has to read them
                    web.accept()[0].close()
                except OSError:
                    pass
                return (cells[0][6].startswith("ICMP通信正常") and cells[1][6] == "端口通信正常"
                        and cells[2][6].startswith("通信失败,") and cells[4][6].startswith("通信失败,"))

            app.wait_rows(settled, timeout=60, what="every monitored host probed")
            # A click on the empty area below the rows leaves no row selected.
            app.mouse_click(app.driver("listpoint", "below"))
            wait_until(lambda: app.state()["list"]["selected"] == -1, what="no row selected")
            os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
            app.screenshot(output)
            print(output)
    finally:
        push.stop()
        for s in (web, database, printer):
            s.close()


if __name__ == "__main__":
    main()
