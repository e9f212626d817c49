// The benchmarks' one clock: the performance counter in milliseconds, fine enough for sub-millisecond steps.
#pragma once

#include <windows.h>

inline double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / perMs;
}
