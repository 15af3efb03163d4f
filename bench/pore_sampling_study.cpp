// How a voxelized pore converges on a ladder of grids under each sampling of
// its voxels: per level the ratios of H11, H33, H44 (the 23 shear) of the
// exact void (bounded formulation, coefficient mean, as contribution_pores
// solves) to Eshelby's void of the ellipsoid the voxels were drawn from, the
// flagged volume over the voxel volume and the iterations; then the study's
// extrapolation over the ladder with its bar.
//   build/bench_pore_sampling SHAPE A B C LADDER SAMPLING...
//     SHAPE ball|spheroid (semi-axes A B C in voxels, centre at a voxel centre
//     plus CS_OFFSET voxels on every axis) or cube (side A voxels);
//     LADDER like 16,20,24,32; SAMPLING nearest or smooth:SIGMA.
#include "contribution/solve.h"
#include "contribution/study.h"
#include "effective/eshelby_ellipsoid.h"
#include "images/pore_grid.h"
#include "images/pore_sampling.h"
#include "images/pore_properties.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace image = csolver::image;

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: %s ball|spheroid|cube A B C LADDER SAMPLING...\n", argv[0]);
    return 2;
  }
  const std::string shape = argv[1];
  const double A = std::atof(argv[2]), B = std::atof(argv[3]), C = std::atof(argv[4]);
  std::vector<std::int32_t> ladder;
  {
    std::istringstream in(argv[5]);
    for (std::string w; std::getline(in, w, ',');) ladder.push_back(std::atoi(w.c_str()));
  }
  const double offset = std::getenv("CS_OFFSET") ? std::atof(std::getenv("CS_OFFSET")) : 0.0;
  const int threads = std::getenv("CS_THREADS") ? std::atoi(std::getenv("CS_THREADS")) : 1;
  // CS_SHIFTS=K: each level the mean of K solves, the pore shifted by K
  // sub-step offsets (a 3-D Halton sequence centred on zero); smooth only.
  const int shifts = std::getenv("CS_SHIFTS") ? std::atoi(std::getenv("CS_SHIFTS")) : 1;
  const std::int32_t n = static_cast<std::int32_t>(2 * std::max({A, B, C}) + 7);
  image::Mask mask{n, n, n, std::vector<std::uint8_t>(static_cast<std::size_t>(n) * n * n, 0)};
  const double c0 = (n - 1) / 2 + offset;
  for (std::int32_t z = 0; z < n; ++z)
    for (std::int32_t y = 0; y < n; ++y)
      for (std::int32_t x = 0; x < n; ++x) {
        const double dx = x - c0, dy = y - c0, dz = z - c0;
        bool in = false;
        if (shape == "cube") in = std::abs(dx) < A / 2 && std::abs(dy) < A / 2 && std::abs(dz) < A / 2;
        else in = dx * dx / (A * A) + dy * dy / (B * B) + dz * dz / (C * C) <= 1;
        mask.inside[static_cast<std::size_t>(x) + static_cast<std::size_t>(n) * (y + static_cast<std::size_t>(n) * z)] = in;
      }
  const image::Labels labels = image::label_pores(mask, image::Connectivity::twenty_six);
  const auto props = image::pore_properties(labels, {1, 1, 1});
  const image::PoreProperties& pore = props.at(0);
  const double E0 = 1, nu = 0.3;
  const effective_testing::Rotation identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  const auto ref = effective_testing::eshelby_ellipsoid({A, B, C}, identity, E0, nu, 1e-8, nu);
  std::printf("# %s %g %g %g offset %g: %lld voxels (ellipsoid %.1f)\n", shape.c_str(), A, B, C, offset,
              static_cast<long long>(pore.voxels), 4.0 / 3 * M_PI * A * B * C);
  for (int s = 6; s < argc; ++s) {
    const std::string sampling = argv[s];
    const bool smooth = sampling.rfind("smooth", 0) == 0;
    const double sigma = smooth && sampling.size() > 7 ? std::atof(sampling.c_str() + 7) : image::SMOOTHING_SIGMA;
    std::vector<double> h;
    std::vector<contribution::Tensor6> H;
    double seconds = 0;
    for (std::int32_t M : ladder) {
     contribution::Tensor6 T{};
     int it = 0;
     double volume = 0;
     for (int shift = 0; shift < shifts; ++shift) {
      auto halton = [](int i, int base) {
        double f = 1, r = 0;
        for (; i > 0; i /= base) f /= base, r += f * (i % base);
        return r;
      };
      const image::Vector3 offset3 = shift == 0 ? image::Vector3{0, 0, 0}
                                                : image::Vector3{halton(shift, 2) - 0.5, halton(shift, 3) - 0.5, halton(shift, 5) - 0.5};
      const image::PoreGrid grid = smooth ? image::smooth_pore_grid(labels, pore, M, {}, sigma, offset3) : image::pore_grid(labels, pore, M, {});
      contribution::InhomogeneityProblem problem;
      problem.matrix = {E0, nu};
      problem.inhomogeneity = {0, nu};
      problem.nodes_per_axis = M + 1;
      problem.flags = grid.flags;
      problem.formulation_rule = contribution::FormulationRule::bounded;
      problem.mean_field_estimate = contribution::MeanFieldEstimate::coefficient;
      contribution::SolveOptions options;
      options.threads = threads;
      options.measure_plans = false;
      const auto t0 = std::chrono::steady_clock::now();
      const auto r = contribution::solve_inhomogeneity(std::move(problem), options);
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const contribution::Tensor6 T1 = contribution::in_yz_xz_xy_order(r.H, r.shear_order);
      for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b) T[a][b] += T1[a][b] / shifts;
      for (const auto& lc : r.load_cases) it = std::max(it, lc.iterations);
      const double step = 2.0 / M * grid.length_per_unit;
      volume += grid.flagged * step * step * step / pore.voxels / shifts;
     }
      std::printf("%s %s M %d it %d vol %.3f H11 %.4f H33 %.4f H44 %.4f\n", shape.c_str(), sampling.c_str(), M, it, volume,
                  T[0][0] / ref.H(0, 0), T[2][2] / ref.H(2, 2), T[3][3] / ref.H(3, 3));
      std::fflush(stdout);
      h.push_back(2.0 / M);
      H.push_back(T);
    }
    if (h.size() < 3) continue;
    const auto e = contribution::extrapolate_tensors(h, H, contribution::RISING_ORDER_MARGIN);
    std::printf("extrapolated %s %s ladder %s: H11 %+.1f ± %.1f %%  H33 %+.1f ± %.1f %%  H44 %+.1f ± %.1f %%  (%.1f s)\n",
                shape.c_str(), sampling.c_str(), argv[5], 100 * (e.value[0][0] / ref.H(0, 0) - 1),
                100 * e.error[0][0] / std::abs(ref.H(0, 0)), 100 * (e.value[2][2] / ref.H(2, 2) - 1),
                100 * e.error[2][2] / std::abs(ref.H(2, 2)), 100 * (e.value[3][3] / ref.H(3, 3) - 1),
                100 * e.error[3][3] / std::abs(ref.H(3, 3)), seconds);
    std::fflush(stdout);
  }
}
