#pragma once
// What the benchmarks share: a high-resolution clock and the command-line number lists.
#include <windows.h>

#include <cstdlib>
#include <vector>

// Seconds on the performance counter (an arbitrary origin: only differences mean anything).
inline double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

inline double NowMs() { return Seconds() * 1000.0; }

// "1,50,100" -> {1, 50, 100}
inline std::vector<int> NumberList(const char* list) {
  std::vector<int> numbers;
  for (const char* p = list; *p;) {
    numbers.push_back(std::atoi(p));
    while (*p && *p != ',') ++p;
    if (*p == ',') ++p;
  }
  return numbers;
}
