#pragma once
// Synthetic pore images whose voxel sets are known from construction: each
// object is rasterized on its own (voxel centre inside the analytic body),
// so the expected counts, centroids and boxes come from these voxel lists,
// not from the labeller.
#include "images/image_volume.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver::testing {

using Voxel = std::array<std::int32_t, 3>;
using Body = std::function<bool(double, double, double)>;  // physical coordinates of a voxel centre

// Rotation about y by beta, then about z by gamma (degrees): body to image axes.
inline std::array<std::array<double, 3>, 3> turn_y_then_z(double beta_degrees, double gamma_degrees) {
  const double b = beta_degrees * std::numbers::pi / 180, g = gamma_degrees * std::numbers::pi / 180;
  const double cb = std::cos(b), sb = std::sin(b), cg = std::cos(g), sg = std::sin(g);
  // Rz(g) Ry(b)
  return {{{cg * cb, -sg, cg * sb}, {sg * cb, cg, sg * sb}, {-sb, 0, cb}}};
}

inline Body ball(std::array<double, 3> centre, double radius) {
  return [=](double x, double y, double z) {
    const double dx = x - centre[0], dy = y - centre[1], dz = z - centre[2];
    return dx * dx + dy * dy + dz * dz <= radius * radius;
  };
}

// Ellipsoid with semi-axes along the columns of `turn`.
inline Body ellipsoid(std::array<double, 3> centre, std::array<double, 3> semi_axes, std::array<std::array<double, 3>, 3> turn) {
  return [=](double x, double y, double z) {
    const double d[3] = {x - centre[0], y - centre[1], z - centre[2]};
    double level = 0;
    for (std::size_t a = 0; a < 3; ++a) {
      const double body = turn[0][a] * d[0] + turn[1][a] * d[1] + turn[2][a] * d[2];
      level += body * body / (semi_axes[a] * semi_axes[a]);
    }
    return level <= 1;
  };
}

struct SyntheticPore {
  std::string name;
  std::vector<Voxel> voxels;  // raster order
};

// An image of separated objects. Objects are added in any order; `pores()`
// gives them in raster order of their first voxel, the expected label order.
class SyntheticStack {
 public:
  SyntheticStack(std::int32_t nx, std::int32_t ny, std::int32_t nz, std::array<double, 3> voxel_size = {1, 1, 1})
      : nx(nx), ny(ny), nz(nz), voxel_size_(voxel_size), owner_(static_cast<std::size_t>(nx) * ny * nz, -1) {}

  const std::int32_t nx, ny, nz;

  // Every voxel whose centre lies in `body`. Throws if the object comes
  // within one voxel (26-neighbourhood) of another, which would merge them.
  void add(const std::string& name, const Body& body) {
    SyntheticPore pore{name, {}};
    for (std::int32_t z = 0; z < nz; ++z)
      for (std::int32_t y = 0; y < ny; ++y)
        for (std::int32_t x = 0; x < nx; ++x)
          if (body(x * voxel_size_[0], y * voxel_size_[1], z * voxel_size_[2])) pore.voxels.push_back({x, y, z});
    add_voxels(std::move(pore));
  }

  void add_voxels(SyntheticPore pore) {
    if (pore.voxels.empty()) throw std::logic_error(pore.name + " has no voxels");
    const int id = static_cast<int>(pores_.size());
    for (const Voxel& v : pore.voxels) {
      for (std::int32_t dz = -1; dz <= 1; ++dz)
        for (std::int32_t dy = -1; dy <= 1; ++dy)
          for (std::int32_t dx = -1; dx <= 1; ++dx) {
            const std::int32_t x = v[0] + dx, y = v[1] + dy, z = v[2] + dz;
            if (x < 0 || y < 0 || z < 0 || x >= nx || y >= ny || z >= nz) continue;
            const int other = owner_[index(x, y, z)];
            if (other >= 0 && other != id) throw std::logic_error(pore.name + " touches " + pores_[static_cast<std::size_t>(other)].name);
          }
      owner_[index(v[0], v[1], v[2])] = id;
    }
    std::sort(pore.voxels.begin(), pore.voxels.end(), [this](const Voxel& a, const Voxel& b) {
      return index(a[0], a[1], a[2]) < index(b[0], b[1], b[2]);
    });
    pores_.push_back(std::move(pore));
  }

  std::vector<SyntheticPore> pores() const {
    std::vector<SyntheticPore> sorted = pores_;
    std::sort(sorted.begin(), sorted.end(), [this](const SyntheticPore& a, const SyntheticPore& b) {
      return index(a.voxels[0][0], a.voxels[0][1], a.voxels[0][2]) < index(b.voxels[0][0], b.voxels[0][1], b.voxels[0][2]);
    });
    return sorted;
  }

  std::vector<std::uint16_t> samples(std::uint16_t inside, std::uint16_t outside) const {
    std::vector<std::uint16_t> s(owner_.size());
    for (std::size_t v = 0; v < owner_.size(); ++v) s[v] = owner_[v] >= 0 ? inside : outside;
    return s;
  }

  image::Mask mask() const {
    image::Mask m{nx, ny, nz, {}};
    for (int o : owner_) m.inside.push_back(o >= 0 ? 1 : 0);
    return m;
  }

  void write_tiff(const std::filesystem::path& file) const { image::write_tiff_stack(file, nx, ny, nz, samples(200, 20), 8); }

 private:
  std::size_t index(std::int32_t x, std::int32_t y, std::int32_t z) const {
    return static_cast<std::size_t>(x) + static_cast<std::size_t>(nx) * (static_cast<std::size_t>(y) + static_cast<std::size_t>(ny) * z);
  }

  std::array<double, 3> voxel_size_;
  std::vector<int> owner_;
  std::vector<SyntheticPore> pores_;
};

// The ellipsoid's true construction, for comparing the equivalent ellipsoid.
struct TiltedEllipsoid {
  std::array<double, 3> centre{30, 42, 28};
  std::array<double, 3> semi_axes{14, 7, 4};
  double beta = 30, gamma = 40;  // about y, then about z (degrees)
};

// The population the labelling tests read back from a TIFF stack (72 x 64 x
// 48, unit voxels): balls of three radii, an ellipsoid turned about two axes,
// a ball cut by the face x = 0, a speck of 3 voxels inside, and a speck of 2
// voxels on the face z = 47.
inline SyntheticStack population_stack() {
  SyntheticStack stack(72, 64, 48);
  const TiltedEllipsoid e;
  stack.add("ball r3", ball({12, 12, 12}, 3));
  stack.add("ball r5", ball({30, 14, 14}, 5));
  stack.add("ball r8", ball({54, 20, 22}, 8));
  stack.add("tilted ellipsoid", ellipsoid(e.centre, e.semi_axes, turn_y_then_z(e.beta, e.gamma)));
  stack.add("ball cut by x = 0", ball({0, 44, 10}, 4));
  stack.add_voxels({"speck", {{64, 56, 40}, {65, 56, 40}, {65, 57, 40}}});
  stack.add_voxels({"speck on z = 47", {{10, 60, 47}, {11, 60, 47}}});
  return stack;
}

}  // namespace csolver::testing
