#pragma once
// The few vector operations of the iterative solvers, on plain arrays.
#include <span>

namespace csolver {

// Sum of a[i] * b[i], accumulated one term at a time in storage order.
double dot(std::span<const double> a, std::span<const double> b);
bool all_zero(std::span<const double> a);

}  // namespace csolver
