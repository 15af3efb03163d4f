#include "solver/vector_ops.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace csolver {

namespace {

// Elements per chunk of a sum: large enough that the threads' share of work
// outweighs starting them, small enough to balance two threads.
constexpr std::size_t CHUNK = 8192;
// Vectors shorter than this are handled by the calling thread alone.
constexpr std::size_t PARALLEL_FROM = 4 * CHUNK;

// Runs body(first, last, sums) on every chunk, with K sums per chunk, and
// returns the chunk sums added in order. body adds element i's terms to
// sums[i % 4][k]; the four lanes are added as (0 + 1) + (2 + 3).
template <std::size_t K, class Body>
std::array<double, K> chunked(std::size_t n, Body body) {
  const std::size_t chunks = (n + CHUNK - 1) / CHUNK;
  std::vector<std::array<double, K>> partial(chunks);
#pragma omp parallel for schedule(static) if (n >= PARALLEL_FROM)
  for (std::size_t c = 0; c < chunks; ++c) {
    double lanes[4][K] = {};
    body(c * CHUNK, std::min(n, (c + 1) * CHUNK), lanes);
    for (std::size_t k = 0; k < K; ++k) partial[c][k] = (lanes[0][k] + lanes[1][k]) + (lanes[2][k] + lanes[3][k]);
  }
  std::array<double, K> total{};
  for (const std::array<double, K>& sums : partial)
    for (std::size_t k = 0; k < K; ++k) total[k] += sums[k];
  return total;
}

// Calls step(i, lane) for i in [first, last) with lane = (i - first) % 4, in
// groups of four so that the compiler can keep the lanes in one register.
template <class Step>
inline void lanes_of(std::size_t first, std::size_t last, Step step) {
  std::size_t i = first;
  for (; i + 4 <= last; i += 4) {
    step(i, 0);
    step(i + 1, 1);
    step(i + 2, 2);
    step(i + 3, 3);
  }
  for (std::size_t lane = 0; i < last; ++i, ++lane) step(i, lane);
}

}  // namespace

double dot(std::span<const double> a, std::span<const double> b) {
  return chunked<1>(a.size(), [&](std::size_t first, std::size_t last, double (&sums)[4][1]) {
    lanes_of(first, last, [&](std::size_t i, std::size_t lane) { sums[lane][0] += a[i] * b[i]; });
  })[0];
}

bool all_zero(std::span<const double> a) {
  for (double value : a)
    if (value != 0.0) return false;
  return true;
}

void update_direction(std::span<double> p, std::span<const double> r, std::span<const double> v, double beta,
                      double omega) {
  const std::size_t n = p.size();
#pragma omp parallel for schedule(static) if (n >= PARALLEL_FROM)
  for (std::size_t i = 0; i < n; ++i) p[i] = r[i] + beta * (p[i] - omega * v[i]);
}

bool update_half_residual(std::span<double> s, std::span<const double> r, std::span<const double> v,
                          double alpha) {
  // The count of non-zero values, as a sum that cannot round.
  const double nonzero = chunked<1>(s.size(), [&](std::size_t first, std::size_t last, double (&sums)[4][1]) {
    lanes_of(first, last, [&](std::size_t i, std::size_t lane) {
      s[i] = r[i] - alpha * v[i];
      sums[lane][0] += s[i] != 0.0 ? 1.0 : 0.0;
    });
  })[0];
  return nonzero == 0.0;
}

std::array<double, 2> dot_pair(std::span<const double> t, std::span<const double> s) {
  return chunked<2>(t.size(), [&](std::size_t first, std::size_t last, double (&sums)[4][2]) {
    lanes_of(first, last, [&](std::size_t i, std::size_t lane) {
      sums[lane][0] += t[i] * t[i];
      sums[lane][1] += t[i] * s[i];
    });
  });
}

double update_solution(std::span<double> x, std::span<const double> p, double alpha) {
  return chunked<1>(x.size(), [&](std::size_t first, std::size_t last, double (&sums)[4][1]) {
    lanes_of(first, last, [&](std::size_t i, std::size_t lane) {
      const double d = alpha * p[i];
      x[i] += d;
      sums[lane][0] += d * d;
    });
  })[0];
}

std::array<double, 2> update_solution_and_residual(std::span<double> x, std::span<double> r,
                                                   std::span<const double> s, std::span<const double> p,
                                                   std::span<const double> t, std::span<const double> r_hat,
                                                   double alpha, double omega) {
  return chunked<2>(x.size(), [&](std::size_t first, std::size_t last, double (&sums)[4][2]) {
    lanes_of(first, last, [&](std::size_t i, std::size_t lane) {
      const double d = omega * s[i] + alpha * p[i];
      x[i] = d + x[i];
      r[i] = s[i] - omega * t[i];
      sums[lane][0] += d * d;
      sums[lane][1] += r_hat[i] * r[i];
    });
  });
}

}  // namespace csolver
