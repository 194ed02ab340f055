#include "core/IcmpProbe_win.h"

// Order matters: the socket headers before windows.h, then the ICMP declarations.
#include "core/HostAddress_win.h"
// clang-format off
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <limits>
#include <mutex>


namespace uptorra {
namespace {

// One ICMP handle for the whole process: every echo is its own request on it, so threads share
// it safely, and opening one per probe would double the calls into the device.
HANDLE SharedIcmpHandle() {
  static std::mutex mutex;
  static HANDLE handle = INVALID_HANDLE_VALUE;
  std::lock_guard lock(mutex);
  if (handle == INVALID_HANDLE_VALUE) handle = IcmpCreateFile();  // a failure is tried again next time
  return handle;
}

// The slots are counted in user mode: a kernel semaphore would cost two calls into the Wine
// server per echo, for a limit that is reached only when hundreds of hosts are silent.
class EchoSlots {
 public:
  void Acquire() {
    AcquireSRWLockExclusive(&lock_);
    while (free_ == 0) SleepConditionVariableSRW(&freed_, &lock_, INFINITE, 0);
    --free_;
    ReleaseSRWLockExclusive(&lock_);
  }
  void Release() {
    AcquireSRWLockExclusive(&lock_);
    ++free_;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&freed_);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE freed_ = CONDITION_VARIABLE_INIT;
  long free_ = kMaxEchoesInFlight;
};

EchoSlots gEchoSlots;

class EchoSlot {
 public:
  EchoSlot() { gEchoSlots.Acquire(); }
  ~EchoSlot() { gEchoSlots.Release(); }
  EchoSlot(const EchoSlot&) = delete;
  EchoSlot& operator=(const EchoSlot&) = delete;
};

}  // namespace

std::int32_t IcmpEchoProbe(const Text& host, std::int32_t timeoutMs) {
  return IcmpEchoProbeWithPayload(host, timeoutMs, 0);
}

std::int32_t IcmpEchoProbeWithPayload(const Text& host, std::int32_t timeoutMs, int payloadBytes) {
  if (payloadBytes < 0 || payloadBytes > kMaxEchoPayload) return -1;
  IN_ADDR target;
  if (!ResolveIpv4(host, target)) return -1;
  const HANDLE icmp = SharedIcmpHandle();
  if (icmp == INVALID_HANDLE_VALUE) return -1;

  // One reply, the request data echoed back, and 8 bytes for an ICMP error message.
  char request[kMaxEchoPayload] = {};
  alignas(ICMP_ECHO_REPLY) unsigned char replies[sizeof(ICMP_ECHO_REPLY) + kMaxEchoPayload + 8];
  const DWORD replySize = static_cast<DWORD>(sizeof(ICMP_ECHO_REPLY) + payloadBytes + 8);
  DWORD count;
  {
    EchoSlot slot;
    count = IcmpSendEcho(icmp, target.s_addr, request, static_cast<WORD>(payloadBytes), nullptr, replies, replySize,
                         static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs));
  }
  if (count == 0) return -1;
  const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(replies);
  // An error reply (unreachable, TTL expired) comes back as a reply too, from a router.
  if (reply->Status != IP_SUCCESS || reply->Address != target.s_addr) return -1;
  constexpr ULONG kMaxRoundTrip = static_cast<ULONG>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(reply->RoundTripTime > kMaxRoundTrip ? kMaxRoundTrip : reply->RoundTripTime);
}

}  // namespace uptorra
