"""The short form of the fault bench (bench/fault_bench.py): the real program with 500 loopback
hosts, hostile hosts and configuration files, a 50 MiB log, a push service that answers slowly,
with errors, garbage, resets or not at all and goes away and comes back, and the program folder
made read-only for a while. The soak (30 minutes) is the same run with --minutes 30."""
import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "bench"))
import fault_bench  # noqa: E402
from uptorra_app import PROGRAM  # noqa: E402

pytestmark = pytest.mark.skipif(not os.path.exists(PROGRAM), reason="the program is not built")


def test_program_survives_a_misbehaving_world():
    # One pass through the push service's schedule, sampled every 10 s; a prefix of its own,
    # so that a soak running meanwhile keeps its Wine server.
    minutes = sum(seconds for _, seconds in fault_bench.SCHEDULE) / 60
    result = fault_bench.run(minutes, sample_every=10, prefix_name="wineprefix-fault-short")
    figures = result["figures"]
    print(fault_bench.json.dumps({k: result.get(k) for k in ("loaded_rows", "log_entries", "failures_logged",
                                                              "alerts_received", "lost_in_readonly", "figures")},
                                 ensure_ascii=False, default=str))
    assert result["rows_match"], f"{result['loaded_rows']} rows loaded"
    assert result["problems"] == []
    assert result["failures_logged"] > 0 and result["alerts_received"] > 0
    # Loose bounds, for leaks that grow with every alert or cycle (a short run cannot show a
    # slow drift; the soak does).
    assert fault_bench.flat(figures, "handles", 0.25, 50), figures.get("handles")
    assert fault_bench.flat(figures, "private_bytes", 0.5, 64 * 2**20), figures.get("private_bytes")
