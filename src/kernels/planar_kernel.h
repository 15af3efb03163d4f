#pragma once
// The traction kernel of a planar crack between Gaussian approximating
// functions of the crack opening, on the crack plane's sub-grid.
#include "model/problem_setup.h"
#include "numlib/convolution.h"

#include <cstdint>
#include <vector>

namespace csolver {

// Kernel slots in the crack convolution.
inline constexpr int K11 = 0, K12 = 1, K22 = 2, K33 = 3, KG = 4;
inline constexpr int PLANAR_KERNELS = 5;

// The crack plane's sub-grid: node (i, j), 0-based, is full-grid node
// (ix0 + i, iy0 + j, 0); arrays x fastest.
struct CrackGrid {
  BoxBounds bounds;
  std::vector<double> crack_x, crack_y;
  std::vector<std::int32_t> crack_mask;

  std::size_t size() const { return bounds.size(); }
};

CrackGrid build_crack_grid(const NodeTable& nodes, const BoxBounds& bounds);

struct PlanarKernelValues {
  double k11, k12, k22, k33, gauss;
};

// Kernel values for the in-plane offset (dx, dy); (0, 0) gives the
// zero-offset values. `kernel` picks the radial functions (planar_radial.h).
PlanarKernelValues planar_kernel_values(double dx, double dy, double h, double G0, double c_nu,
                                        PlanarKernel kernel);

// Parities of the five kernels along x and y: K12 is odd along both, the
// others even.
std::vector<AxisParities> planar_kernel_parities();

// Whether crack_x depends on i alone and crack_y on j alone, bit for bit.
bool separable_plane(const CrackGrid& grid);

// The mirror rule makes every kernel exactly even or odd off the axes. On
// the axes (m = 0 or n = 0) K12 is taken from coordinates and vanishes only
// when crack_x depends on i alone and crack_y on j alone: then the parities
// (octant layout), otherwise none (half spectrum).
std::vector<AxisParities> planar_kernel_symmetry(const CrackGrid& grid);

// Fills the five kernels of `conv` (K11, K12, K22, K33, KG) for every offset
// of the sub-grid by the mirror rule (only the quadrant of non-negative
// offsets when `conv` keeps the octant layout), then transforms them.
void build_planar_kernel(const ProblemSetup& setup, const CrackGrid& grid, PlanarKernel kernel,
                         PaddedConvolution& conv);

}  // namespace csolver
