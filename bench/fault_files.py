"""The hostile files of the fault bench (bench/fault_bench.py): a hosts file of 500 real hosts
among about 100,000 hostile lines, a configuration file with the push settings in front of a
megabyte line, bytes that are no GBK, 100,000 keys and a zero byte, and a 50 MiB log."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
from uptorra_app import HOSTS_HEADER  # noqa: E402

TOKEN = "AT_uptorra_test"
TOPIC = "4242"
HOST_COUNT = 500
FAILING_HOSTS = 40
LISTENING_HOSTS = 80
# Failing hosts get intervals of their own, so that their cycles drift apart and some of them
# fail in every phase of the schedule.
FAILING_INTERVALS = range(12, 25)
FIRST_CLOSED_PORT = 20001
LOG_SIZE = 50 * 1024 * 1024
HOSTS_LINES = 100_000


def failing_interval(port):
    return FAILING_INTERVALS[(port - FIRST_CLOSED_PORT) % len(FAILING_INTERVALS)]


def gbk(text):
    return text.encode("gbk")


def hosts_file_bytes(listen_port):
    """The hosts file: 500 real hosts among about 100,000 hostile lines, and after a zero byte
    host lines that must never load. Returns (bytes, expected rows as (address, type, status))."""
    header = gbk(HOSTS_HEADER)
    real = []
    for i in range(HOST_COUNT):
        if i < FAILING_HOSTS:
            port = FIRST_CLOSED_PORT + i
            # One failing host carries invalid GBK in its name: the alert and the entry must survive it.
            name = b"\x80\xff\x81" + gbk("坏名") if i == 7 else gbk(f"断{i}")
            real.append(b",".join([b"127.0.0.1", name, gbk(f"{port}端口"), b"1", str(failing_interval(port)).encode(),
                                   gbk("等待测试")]))
        elif i < FAILING_HOSTS + LISTENING_HOSTS:
            real.append(b",".join([b"127.0.0.1", gbk(f"听{i}"), gbk(f"{listen_port}端口"), b"0",
                                   str(10 + i % 11).encode(), gbk("等待测试")]))
        else:
            address = f"127.{1 + i % 250}.{i // 250}.{1 + i % 200}"
            real.append(b",".join([address.encode(), gbk(f"回{i}"), b"ICMP", str(i % 3).encode(),
                                   str(10 + i % 21).encode(), gbk("等待测试")]))
    stopped_huge = b",".join([b"127.0.0.2", b"N" * 65536, b"ICMP", b"0", b"1", gbk("停止监测")])
    junk_kinds = [
        b"",                                                       # empty line
        b"a,b,c,d,e,f,g",                                          # seven fields
        b"127.0.0.3,x,ICMP,0,1",                                   # five fields
        b",,,,,,,,,,,,,,,,,,,,",                                   # only commas
        b"127.0.0.9,\x81\x40\x81,ICMP,0,10",                      # a lead byte without its trail
        b"\xff\xfe\xfd,\x80\x80,\xa1,\xfe\x7f",                    # bytes that are no GBK
        gbk("# 注释行，不是主机"),
    ]
    lines = [header]
    spread = (HOSTS_LINES - HOST_COUNT - 3) // HOST_COUNT
    for i, line in enumerate(real):
        lines.append(line)
        lines.extend(junk_kinds[(i + k) % len(junk_kinds)] for k in range(spread))
        if i == 100:
            lines.append(b"Z" * (2 * 1024 * 1024))                # a 2 MiB line without commas
            lines.append(stopped_huge)                              # loads, never probed
            # A lead byte at the line's end takes the CR with it: this line and the next are one.
            lines.append(b"x,y\x81")
            lines.append(b"z,ICMP,0,1")
    while len(lines) < HOSTS_LINES:
        lines.append(junk_kinds[len(lines) % len(junk_kinds)])
    text = b"\r\n".join(lines)
    # Everything after a zero byte is not part of the text.
    text += b"\r\n\x00" + b"\r\n".join(b",".join([b"127.0.0.1", gbk("零后"), b"ICMP", b"0", b"1", gbk("等待测试")])
                                       for _ in range(10))
    expected = []
    for line in real[:101]:
        expected.append(line)
    expected.append(stopped_huge)
    expected.extend(real[101:])
    return text, expected


def config_file_bytes(push_port):
    lines = [b"[Wx_Pusher]", b"appToken=" + TOKEN.encode(), b"topicId=" + TOPIC.encode(),
             f"apiUrl=http://127.0.0.1:{push_port}/api/send/message".encode(), b""]
    lines.append(gbk("[SMTP邮件]"))
    lines.append(gbk("SMTP服务器=smtp.invalid(示例)"))
    lines.append(b"[Junk]")
    lines.append(b"huge=" + b"Q" * (1024 * 1024))                   # a 1 MiB value
    lines.append(b"\xff\xfe=\x80\x81\x82")                          # no GBK at all
    lines.extend(f"key{i}=value {i}".encode() for i in range(HOSTS_LINES))
    lines.append(b"after=zero\x00byte")
    return b"\r\n".join(lines) + b"\r\n"


def old_log_bytes():
    entry = gbk("2020-01-01 00:00:00---127.0.0.1旧的---ICMP---微信推送成功") + b"\r\n"
    count = LOG_SIZE // len(entry)
    return entry * count + b"x" * (LOG_SIZE - count * len(entry) - 2) + b"\r\n"
