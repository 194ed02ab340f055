// Monitoring many loopback hosts by ICMP at a given interval (1 s unless told), and the floor
// the platform sets.
//   bench_monitor monitor N SECONDS [INTERVAL]   the program's monitoring: host table, probe
//                                                tasks on the TaskPool, the paced wait, the real echo
//   bench_monitor bare N SECONDS [INTERVAL]      N threads that only call the echo and sleep out
//                                                the rest of the interval
// Prints BASE when the hosts are set up, START when every host has been probed once (the
// measured window begins), END when it is over, then the figures as key=value lines. The
// driver (bench/run_monitor_bench.py) adds the CPU time of Wine's helper processes.
// Every target is an address of 127.0.0.0/8: the traffic never leaves the machine.
#include <winsock2.h>
// clang-format off
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/Gbk_win.h"
#include "core/IcmpProbe_win.h"
#include "core/MonitorControl.h"
#include "core/MonitorTexts.h"
#include "core/ProgramServices_win.h"
#include "core/TaskPoolMonitor_win.h"
#include "core/PacedWait_win.h"
#include "log/EventLog.h"
#include "support/QuietWindow.h"

using namespace uptorra;

#include "BenchSupport_win.h"

namespace {

constexpr std::int32_t kDefaultIntervalSeconds = 1;
std::int32_t gIntervalSeconds = kDefaultIntervalSeconds;

Text TargetOf(int i) {
  // 127.1.0.1, 127.1.0.2, ... : every 127.0.0.0/8 address answers on Linux loopback.
  return "127." + DecimalText(1 + i / 65025) + "." + DecimalText((i / 255) % 255) + "." + DecimalText(1 + i % 255);
}

// Per host: when its probes started, within the measured window.
struct ProbeClock {
  std::atomic<bool> measuring{false};
  std::atomic<long> probedOnce{0};
  std::unique_ptr<std::atomic<double>[]> last;
  std::unique_ptr<std::atomic<long>[]> count;
  std::unique_ptr<std::atomic<double>[]> gapSum, gapMax;
  std::unique_ptr<std::atomic<long>[]> gaps;
  int hosts = 0;

  explicit ProbeClock(int n) : hosts(n) {
    last.reset(new std::atomic<double>[n]);
    count.reset(new std::atomic<long>[n]);
    gapSum.reset(new std::atomic<double>[n]);
    gapMax.reset(new std::atomic<double>[n]);
    gaps.reset(new std::atomic<long>[n]);
    for (int i = 0; i < n; ++i) last[i] = -1, count[i] = 0, gapSum[i] = 0, gapMax[i] = 0, gaps[i] = 0;
  }
  // One host's probe starts now (each host is probed by one thread at a time).
  void Probe(int i) {
    const double now = NowMs();
    const double before = last[i].exchange(now);
    if (before < 0) ++probedOnce;
    if (!measuring.load()) return;
    ++count[i];
    if (before >= 0) {
      const double gap = now - before;
      gapSum[i] = gapSum[i] + gap;
      if (gap > gapMax[i]) gapMax[i] = gap;
      ++gaps[i];
    }
  }
  void Report(double seconds) const {
    long probes = 0, gapCount = 0;
    double sum = 0, worst = 0;
    int quiet = 0;
    for (int i = 0; i < hosts; ++i) {
      probes += count[i];
      gapCount += gaps[i];
      sum += gapSum[i];
      worst = std::max(worst, gapMax[i].load());
      if (count[i] == 0) ++quiet;
    }
    std::printf("probes=%ld\nprobes_per_s=%.1f\nperiod_mean_ms=%.1f\nperiod_worst_ms=%.1f\nhosts_not_probed=%d\n",
                probes, probes / seconds, gapCount ? sum / gapCount : 0.0, worst, quiet);
  }
};

ProbeClock* gClock = nullptr;

// The program's services, with the probe start of every host noted.
class MeasuredServices : public ProgramServices {
 public:
  using ProgramServices::ProgramServices;
  std::int32_t IcmpEcho(const Text& host, std::int32_t timeoutMs) override {
    gClock->Probe(index_.at(host));
    return ProgramServices::IcmpEcho(host, timeoutMs);
  }
  // A failed cycle (at thousands of hosts Wine's ICMP service refuses echoes beyond the 256 it
  // holds in flight) is counted, and its alert goes nowhere: the bench must not post to the
  // push service's real address.
  Text SendAlert(const Text&, const Text&, const Text&, const Text&, const Text&, const Text&) override {
    ++alerts_;
    return {};
  }
  long Alerts() const { return alerts_.load(); }
  // For finding where the time goes: UPTORRA_BENCH_STUB=time leaves out the time text,
  // UPTORRA_BENCH_STUB=wait replaces the paced wait by Sleep.
  Text TimeText() override { return stubTime_ ? Text("2024-05-01 08:00:00") : ProgramServices::TimeText(); }
  void WaitSeconds(std::int32_t seconds) override {
    if (stubWait_) {
      Sleep(static_cast<DWORD>(seconds) * 1000);
    } else {
      ProgramServices::WaitSeconds(seconds);
    }
  }
  void ReadStubs() {
    char value[32] = {};
    GetEnvironmentVariableA("UPTORRA_BENCH_STUB", value, sizeof value);
    stubTime_ = std::strstr(value, "time") != nullptr;
    stubWait_ = std::strstr(value, "wait") != nullptr;
    if (value[0]) std::printf("note=stubbed %s\n", value);
  }
  void Index(int n) {
    for (int i = 0; i < n; ++i) index_.emplace(TargetOf(i), i);
  }

