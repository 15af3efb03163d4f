#include "images/pore_properties.h"

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace csolver::image {

namespace {

// Exact sums over one pore in voxel index units, relative to the pore's
// first voxel: the offsets stay within the pore's extent, so the central
// moments come out without cancellation however far the pore lies from the
// origin. The sums stay below extent^2 x voxels, far from 2^63 for any image
// that fits in memory.
struct Sums {
  std::int64_t n = 0;
  std::array<std::int32_t, 3> reference{};
  std::array<std::int64_t, 3> first{};      // sum of offsets
  std::array<std::int64_t, 6> second{};     // xx, yy, zz, xy, xz, yz
  std::array<std::int32_t, 3> lo{}, hi{};   // inclusive bounds
};

// A run of one label along x, [x0, x1), in row (y, z).
void add_run(Sums& s, std::int32_t x0, std::int32_t x1, std::int32_t y, std::int32_t z) {
  if (s.n == 0) {
    s.reference = {x0, y, z};
    s.lo = {x0, y, z};
    s.hi = {x1 - 1, y, z};
  }
  const std::int64_t length = x1 - x0;
  const std::int64_t a = x0 - s.reference[0];  // offsets a .. a + length - 1
  const std::int64_t dy = y - s.reference[1], dz = z - s.reference[2];
  // sum of t and of t^2 for t = a + u, u = 0 .. length - 1
  const std::int64_t sum_u = length * (length - 1) / 2;
  const std::int64_t sum_u2 = (length - 1) * length * (2 * length - 1) / 6;
  const std::int64_t sx = length * a + sum_u;
  const std::int64_t sxx = length * a * a + 2 * a * sum_u + sum_u2;
  s.n += length;
  s.first[0] += sx;
  s.first[1] += dy * length;
  s.first[2] += dz * length;
  s.second[0] += sxx;
  s.second[1] += dy * dy * length;
  s.second[2] += dz * dz * length;
  s.second[3] += dy * sx;
  s.second[4] += dz * sx;
  s.second[5] += dy * dz * length;
  s.lo[0] = std::min(s.lo[0], x0);
  s.hi[0] = std::max(s.hi[0], x1 - 1);
  s.lo[1] = std::min(s.lo[1], y);
  s.hi[1] = std::max(s.hi[1], y);
  s.lo[2] = std::min(s.lo[2], z);
  s.hi[2] = std::max(s.hi[2], z);
}

// Sign of an eigenvector: its largest component positive; a later axis
// takes over only when clearly larger, so near-ties go to the lower axis.
Vector3 oriented(const Eigen::Vector3d& v) {
  std::size_t largest = 0;
  for (std::size_t a = 1; a < 3; ++a)
    if (std::abs(v(static_cast<Eigen::Index>(a))) > std::abs(v(static_cast<Eigen::Index>(largest))) + 1e-9) largest = a;
  const double sign = v(static_cast<Eigen::Index>(largest)) < 0 ? -1 : 1;
  return {sign * v(0), sign * v(1), sign * v(2)};
}

}  // namespace

EquivalentEllipsoid equivalent_ellipsoid(const Matrix3& second_moments) {
  Eigen::Matrix3d c;
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) c(a, b) = second_moments[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
  // The iterative solver rather than the closed form: near-equal eigenvalues
  // (nearly spherical pores) keep accurate vectors. It converges for any
  // finite symmetric 3 x 3 matrix; a failure leaves the ellipsoid NaN.
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(c);
  EquivalentEllipsoid e;
  if (solver.info() != Eigen::Success) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    e.semi_axes = {nan, nan, nan};
    e.directions = {{{nan, nan, nan}, {nan, nan, nan}, {nan, nan, nan}}};
    return e;
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const Eigen::Index column = static_cast<Eigen::Index>(2 - i);  // eigenvalues come ascending
    e.semi_axes[i] = std::sqrt(5 * std::max(0.0, solver.eigenvalues()(column)));
    e.directions[i] = oriented(solver.eigenvectors().col(column));
  }
  e.semi_axes[2] = std::sqrt(5 * std::max(0.0, solver.eigenvalues()(0)));
  const Vector3& u = e.directions[0];
  const Vector3& v = e.directions[1];
  e.directions[2] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  return e;
}

