"""The probes against hosts that never answer and a router that answers with errors, all in
namespaces this test creates (nothing leaves the machine)."""
import pytest

from netns_session import ERROR_HOST, SILENT_HOST, NetnsSession, namespaces_available

pytestmark = pytest.mark.skipif(not namespaces_available(), reason="needs root and network namespaces")


@pytest.fixture(scope="module")
def session():
    with NetnsSession() as s:
        yield s


def probe(session, *args):
    out = session.wine("probe_tool.exe", *args)
    assert out.returncode == 0, out.stderr
    return [int(x) for x in out.stdout.strip().splitlines()[-1].split()]


def test_loopback_answers_inside_the_namespace(session):
    ms, _ = probe(session, "icmp", "127.0.0.1")
    assert 0 <= ms < 2000


def test_silent_host_times_out_after_the_echo_limit(session):
    ms, elapsed = probe(session, "icmp", SILENT_HOST)
    assert ms == -1
    assert elapsed >= 1900  # it waited for the answer, it did not fail at once


def test_error_reply_from_a_router_is_no_answer(session):
    # With a payload Wine hands the router's host-unreachable back as a reply: it must not
    # count as an answer although it came back at once.
    ms, elapsed = probe(session, "icmp", ERROR_HOST, "32")
    assert ms == -1
    assert elapsed < 1900
    # Without one (as the program sends) Wine drops the error and the echo times out.
    assert probe(session, "icmp", ERROR_HOST)[0] == -1


def test_unknown_name_fails_without_leaving_the_machine(session):
    assert probe(session, "icmp", "no-such-host.invalid")[0] == -1
    assert probe(session, "tcp", "80", "no-such-host.invalid")[0] == 0


def test_connect_to_a_silent_host_gives_up_after_two_seconds(session):
    accepted, elapsed = probe(session, "tcp", "80", SILENT_HOST)
    assert accepted == 0
    assert 1900 <= elapsed < 6000  # not the system's 21 s


def test_echoes_beyond_the_service_limit_wait_instead_of_failing(session):
    # 300 echoes to the silent host hold every slot for 2 s; the 50 to loopback queue behind.
    dead, live = probe(session, "flood", SILENT_HOST, "300", "127.0.0.1", "50")
    assert dead == 0
    assert live == 50
