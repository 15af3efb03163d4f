#include "solver/vector_ops.h"

#include <cstddef>

namespace csolver {

double dot(std::span<const double> a, std::span<const double> b) {
  double sum = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
  return sum;
}

bool all_zero(std::span<const double> a) {
  for (double value : a)
    if (value != 0.0) return false;
  return true;
}

}  // namespace csolver
