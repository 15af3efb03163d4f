#include "kernels/conductivity_kernel.h"

#include "kernels/box_offsets.h"
#include "kernels/planar_radial.h"
#include "kernels/special_functions.h"

#include <cmath>

namespace csolver {

namespace {
constexpr std::array<std::array<int, 2>, CONDUCTIVITY_ENTRIES> PAIRS{{{0, 0}, {1, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}};
}  // namespace

int conductivity_entry(int a, int b) {
  // 23 -> 3, 13 -> 4, 12 -> 5.
  return a == b ? a : 6 - a - b;
}

std::array<double, CONDUCTIVITY_ENTRIES> conductivity_kernel_entries(const RadialFunctions& f,
                                                                     const std::array<double, 3>& u,
                                                                     ConductivityFormulation formulation) {
  // The flux formulation's kernel adds the local term of the field: the
  // Gaussian itself, on the diagonal.
  const double diagonal = -f.A + (formulation == ConductivityFormulation::flux ? f.g : 0.0);
  const double radial = 3 * f.A - f.g;
  std::array<double, CONDUCTIVITY_ENTRIES> entries{};
  for (std::size_t s = 0; s < entries.size(); ++s) {
    const auto [a, b] = PAIRS[s];
    entries[s] = radial * u[static_cast<std::size_t>(a)] * u[static_cast<std::size_t>(b)] + (a == b ? diagonal : 0.0);
  }
  return entries;
}

std::vector<AxisParities> conductivity_kernel_parities() {
  std::vector<AxisParities> parities;
  for (const auto& [a, b] : PAIRS) {
    AxisParities p{Parity::even, Parity::even, Parity::even};
    if (a != b) p[static_cast<std::size_t>(a)] = p[static_cast<std::size_t>(b)] = Parity::odd;
    parities.push_back(p);
  }
  parities.push_back({Parity::even, Parity::even, Parity::even});  // the Gaussian
  return parities;
}

void build_conductivity_kernel(const Box& box, double h, ConductivityFormulation formulation,
                               PaddedConvolution& conv) {
  for_each_box_offset(box, conv, [&](const BoxOffset& o) {
    double t = 0;
    std::array<double, 3> u{0, 0, 0};
    if (!o.zero) {
      t = o.rho / h;
      for (std::size_t axis = 0; axis < 3; ++axis) u[axis] = o.d[axis] / o.rho;
    }
    const RadialFunctions f = volume_radial_functions(t, h);
    const std::array<double, CONDUCTIVITY_ENTRIES> entries = conductivity_kernel_entries(f, u, formulation);
    for (int s = 0; s < CONDUCTIVITY_ENTRIES; ++s) {
      conv.set_kernel_sample(s, o.here, entries[static_cast<std::size_t>(s)]);
      if (o.mirrored) conv.set_kernel_sample(s, o.mirror, entries[static_cast<std::size_t>(s)]);
    }
    conv.set_kernel_sample(CONDUCTIVITY_GAUSS, o.here, f.g);
    if (o.mirrored) conv.set_kernel_sample(CONDUCTIVITY_GAUSS, o.mirror, f.g);
  });
  conv.transform_kernels();
}

CrackFluxValues crack_flux_values(double dx, double dy, double h, double k0) {
  const double rho = std::sqrt(dx * dx + dy * dy) / h;
  const PlanarRadial radial = planar_radial_exact(rho);
  return {0.5 * k0 * radial.a / h, exp_f(-rho * rho / 2) / TWO_PI_F};
}

std::vector<AxisParities> crack_flux_symmetry(const CrackGrid& grid) {
  if (!separable_plane(grid)) return {};
  return std::vector<AxisParities>(CRACK_FLUX_KERNELS, {Parity::even, Parity::even, Parity::even});
}

void build_crack_flux_kernel(const CrackGrid& grid, double h, double k0, PaddedConvolution& conv) {
  const std::int32_t nx = grid.bounds.nx;
  const std::int32_t ny = grid.bounds.ny;
  const bool octant = conv.layout() == SpectrumLayout::octant;
  // Both kernels are even in each in-plane direction: one quadrant from
  // coordinates, the rest by mirroring.
#pragma omp parallel for num_threads(conv.threads()) schedule(dynamic)
  for (std::int32_t m = 0; m < nx; ++m)
    for (std::int32_t n = 0; n < ny; ++n) {
      const std::size_t at = static_cast<std::size_t>(m) + static_cast<std::size_t>(nx) * static_cast<std::size_t>(n);
      const CrackFluxValues v =
          crack_flux_values(grid.crack_x[at] - grid.crack_x[0], grid.crack_y[at] - grid.crack_y[0], h, k0);
      const int signs = octant ? 1 : 4;
      for (int s = 0; s < signs; ++s) {
        const int mm = (s & 1) ? -m : m, nn = (s & 2) ? -n : n;
        const std::size_t index = conv.sample_index({mm, nn, 0});
        conv.set_kernel_sample(CRACK_FLUX, index, v.flux);
        conv.set_kernel_sample(CRACK_FLUX_GAUSS, index, v.gauss);
      }
    }
  conv.transform_kernels();
}

}  // namespace csolver
