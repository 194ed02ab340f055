#pragma once
// Command-line helpers shared by the benchmarks.
#include <cstdlib>
#include <vector>

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
