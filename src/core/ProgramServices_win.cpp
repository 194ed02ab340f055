#include "core/ProgramServices_win.h"

#include "core/IcmpProbe_win.h"
#include "core/TcpProbe_win.h"
#include "log/EventLog.h"
#include "log/TimeText.h"
#include "notify/PushAnswer.h"
#include "notify/SendAlert.h"

namespace uptorra {

namespace {
constexpr int kPacedWaitSeconds = 2;  // unit code of the paced wait
}  // namespace

std::int32_t ProgramServices::IcmpEcho(const Text& host, std::int32_t timeoutMs) {
  return IcmpEchoProbe(host, timeoutMs);
}

bool ProgramServices::TcpConnect(std::int32_t port, const Text& host) { return TcpPortProbe(port, host); }

Text ProgramServices::SendAlert(const Text& appToken, const Text& topicId, const Text& timeText, const Text& address,
                                const Text& displayName, const Text& probeType) {
  return uptorra::SendAlert(appToken, topicId, timeText, address, displayName, probeType);
}

bool ProgramServices::PushAccepted(const Text& answer) { return uptorra::PushAccepted(answer); }

Text ProgramServices::TimeText() { return uptorra::TimeText(); }

void ProgramServices::EventLog(const Text& entry) { uptorra::EventLog(entry); }

void ProgramServices::WaitSeconds(std::int32_t seconds) {
  if (wait_ != nullptr) wait_(seconds, kPacedWaitSeconds);
}

}  // namespace uptorra
