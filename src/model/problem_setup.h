#pragma once
// The run-wide records of the problem: input values and derived elastic
// constants, the full node table and the bounding box of the flagged nodes.
#include "contribution/contrast.h"
#include "contribution/types.h"
#include "numlib/matrix6.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace csolver {

// stiffness: the field solved for is a strain, the contrast is dC (E1 > E0).
// compliance: the field is a stress, the contrast is dS (E1 <= E0, pores).
using contribution::Formulation;

// The radial functions of the crack's traction kernel.
// specified: the tabulated forms (single-precision constants, polynomial
//   Bessel approximations, truncated large-distance forms beyond 5.9 grid
//   steps). Their far form leaves a spurious local spring that grows against
//   the operator as the grid is refined.
// exact: the same functions to rounding error at every distance, so the
//   opening converges at first order in h.
using contribution::PlanarKernel;

inline constexpr std::size_t FUNCTION_TEXT_LENGTH = 100;

struct ProblemSetup {
  double E0 = 0, n0 = 0, E1 = 0, n1 = 0;
  std::int32_t problem_type = 1;  // 0: planar crack, anything else: inhomogeneity
  std::string function_text = std::string(FUNCTION_TEXT_LENGTH, ' ');
  std::int32_t M = 0;  // intervals per axis
  std::int32_t N = 0;  // nodes per axis, M + 1
  double h = 0;        // grid step, the single-precision quotient 2/M
  double tol = 0;
  double G0 = 0, G1 = 0, lambda0 = 0, lambda1 = 0, c_nu = 0;
  double dS_vol = 0, dS_shear = 0, dC_vol = 0, dC_shear = 0;
  Matrix6 C0 = Matrix6::Zero(), C1 = Matrix6::Zero(), S0 = Matrix6::Zero(), S1 = Matrix6::Zero();
  Matrix6 dC = Matrix6::Zero(), dS = Matrix6::Zero();
  Formulation formulation = Formulation::compliance;
  contribution::FormulationRule formulation_rule = contribution::FormulationRule::specified;
  contribution::MeanFieldEstimate mean_field = contribution::MeanFieldEstimate::smoothed;

  bool is_crack() const { return problem_type == 0; }
};

// Fills every derived constant and matrix of `setup` from E0, n0, E1, n1.
// E1 = 0 (void) and E1 = infinity (rigid) take the limits: the contrast that
// stays finite is exact (dC = -C0, dS = -S0), the other one is infinite.
void derive_constants(ProblemSetup& setup);

// 2/M evaluated in single precision and widened, as the grid was laid out.
double grid_step(std::int32_t M);

// The grid's nodes with their flags: N^3 nodes, or N^2 for a crack, whose
// plane k = 0 alone matters; node (i, j, k), 0-based, at i + N (j + N k).
// Coordinates are used as given where a front end read them; empty
// coordinate arrays stand for the regular grid -1 + i h.
struct NodeTable {
  std::int32_t N = 0;
  std::int32_t planes = 0;  // N, or 1 for a crack plane
  double h = 0;             // grid step of the regular coordinates
  std::vector<double> node_x, node_y, node_z;
  std::vector<std::int32_t> node_flag;

  NodeTable() = default;
  // Flags zero; with_coordinates allocates coordinate arrays (zero) to fill.
  NodeTable(std::int32_t nodes_per_axis, std::int32_t plane_count, double grid_step, bool with_coordinates);

  std::size_t size() const { return node_flag.size(); }
  std::size_t index(std::int32_t i, std::int32_t j, std::int32_t k) const {
    const auto n = static_cast<std::size_t>(N);
    return static_cast<std::size_t>(i) + n * (static_cast<std::size_t>(j) + n * static_cast<std::size_t>(k));
  }
  bool regular() const { return node_x.empty(); }
  double x(std::size_t node, std::int32_t i) const { return regular() ? -1 + i * h : node_x[node]; }
  double y(std::size_t node, std::int32_t j) const { return regular() ? -1 + j * h : node_y[node]; }
  double z(std::size_t node, std::int32_t k) const { return regular() ? -1 + k * h : node_z[node]; }
};

// Index range of the flagged nodes: box node (i, j, k), 0-based, is full-grid
// node (ix0 + i, iy0 + j, iz0 + k).
struct BoxBounds {
  std::int32_t ix0 = 0, iy0 = 0, iz0 = 0;
  std::int32_t nx = 0, ny = 0, nz = 1;

  std::size_t size() const {
    return static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * static_cast<std::size_t>(nz);
  }
  // Nodes per axis, x first, as the convolution takes them: a crack's plane
  // (rank 2) or a volume's box (rank 3).
  std::vector<int> extents(int rank) const {
    if (rank == 2) return {nx, ny};
    return {nx, ny, nz};
  }
};

// Bounds of the nodes flagged 1 over the whole grid (inhomogeneity) or over
// the plane k = 0 (crack, nz = 1). No flagged node gives extents below 1.
// The arithmetic assumes the regular grid of the table's N.
BoxBounds inhomogeneity_bounds(const NodeTable& nodes, double h);
BoxBounds crack_bounds(const NodeTable& nodes, double h);

// The inhomogeneity's box with its per-node data, x fastest.
struct Box {
  BoxBounds bounds;
  std::vector<double> box_x, box_y, box_z;
  std::vector<std::int32_t> box_flag;
  std::vector<double> box_coef_vol, box_coef_shear;

  std::size_t size() const { return bounds.size(); }
};

// The console program's rule: stiffness for E1/E0 > 1.
Formulation choose_formulation(double E1, double E0);
// The formulation `rule` takes; E1 = 0 and E1 = infinity take the bounded one.
// A fixed formulation whose contrast is infinite throws InvalidProblem.
Formulation choose_formulation(contribution::FormulationRule rule, double E1, double E0);

// Copies the box's coordinates and flags out of the node table (no contrast).
Box box_geometry(const NodeTable& nodes, const BoxBounds& bounds);

// Copies the box out of the node table and fills the contrast per node.
Box build_box(const ProblemSetup& setup, const NodeTable& nodes, const BoxBounds& bounds);

}  // namespace csolver
