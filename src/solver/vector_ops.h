#pragma once
// The vector operations of the iterative solvers, on plain arrays: each
// BiCGSTAB update fused with the inner products that follow it, so that
// every vector is read once per pass.
//
// Sums are formed in fixed chunks of the index range, each chunk in four
// interleaved partial sums, and the chunk sums added in chunk order. Threads
// share out the chunks; the grouping of the sums never depends on them, so
// the results do not depend on the number of threads.
#include <array>
#include <span>

namespace csolver {

double dot(std::span<const double> a, std::span<const double> b);
bool all_zero(std::span<const double> a);

// p = r + beta (p - omega v).
void update_direction(std::span<double> p, std::span<const double> r, std::span<const double> v, double beta,
                      double omega);

// s = r - alpha v; returns whether every s is zero.
bool update_half_residual(std::span<double> s, std::span<const double> r, std::span<const double> v,
                          double alpha);

// {<t, t>, <t, s>}.
std::array<double, 2> dot_pair(std::span<const double> t, std::span<const double> s);

// With d = alpha p: x = x + d; returns <d, d>.
double update_solution(std::span<double> x, std::span<const double> p, double alpha);

// With d = omega s + alpha p: x = d + x and r = s - omega t; returns
// {<d, d>, <r_hat, r>} of the new r.
std::array<double, 2> update_solution_and_residual(std::span<double> x, std::span<double> r,
                                                   std::span<const double> s, std::span<const double> p,
                                                   std::span<const double> t, std::span<const double> r_hat,
                                                   double alpha, double omega);

}  // namespace csolver
