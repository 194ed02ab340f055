#pragma once
// The IPv4 address a probe goes to, from the host text of a row.
#include <winsock2.h>

#include "core/Text.h"

namespace uptorra {

// Starts Windows sockets once for the process; true when they can be used.
bool EnsureWinsock();

// A dotted IPv4 address is taken as it is; any other text is looked up as a host name and
// its first IPv4 address is used. The empty text means this machine (loopback). False when the
// name does not resolve.
bool ResolveIpv4(const Text& host, IN_ADDR& address);

}  // namespace uptorra
