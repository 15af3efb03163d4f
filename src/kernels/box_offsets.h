#pragma once
// The node offsets at which a volume kernel is sampled over a box, shared by
// the elastic and the conductivity kernels: one offset of each pair
// +-(p, q, r) (only the octant of non-negative offsets when the convolution
// keeps that layout), with the distance vector between two real box nodes,
// so that perturbed coordinates enter as read.
#include "model/problem_setup.h"
#include "numlib/convolution.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace csolver {

struct BoxOffset {
  std::array<int, 3> offset{};
  bool zero = true;            // the offset (0, 0, 0)
  std::array<double, 3> d{};   // node distance vector; zero at the zero offset
  double rho = 0;              // its length
  std::size_t here = 0;        // where the sample goes (conv.sample_index)
  bool mirrored = false;       // half spectrum: the sample goes to `mirror` as well
  std::size_t mirror = 0;      // padded index of -offset
};

// Calls visit(const BoxOffset&) for every offset to sample; offsets are
// shared out over the convolution's threads and write disjoint padded points.
template <class Visit>
void for_each_box_offset(const Box& box, const PaddedConvolution& conv, Visit&& visit) {
  const BoxBounds& b = box.bounds;
  auto node = [&](int i, int j, int k) {
    return static_cast<std::size_t>(i) +
           static_cast<std::size_t>(b.nx) * (static_cast<std::size_t>(j) + static_cast<std::size_t>(b.ny) * static_cast<std::size_t>(k));
  };
  // The octant layout takes the offsets with no negative component only; the
  // others follow from them by the parities of the entries.
  const bool octant = conv.layout() == SpectrumLayout::octant;
  const int q_first = octant ? 0 : -(b.ny - 1);
  const int r_first = octant ? 0 : -(b.nz - 1);
#pragma omp parallel for num_threads(conv.threads()) schedule(dynamic)
  for (int p = 0; p < b.nx; ++p)
    for (int q = q_first; q < b.ny; ++q)
      for (int r = r_first; r < b.nz; ++r) {
        // One offset of each pair +-(p, q, r): the first non-zero component positive.
        if (p == 0 && (q < 0 || (q == 0 && r < 0))) continue;
        BoxOffset o;
        o.offset = {p, q, r};
        o.zero = p == 0 && q == 0 && r == 0;
        if (!o.zero) {
          const std::size_t a = node(std::max(p, 0), std::max(q, 0), std::max(r, 0));
          const std::size_t c = node(std::max(-p, 0), std::max(-q, 0), std::max(-r, 0));
          o.d = {box.box_x[a] - box.box_x[c], box.box_y[a] - box.box_y[c], box.box_z[a] - box.box_z[c]};
          o.rho = std::sqrt(o.d[0] * o.d[0] + o.d[1] * o.d[1] + o.d[2] * o.d[2]);
        }
        o.here = conv.sample_index(o.offset);
        o.mirrored = !o.zero && !octant;
        o.mirror = o.mirrored ? conv.padded_index({-p, -q, -r}) : o.here;
        visit(o);
      }
}

}  // namespace csolver
