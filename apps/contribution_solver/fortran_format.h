#pragma once
// Fixed-width number fields of the report: Iw for integers and Fw.d for reals,
// right-aligned; a value too wide for its field fills it with asterisks.
#include <cstdint>
#include <string>

namespace csolver {

std::string format_integer(std::int64_t value, int width);

// An exact zero prints without sign; a non-zero value that rounds to zero keeps
// its minus sign. NaN and infinities print as words when they fit.
std::string format_fixed(double value, int width, int decimals);

}  // namespace csolver
