#pragma once
#include <cstdint>

#include "core/Text.h"

namespace uptorra {

// Echoes in flight at once, process-wide. Wine's ICMP service refuses more than 256 pending
// echoes (the extra calls fail at once), which would report answering hosts as dead whenever
// many hosts are down; a probe that finds no free slot waits for one instead.
inline constexpr long kMaxEchoesInFlight = 200;

// One ICMP echo without payload to the host (dotted address or name). The round-trip time in
// ms when the host itself answers within the time-out, else -1: a reply that reports an error
// (unreachable, TTL expired) or comes from another address is no answer.
std::int32_t IcmpEchoProbe(const Text& host, std::int32_t timeoutMs);

// The same with a payload of that many bytes (at most kMaxEchoPayload). The program sends none;
// tests use a payload because Wine matches an ICMP error to its echo only when the echo
// carried data (without, the error is dropped and the echo times out, which fails it too).
inline constexpr int kMaxEchoPayload = 64;
std::int32_t IcmpEchoProbeWithPayload(const Text& host, std::int32_t timeoutMs, int payloadBytes);

}  // namespace uptorra
