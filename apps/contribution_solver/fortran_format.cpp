#include "contribution_solver/fortran_format.h"

#include <cmath>
#include <cstdio>

namespace csolver {

namespace {
std::string fit(const std::string& text, int width) {
  const auto w = static_cast<std::size_t>(width);
  if (text.size() > w) return std::string(w, '*');
  return std::string(w - text.size(), ' ') + text;
}
}  // namespace

std::string format_integer(std::int64_t value, int width) { return fit(std::to_string(value), width); }

std::string format_fixed(double value, int width, int decimals) {
  if (std::isnan(value)) return fit("NaN", width);
  if (std::isinf(value)) {
    const std::string word = static_cast<int>(value < 0) + 8 <= width ? "Infinity" : "Inf";
    return fit(value < 0 ? "-" + word : word, width);
  }
  if (value == 0) value = 0.0;  // drop the sign of -0
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return fit(buffer, width);
}

}  // namespace csolver
