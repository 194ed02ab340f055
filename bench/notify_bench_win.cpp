// Costs of the alert path: the conversions and the answer judgement on their own, and whole
// alerts against a push service (the local stand-in, started without its rate limit):
//
//   /usr/bin/python3 tests/peers/push_service.py --rate-limit 0 --port 18080 &
//   tools/wine-run.sh build/windows/bench_notify.exe http://127.0.0.1:18080/api/send/message
//
// Without a URL only the local parts are measured.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "notify/Charset.h"
#include "notify/PushAnswer.h"
#include "notify/PushMessage.h"
#include "notify/SendAlert.h"

#include "BenchSupport_win.h"

namespace {

template <typename F>
void Measure(const char* what, int rounds, F&& f) {
  const double start = NowMs();
  for (int i = 0; i < rounds; ++i) f();
  std::printf("%-44s %9.4f ms per call (%d calls)\n", what, (NowMs() - start) / rounds, rounds);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace uptorra;
  const Text body = BuildPushBody("AT_uptorra_test", "123", "2024-05-01 08:00:00", "10.0.0.1", "网关", "80端口");
  const Bytes utf8 = TextToUtf8(body);
  const Bytes answer = TextToUtf8(
      "{\"code\":1000,\"msg\":\"处理成功\",\"data\":[{\"uid\":null,\"topicId\":123,\"messageId\":1,"
      "\"messageContentId\":1,\"sendRecordId\":1,\"code\":1000,\"status\":\"创建发送任务成功\"}],\"success\":true}");
  const Text gbkAnswer = TextOf(ConvertCharset(answer));

  Measure("BuildPushBody", 20000, [&] { (void)BuildPushBody("AT_x", "1", "t", "a", "n", "ICMP"); });
  Measure("TextToUtf8 (alert body)", 20000, [&] { (void)TextToUtf8(body); });
  Measure("ConvertCharset UTF-8 -> GBK (typical answer)", 2000, [&] { (void)ConvertCharset(answer); });
  Measure("PushAccepted (typical answer)", 20000, [&] { (void)PushAccepted(gbkAnswer); });
  std::printf("alert body %zu bytes GBK, %zu bytes UTF-8\n", body.size(), utf8.size());

  if (argc < 2) return 0;
  SetPushApiUrl(argv[1]);
  const int sequential = argc > 2 ? std::atoi(argv[2]) : 200;
  std::vector<double> times;
  int accepted = 0;
  for (int i = 0; i < sequential; ++i) {
    const double start = NowMs();
    accepted += PushAccepted(SendAlert("AT_uptorra_test", "123", "2024-05-01 08:00:00", "10.0.0.1", "网关", "80端口"));
    times.push_back(NowMs() - start);
  }
  std::sort(times.begin(), times.end());
  std::printf("SendAlert sequential: %d alerts, %d accepted, median %.2f ms, p95 %.2f ms, max %.2f ms\n", sequential,
              accepted, times[times.size() / 2], times[times.size() * 95 / 100], times.back());

  constexpr int kThreads = 8;
  std::atomic<int> concurrentAccepted{0};
  const double start = NowMs();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < sequential / kThreads; ++i) {
        if (PushAccepted(SendAlert("AT_uptorra_test", "123", "2024-05-01 08:00:00", "10.0.0.1", "", "ICMP"))) {
          ++concurrentAccepted;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const double elapsed = NowMs() - start;
  const int sent = sequential / kThreads * kThreads;
  std::printf("SendAlert on %d threads: %d alerts, %d accepted, %.1f alerts/s\n", kThreads, sent,
              concurrentAccepted.load(), 1000.0 * sent / elapsed);
  return 0;
}
