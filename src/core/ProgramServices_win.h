#pragma once
// What the probe tasks use in the program: the ICMP and TCP probes, the WeChat push, the time
// text, the event log and the paced wait.
#include "core/ProbeWorker.h"

namespace uptorra {

class ProgramServices : public MonitorServices {
 public:
  // value, unit code: the paced wait (unit 2 = seconds), which keeps window messages flowing.
  using PacedWaitRoutine = void (*)(std::int32_t value, int unit);
  explicit ProgramServices(PacedWaitRoutine wait) : wait_(wait) {}

  std::int32_t IcmpEcho(const Text& host, std::int32_t timeoutMs) override;
  bool TcpConnect(std::int32_t port, const Text& host) override;
  Text SendAlert(const Text& appToken, const Text& topicId, const Text& timeText, const Text& address,
                 const Text& displayName, const Text& probeType) override;
  bool PushAccepted(const Text& answer) override;
  Text TimeText() override;
  void EventLog(const Text& entry) override;
  void WaitSeconds(std::int32_t seconds) override;

 private:
  PacedWaitRoutine wait_;
};

}  // namespace uptorra
