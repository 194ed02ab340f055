// Rewrites one file for ever through the atomic replace, alternating two large contents that
// can be checked for completeness: a test kills this process at random moments and then
// looks at the file. Usage: atomic_writer <path> <bytes> [first generation]
#include <windows.h>

#include <cstdlib>
#include <string>

#include "core/FileIo.h"
#include "core/Gbk_win.h"

namespace {

// "GEN <n> LEN <len>\r\n" followed by filler up to len bytes, ending in "END".
std::string Content(unsigned generation, std::size_t length) {
  std::string head = "GEN " + std::to_string(generation) + " LEN " + std::to_string(length) + "\r\n";
  std::string body(length - head.size() - 3, static_cast<char>('a' + generation % 26));
  return head + body + "END";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const uptorra::Text path = uptorra::GbkFromWide(argv[1]);
  const std::size_t length = static_cast<std::size_t>(std::wcstoul(argv[2], nullptr, 10));
  const unsigned first = argc > 3 ? static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 10)) : 0;
  for (unsigned generation = first;; ++generation) {
    uptorra::ReplaceFileAtomically(path, Content(generation, length));
  }
}