namespace {

constexpr std::uint32_t NOT_SELECTED = std::numeric_limits<std::uint32_t>::max();

void check_voxel_size(const Vector3& voxel_size) {
  for (double s : voxel_size)
    if (!(s > 0) || !std::isfinite(s)) throw ImageError("voxel sizes must be positive");
}

// Calls run(label, x0, x1, y, z) for each run of one nonzero label along x.
template <class RunVisitor>
void for_each_run(const Labels& labels, RunVisitor&& run) {
  for (std::int32_t z = 0; z < labels.nz; ++z)
    for (std::int32_t y = 0; y < labels.ny; ++y) {
      const std::uint32_t* row = labels.label.data() + labels.index(0, y, z);
      for (std::int32_t x = 0; x < labels.nx;) {
        const std::uint32_t l = row[x];
        const std::int32_t x0 = x;
        while (x < labels.nx && row[x] == l) ++x;
        if (l == 0) continue;
        if (l > labels.count) throw ImageError("label " + std::to_string(l) + " exceeds the label count " + std::to_string(labels.count));
        run(l, x0, x, y, z);
      }
    }
}

// Properties of the labels whose slot is not NOT_SELECTED; slot[l] numbers
// them 0, 1, ... in label order.
std::vector<PoreProperties> properties_of(const Labels& labels, const Vector3& voxel_size, const std::vector<std::uint32_t>& slot,
                                          std::size_t selected) {
  std::vector<Sums> sums(selected);
  for_each_run(labels, [&](std::uint32_t l, std::int32_t x0, std::int32_t x1, std::int32_t y, std::int32_t z) {
    if (slot[l] != NOT_SELECTED) add_run(sums[slot[l]], x0, x1, y, z);
  });

  const std::array<std::int32_t, 3> n{labels.nx, labels.ny, labels.nz};
  const double all_voxels = static_cast<double>(labels.nx) * labels.ny * labels.nz;
  std::vector<PoreProperties> pores(selected);
  for (std::uint32_t l = 1; l <= labels.count; ++l)
    if (slot[l] != NOT_SELECTED) pores[slot[l]].label = l;
  // Pores are independent; a noisy image has millions of them, each with its
  // own eigen-decomposition.
#pragma omp parallel for schedule(static)
  for (std::int64_t pore = 0; pore < static_cast<std::int64_t>(selected); ++pore) {
    const Sums& s = sums[static_cast<std::size_t>(pore)];
    PoreProperties& p = pores[static_cast<std::size_t>(pore)];
    p.voxels = s.n;
    if (s.n == 0) continue;  // a label without voxels: only from a hand-made Labels
    p.volume = static_cast<double>(s.n) * voxel_size[0] * voxel_size[1] * voxel_size[2];
    p.volume_fraction = static_cast<double>(s.n) / all_voxels;
    const double count = static_cast<double>(s.n);
    Vector3 mean{};  // of the offsets
    for (std::size_t a = 0; a < 3; ++a) {
      // The integer sum of coordinates, divided once: the centroid is the
      // correctly rounded quotient.
      p.centroid[a] = static_cast<double>(s.reference[a] * s.n + s.first[a]) / count;
      mean[a] = static_cast<double>(s.first[a]) / count;
      p.box_begin[a] = s.lo[a];
      p.box_end[a] = s.hi[a] + 1;
      p.touches_border = p.touches_border || s.lo[a] == 0 || s.hi[a] == n[a] - 1;
    }
    constexpr std::size_t pair[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}};
    for (std::size_t m = 0; m < 6; ++m) {
      const std::size_t a = pair[m][0], b = pair[m][1];
      const double centres = static_cast<double>(s.second[m]) / count - mean[a] * mean[b];
      const double value = centres * voxel_size[a] * voxel_size[b] + (a == b ? voxel_size[a] * voxel_size[a] / 12 : 0.0);
      p.second_moments[a][b] = p.second_moments[b][a] = value;
    }
    p.ellipsoid = equivalent_ellipsoid(p.second_moments);
  }
  return pores;
}

}  // namespace

std::vector<PoreProperties> pore_properties(const Labels& labels, const Vector3& voxel_size) {
  check_voxel_size(voxel_size);
  std::vector<std::uint32_t> slot(static_cast<std::size_t>(labels.count) + 1, NOT_SELECTED);
  for (std::uint32_t l = 1; l <= labels.count; ++l) slot[l] = l - 1;
  return properties_of(labels, voxel_size, slot, labels.count);
}

FilteredPores select_pores(const Labels& labels, const Vector3& voxel_size, const PoreFilter& filter) {
  check_voxel_size(voxel_size);
  // Voxel counts first, saturating (only the comparison with min_voxels
  // matters), then the same vector becomes the slots of the pores kept.
  std::vector<std::uint32_t> slot(static_cast<std::size_t>(labels.count) + 1, 0);
  for_each_run(labels, [&](std::uint32_t l, std::int32_t x0, std::int32_t x1, std::int32_t, std::int32_t) {
    const std::uint64_t sum = static_cast<std::uint64_t>(slot[l]) + static_cast<std::uint64_t>(x1 - x0);
    slot[l] = static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, NOT_SELECTED - 1));
  });
  FilteredPores result;
  std::uint32_t selected = 0;
  slot[0] = NOT_SELECTED;
  for (std::uint32_t l = 1; l <= labels.count; ++l) {
    if (static_cast<std::int64_t>(slot[l]) < filter.min_voxels) {
      ++result.dropped_small;
      slot[l] = NOT_SELECTED;
    } else {
      slot[l] = selected++;
    }
  }
  std::vector<PoreProperties> large = properties_of(labels, voxel_size, slot, selected);
  slot = {};
  for (PoreProperties& p : large) {
    if (p.touches_border && !filter.keep_border) ++result.dropped_border;
    else result.kept.push_back(std::move(p));
  }
  return result;
}

FilteredPores filter_pores(const std::vector<PoreProperties>& pores, const PoreFilter& filter) {
  FilteredPores result;
  for (const PoreProperties& p : pores) {
    if (p.voxels < filter.min_voxels) ++result.dropped_small;
    else if (p.touches_border && !filter.keep_border) ++result.dropped_border;
    else result.kept.push_back(p);
  }
  return result;
}

}  // namespace csolver::image
