#include "contribution_solver/clock.h"

#include <cstdio>
#include <ctime>

namespace csolver {

namespace {
std::tm local_time(std::time_t t) {
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}
}  // namespace

double wall_clock_seconds() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const std::tm tm = local_time(seconds);
  const auto since_second =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - std::chrono::system_clock::from_time_t(seconds));
  const long millisecond = static_cast<long>(since_second.count() % 1000);
  return static_cast<double>(millisecond) * 0.001 + tm.tm_sec + tm.tm_min * 60 + tm.tm_hour * 3600;
}

double monotonic_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string timestamp_for_file_name(std::chrono::system_clock::time_point when) {
  const std::tm tm = local_time(std::chrono::system_clock::to_time_t(when));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d%02d%02d_%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

}  // namespace csolver
