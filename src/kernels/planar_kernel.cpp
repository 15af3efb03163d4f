#include "kernels/planar_kernel.h"

#include "kernels/planar_radial.h"
#include "kernels/special_functions.h"

#include <cmath>

namespace csolver {

namespace {
// float(0.0001): the zero offset divides its zero difference by h times this.
constexpr double ZERO_OFFSET_SCALE = 9.999999747378752e-05;
}  // namespace

CrackGrid build_crack_grid(const NodeTable& nodes, const BoxBounds& bounds) {
  CrackGrid grid;
  grid.bounds = bounds;
  grid.crack_x.resize(bounds.size());
  grid.crack_y.resize(bounds.size());
  grid.crack_mask.resize(bounds.size());
  std::size_t n = 0;
  for (std::int32_t j = 0; j < bounds.ny; ++j)
    for (std::int32_t i = 0; i < bounds.nx; ++i, ++n) {
      const std::size_t src = nodes.index(bounds.ix0 + i, bounds.iy0 + j, 0);
      grid.crack_x[n] = nodes.x(src, bounds.ix0 + i);
      grid.crack_y[n] = nodes.y(src, bounds.iy0 + j);
      grid.crack_mask[n] = nodes.node_flag[src];
    }
  return grid;
}

PlanarKernelValues planar_kernel_values(double dx, double dy, double h, double G0, double c_nu,
                                        PlanarKernel kernel) {
  const double r = std::sqrt(dx * dx + dy * dy);
  const double rho = r / h;
  const bool zero = dx == 0 && dy == 0;
  const double direction_scale = zero ? h * ZERO_OFFSET_SCALE : r;
  const double ux = dx / direction_scale;
  const double uy = dy / direction_scale;

  const double g = exp_f(-rho * rho / 2) / TWO_PI_F;
  const auto [a, b] = planar_radial(kernel, rho);
  const double A = a / h;
  const double B = b / h;
  const double s = (G0 / 2) * (2 * c_nu - 1);
  const double isotropic = (G0 / 2) * (A + (2 * c_nu - 1) * B);
  return {s * (A - 2 * B) * ux * ux + isotropic, s * (A - 2 * B) * ux * uy, s * (A - 2 * B) * uy * uy + isotropic,
          c_nu * G0 * A, g};
}

std::vector<AxisParities> planar_kernel_parities() {
  const AxisParities even{Parity::even, Parity::even, Parity::even};
  std::vector<AxisParities> parities(PLANAR_KERNELS, even);
  parities[K12] = {Parity::odd, Parity::odd, Parity::even};
  return parities;
}

bool separable_plane(const CrackGrid& grid) {
  const std::size_t nx = static_cast<std::size_t>(grid.bounds.nx);
  for (std::size_t n = 0; n < grid.size(); ++n)
    if (grid.crack_x[n] != grid.crack_x[n % nx] || grid.crack_y[n] != grid.crack_y[n - n % nx]) return false;
  return true;
}

std::vector<AxisParities> planar_kernel_symmetry(const CrackGrid& grid) {
  if (!separable_plane(grid)) return {};
  return planar_kernel_parities();
}

void build_planar_kernel(const ProblemSetup& setup, const CrackGrid& grid, PlanarKernel kernel,
                         PaddedConvolution& conv) {
  const std::int32_t nx = grid.bounds.nx;
  const std::int32_t ny = grid.bounds.ny;
  const bool octant = conv.layout() == SpectrumLayout::octant;
  auto store = [&](int m, int n, const PlanarKernelValues& k, double k12_sign) {
    const std::size_t index = conv.sample_index({m, n, 0});
    conv.set_kernel_sample(K11, index, k.k11);
    conv.set_kernel_sample(K12, index, k12_sign * k.k12);
    conv.set_kernel_sample(K22, index, k.k22);
    conv.set_kernel_sample(K33, index, k.k33);
    conv.set_kernel_sample(KG, index, k.gauss);
  };
  // Offsets of one quadrant from coordinates; the other three by mirroring,
  // K12 odd in each in-plane direction, the rest even. Writing a mirrored
  // point twice on an axis stores the same value, so no case split is needed.
  // Distinct quadrant offsets write disjoint padded points: share them out.
#pragma omp parallel for num_threads(conv.threads()) schedule(dynamic)
  for (std::int32_t m = 0; m < nx; ++m)
    for (std::int32_t n = 0; n < ny; ++n) {
      const std::size_t at = static_cast<std::size_t>(m) + static_cast<std::size_t>(nx) * static_cast<std::size_t>(n);
      const PlanarKernelValues k = planar_kernel_values(grid.crack_x[at] - grid.crack_x[0],
                                                        grid.crack_y[at] - grid.crack_y[0], setup.h, setup.G0,
                                                        setup.c_nu, kernel);
      store(m, n, k, 1.0);
      if (octant) continue;
      store(-m, -n, k, 1.0);
      if (m != 0 && n != 0) {
        store(-m, n, k, -1.0);
        store(m, -n, k, -1.0);
      }
    }
  conv.transform_kernels();
}

}  // namespace csolver
