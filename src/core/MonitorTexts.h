#pragma once
// The texts that monitoring shows in the status column, the status bar, its message boxes and
// the event log. They are GBK bytes in the program (narrow literals are compiled as GBK).
#include <cstdint>
#include <string_view>

namespace uptorra {

// Status column. "停止监测" is the only text that keeps a host from being probed.
inline constexpr std::string_view kStatusStopped = "停止监测";
inline constexpr std::string_view kStatusSwitchedOn = "等待监测";
inline constexpr std::string_view kStatusTesting = "正在测试";
inline constexpr std::string_view kStatusRetryBefore = "开始第 ";  // + attempt number
inline constexpr std::string_view kStatusRetryAfter = " 次重试";
inline constexpr std::string_view kStatusPortOk = "端口通信正常";
inline constexpr std::string_view kStatusIcmpOk = "ICMP通信正常, ";  // + round trip + "ms"
inline constexpr std::string_view kStatusIcmpOkUnit = "ms";
inline constexpr std::string_view kStatusFailed = "通信失败,";  // + push result
inline constexpr std::string_view kPushSucceeded = "微信推送成功";
inline constexpr std::string_view kPushFailed = "微信推送失败";

// The probe type that means an ICMP echo; compared byte for byte, so "icmp" is a port probe.
inline constexpr std::string_view kProbeTypeIcmp = "ICMP";

// Monitoring control.
inline constexpr std::string_view kPushNotConfiguredMessage = "请将Wx_Pusher的配置写入MyConfig.ini文件！";
inline constexpr std::string_view kStopQuestion = "确认停止对所有主机的监测？";
inline constexpr std::string_view kStartedPane = "已启动监测，当前线程数：";  // + busy workers
inline constexpr std::string_view kStoppedPane = "已停止监测";
inline constexpr std::string_view kContinueCaption = "继续监测";
inline constexpr std::string_view kStartedLogEntry = "---监测启动\r\n";  // after a time text
inline constexpr std::string_view kStoppedLogEntry = "---监测停止\r\n";
inline constexpr std::string_view kLogSeparator = "---";
inline constexpr std::string_view kLogLineEnd = "\r\n";

inline constexpr std::int32_t kIcmpTimeoutMs = 2000;
inline constexpr std::int32_t kTcpConnectTimeoutMs = 2000;
inline constexpr std::uint32_t kStatusMailPeriodMs = 259200000;  // three days
inline constexpr std::int32_t kWorkerStackBytes = 1048576;

}  // namespace uptorra
