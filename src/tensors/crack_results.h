#pragma once
// From the crack openings of the three load cases to the maximal openings and
// the crack's contribution tensors (index order of C0: xx, yy, zz, yz, xz, xy;
// the crack normal is z).
#include "model/problem_setup.h"

#include <Eigen/Dense>
#include <cstdint>
#include <span>
#include <vector>

namespace csolver {

using Matrix3 = Eigen::Matrix3d;

struct CrackReductions {
  Matrix3 max_opening = Matrix3::Zero();       // (load case, component), never below 0
  Matrix3 opening_integral = Matrix3::Zero();  // sums over the crack nodes, times h^2 once finished
};

// Reduces the openings of load case lc (1-3): the signed maximum over the
// whole sub-grid and the sum over the nodes whose mask is 1.
void reduce_crack_load_case(int lc, std::span<const double> opening, const std::vector<std::int32_t>& crack_mask,
                            CrackReductions& reductions);

struct CrackTensors {
  Matrix6 H_tensor = Matrix6::Zero();
  Matrix6 N_tensor = Matrix6::Zero();
};

// Scales the opening sums by h^2 and forms H (opening integrals on 33, 44,
// 55) and N = -C0 H C0.
CrackTensors compute_crack_tensors(const ProblemSetup& setup, CrackReductions& reductions);

}  // namespace csolver
