#pragma once
// The loopback SMTP peer that the CTest fixture starts (tests/peers/smtp_server.py): its ports
// and the messages it received, decoded by Python's e-mail parser into JSON files.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <map>
#include <optional>
#include <string>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/PumpMessages_win.h"
#include "core/Text.h"

namespace uptorra::test {

class SmtpPeer {
 public:
  static constexpr const char* kUser = "sender@uptorra.test";
  static constexpr const char* kPassword = "Right-Code-123";

  // The folder beside the test executable, where the fixture keeps the peer.
  static Text Dir() {
    wchar_t exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return FolderOf(GbkFromWide(std::wstring(exe, n))) + "\\smtp-peer";
  }

  // Ports by listener name; empty when the peer is not running (the test was not started
  // through ctest, whose fixture starts the peer).
  static const std::map<std::string, int>& Ports() {
    static const std::map<std::string, int> ports = [] {
      std::map<std::string, int> found;
      Bytes text;
      if (!ReadWholeFile(Dir() + "\\ports.txt", text)) return found;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) found[line.substr(0, eq)] = IntValue(line.substr(eq + 1));
        start = end + 1;
      }
      return found;
    }();
    return ports;
  }
  static bool Running() { return !Ports().empty(); }
  static int Port(const std::string& listener) {
    const auto it = Ports().find(listener);
    return it == Ports().end() ? 0 : it->second;
  }

  // A recipient no other test (and no other run of this executable) uses.
  static std::string UniqueRecipient(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    return tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64()) + "-" +
           std::to_string(counter.fetch_add(1)) + "@uptorra.test";
  }

  // The n-th message (from 1) to recipient, waiting for it up to timeoutMs while the thread's
  // messages keep being dispatched (so window timers fire meanwhile).
  static std::optional<nlohmann::json> WaitForMail(const std::string& recipient, int n, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
      Bytes text;
      if (ReadWholeFile(MailFile(recipient, n), text)) {
        auto parsed = nlohmann::json::parse(text, nullptr, false);
        if (!parsed.is_discarded()) return parsed;
      }
      if (::GetTickCount64() >= deadline) return std::nullopt;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpMessages();
    }
  }

  static int CountMails(const std::string& recipient) {
    int count = 0;
    while (FileExists(MailFile(recipient, count + 1))) ++count;
    return count;
  }

 private:
  static Text MailFile(const std::string& recipient, int n) {
    return Dir() + "\\mail\\" + recipient + "." + std::to_string(n) + ".json";
  }
};

// UTF-8 of a u8 literal, to compare with what the peer decoded.
inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

}  // namespace uptorra::test

#define UPTORRA_REQUIRE_SMTP_PEER()                                                                    \
  do {                                                                                                  \
    if (!::uptorra::test::SmtpPeer::Running()) {                                                       \
      GTEST_SKIP() << "the loopback SMTP peer is not running: run through ctest (fixture smtp_peer)"; \
    }                                                                                                   \
  } while (0)