 private:
  struct Hash {
    std::size_t operator()(const Text& t) const { return std::hash<std::string>()(t); }
  };
  std::unordered_map<Text, int, Hash> index_;
  bool stubTime_ = false, stubWait_ = false;
  std::atomic<long> alerts_{0};
};

// A window that no one sees: monitoring control only needs somewhere to put its texts.
using NoWindow = uptorra::test::QuietWindow;

void PrintMemory(const char* key) {
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
  std::printf("%s_working_set_kb=%llu\n%s_private_kb=%llu\n", key,
              static_cast<unsigned long long>(m.WorkingSetSize / 1024), key,
              static_cast<unsigned long long>(m.PrivateUsage / 1024));
}

void Mark(const char* what) {
  std::printf("%s\n", what);
  std::fflush(stdout);
}

// Waits until every host has been probed once, then measures for the given time.
void MeasureWindow(ProbeClock& clock, int seconds) {
  const double warmLimit = NowMs() + 120000;
  while (clock.probedOnce.load() < clock.hosts && NowMs() < warmLimit) Sleep(50);
  Sleep(1000);
  PrintMemory("running");
  Mark("START");
  const double start = NowMs();
  clock.measuring = true;
  Sleep(static_cast<DWORD>(seconds) * 1000);
  clock.measuring = false;
  const double elapsed = (NowMs() - start) / 1000.0;
  Mark("END");
  std::printf("hosts=%d\nwindow_s=%.2f\n", clock.hosts, elapsed);
  clock.Report(elapsed);
}

int RunMonitor(int hosts, int seconds) {
  HostTable table;
  AppState state;
  state.pushAppToken = "AT_bench";
  state.pushTopicId = "1";
  for (int i = 0; i < hosts; ++i) {
    const int row = table.AppendRow(DecimalText(i + 1));
    table.SetCell(row, kColAddress, TargetOf(i));
    table.SetCell(row, kColProbeType, Text(kProbeTypeIcmp));
    table.SetCell(row, kColRetries, "0");
    table.SetCell(row, kColInterval, DecimalText(gIntervalSeconds));
    table.SetCell(row, kColStatus, "等待测试");
  }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  SetEventLogPath(GbkFromWide(temp) + "uptorra-bench.log");
  ProbeClock clock(hosts);
  gClock = &clock;
  MeasuredServices services(&PacedWait);
  services.Index(hosts);
  services.ReadStubs();
  MonitorContext monitor(table, state, services);
  SetProbeContext(&monitor);
  PrintMemory("base");
  Mark("BASE");
  static TaskPool pool;  // like the program's: never torn down while tasks run
  TaskPoolMonitor monitorPool(pool);
  NoWindow window;
  StartOrContinueMonitoring(window, monitor, monitorPool);
  MeasureWindow(clock, seconds);
  std::printf("failed_cycles=%ld\n", services.Alerts());
  std::fflush(stdout);
  Sleep(500);  // the driver reads the CPU times of this process once more
  // The tasks still run; end the process without waiting for them, as the program's exit does.
  ExitProcess(0);
}

int RunBare(int hosts, int seconds) {
  ProbeClock clock(hosts);
  PrintMemory("base");
  Mark("BASE");
  std::vector<Text> targets;
  for (int i = 0; i < hosts; ++i) targets.push_back(TargetOf(i));
  // The platform's echo call alone: one shared ICMP handle, no payload, as the program's.
  static HANDLE icmp = IcmpCreateFile();
  struct Arg {
    ProbeClock* clock;
    const Text* target;
    int index;
  };
  std::vector<Arg> args(hosts);
  for (int i = 0; i < hosts; ++i) {
    args[i] = {&clock, &targets[i], i};
    // The same threads as the pool's: one per host, 1 MiB stack reservation.
    HANDLE t = CreateThread(
        nullptr, kWorkerStackBytes,
        [](void* p) -> DWORD {
          const Arg& a = *static_cast<Arg*>(p);
          for (;;) {
            const double start = NowMs();
            a.clock->Probe(a.index);
            char request[1] = {};
            unsigned char reply[sizeof(ICMP_ECHO_REPLY) + 8];
            IcmpSendEcho(icmp, inet_addr(a.target->c_str()), request, 0, nullptr, reply, sizeof reply,
                         kIcmpTimeoutMs);
            const double left = start + gIntervalSeconds * 1000.0 - NowMs();
            if (left > 0) Sleep(static_cast<DWORD>(left));
          }
        },
        &args[i], STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (t) CloseHandle(t);
  }
  MeasureWindow(clock, seconds);
  std::fflush(stdout);
  Sleep(500);
  ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: bench_monitor monitor|bare HOSTS SECONDS [INTERVAL]\n");
    return 2;
  }
  const Text mode = argv[1];
  const int hosts = IntValue(argv[2]), seconds = IntValue(argv[3]);
  if (argc == 5) gIntervalSeconds = IntValue(argv[4]);
  std::printf("interval_s=%d\n", static_cast<int>(gIntervalSeconds));
  if (mode == "monitor") return RunMonitor(hosts, seconds);
  if (mode == "bare") return RunBare(hosts, seconds);
  return 2;
}
