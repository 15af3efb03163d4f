#pragma once
#include <chrono>
#include <string>

namespace csolver {

// Seconds since local midnight, with milliseconds (the time of day; a run
// across midnight would see it jump back, so elapsed times use
// monotonic_seconds instead).
double wall_clock_seconds();

// Seconds on a clock that never goes back.
double monotonic_seconds();

// Local date and time as "CCYYMMDD_hhmmss", for the name of a report copy.
std::string timestamp_for_file_name(std::chrono::system_clock::time_point when);

}  // namespace csolver
