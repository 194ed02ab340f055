#pragma once
#include <cstdint>

#include "core/MonitorTexts.h"
#include "core/Text.h"

namespace uptorra {

// True when the host (dotted address or name) accepts a TCP connection on the port within the
// time-out; the connection is closed again at once. The time-out replaces the system's connect
// time-out (about 21 s on Windows), so a dead host costs a cycle no more than a lost echo does.
// Ports outside 1..65535 are never accepted.
bool TcpPortProbe(std::int32_t port, const Text& host, std::int32_t timeoutMs = kTcpConnectTimeoutMs);

}  // namespace uptorra
