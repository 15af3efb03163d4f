#pragma once
// From the averaged fields of the six load cases to the compliance and
// stiffness contribution tensors of the inhomogeneity.
//
// Shear order of the printed tensors: 23, 13, 12 under the compliance
// formulation and 12, 13, 23 under the stiffness formulation (the solver's
// components 4 and 6 exchanged). mean_field keeps the solver's order.
#include "model/problem_setup.h"

namespace csolver {

inline constexpr double SMALL_ENTRY = 0.0010000000474974513;     // float(0.001)
inline constexpr double SYMMETRY_RATIO = 1.0499999523162842;     // float(1.05)
inline constexpr double MEAN_FLOOR = 9.999999974752427e-07;      // float(1e-6)

struct InhomogeneityTensors {
  Matrix6 contrast_product = Matrix6::Zero();  // P after cleaning, test and symmetrization
  Matrix6 H_tensor = Matrix6::Zero();
  Matrix6 N_tensor = Matrix6::Zero();
  Matrix6 mean_field = Matrix6::Zero();  // cleaned for printing
  int symmetry_flag = 1;
};

// P(c, j) = sum_k D(j, k) mean_field(k, c), D = dS or dC by formulation.
Matrix6 contrast_product(const ProblemSetup& setup, const Matrix6& mean_field);

// The bound below which entries of P count as zero: SMALL_ENTRY in units of
// the matrix modulus (P is a compliance under the compliance formulation, a
// stiffness under the stiffness formulation), so that E0 = 70000 MPa cleans
// the same entries as E0 = 1.
double small_entry_bound(const ProblemSetup& setup);

// Zeroes entries below `bound` in magnitude and exchanges components 4 and 6.
void clean_and_reorder(Matrix6& P, double bound = SMALL_ENTRY);

// The one-sided ratio test on the two diagonal 3x3 blocks.
int symmetry_test(const Matrix6& P);

void symmetrize(Matrix6& P);

InhomogeneityTensors compute_contribution_tensors(const ProblemSetup& setup, const Matrix6& mean_field);

}  // namespace csolver
