#pragma once
// Effective elastic properties of a matrix with many inhomogeneities, pores or
// cracks, from the contribution tensors that the solver gives for one of each:
// the non-interaction approximation, the Mori-Tanaka scheme, concentration
// tensors from the solver's averaged fields, and isotropic projections.
// docs/effective.md gives every formula with its derivation and references.
//
// Conventions (all functions, inputs and results):
// - A Tensor6 is a 6x6 matrix t[row][column] in the STANDARD order
//   11, 22, 33, 23, 13, 12 (Voigt order), with ENGINEERING shear strains:
//   strain vectors are (e11, e22, e33, 2 e23, 2 e13, 2 e12), stress vectors
//   (s11, s22, s33, s23, s13, s12). So a stiffness C carries the shear modulus
//   G on its shear diagonal, and its compliance S = C^-1 carries 1/G.
//   The solver's printed tensors are in this order under the compliance
//   formulation and for cracks, but have shear order 12, 13, 23 under the
//   stiffness formulation; its mean_field has yet another order. Convert
//   with tensor_to_standard_order and mean_field_to_standard_order first.
// - H (compliance contribution) maps a remote stress to the extra average
//   strain, N (stiffness contribution) a remote strain to the extra average
//   stress. For an inhomogeneity or a pore they are per unit volume of the
//   inhomogeneity (dimensionless weights: volume fractions). A crack's H is
//   the opening integral, not divided by any volume: its weight is a number
//   density, cracks per unit volume, lengths in the units of the grid cube
//   [-1, 1]^3 (a penny crack of radius a then has the density parameter
//   rho a^3).
// - Concentration tensors: B maps a remote stress to the average stress in
//   the inhomogeneity, A a remote (engineering) strain to its average
//   (engineering) strain; with these conventions H = dS B and N = dC A, with
//   dS = S1 - S0 and dC = C1 - C0.
// Bad input (a non-finite entry, a negative weight, volume fractions summing
// to 1 or more where a scheme needs less, materials outside E > 0,
// -1 < nu < 0.5, a singular matrix) throws std::invalid_argument.
#include "contribution/types.h"

#include <vector>

namespace contribution::effective {

using contribution::Material;
using contribution::Tensor6;  // here always in the standard order

// Bulk and shear modulus with the Young's modulus and Poisson's ratio they
// imply.
struct IsotropicModuli {
  double K = 0, G = 0, E = 0, nu = 0;
};

// ---------------------------------------------------------------- orders --

// Where a 6x6 result came from. The solver chooses the stiffness formulation
// for E1/E0 > 1 and the compliance formulation otherwise (soft inclusions and
// pores); formulation_of says which.
enum class Origin { compliance_formulation, stiffness_formulation, crack };

Origin formulation_of(const Material& matrix, const Material& inhomogeneity);

// The printed H_tensor or N_tensor of a result, reordered to the standard
// order: shear 12, 13, 23 (stiffness formulation) becomes 23, 13, 12; the
// other origins are already standard and come back unchanged.
Tensor6 tensor_to_standard_order(const Tensor6& printed, Origin origin);

// The solver's mean_field (row = load case, column = component, tensor shear
// components) reordered to the standard order in both indices: the solver's
// component order is 11, 22, 33, 12, 13, 23 under the compliance formulation
// and 11, 22, 33, 23, 13, 12 under the stiffness formulation. Rows and columns
// keep their meaning; no factor of 2 is applied. A crack has no mean_field.
Tensor6 mean_field_to_standard_order(const Tensor6& mean_field, Origin origin);

// ------------------------------------------------------ isotropic tensors --

Tensor6 isotropic_stiffness(const Material& material);
Tensor6 isotropic_compliance(const Material& material);
IsotropicModuli moduli_of(const Material& material);

// The isotropic part of a stiffness, K = (C11 + C22 + C33 + 2 (C12 + C13 +
// C23))/9 and G = ((C11 + C22 + C33) - (C12 + C13 + C23) + 3 (C44 + C55 +
// C66))/15: the isotropic tensor nearest to C in the norm of the full
// fourth-rank tensor.
IsotropicModuli isotropic_projection_of_stiffness(const Tensor6& C);

// The moduli of the isotropic part of a compliance: 1/K = S11 + S22 + S33 +
// 2 (S12 + S13 + S23), 1/G = (4 ((S11 + S22 + S33) - (S12 + S13 + S23)) +
// 3 (S44 + S55 + S66))/15. For an anisotropic tensor this differs from the
// projection of its inverse (they agree to first order in the anisotropy);
// project the tensor a scheme produced: the compliance of the compliance
// schemes, the stiffness of the stiffness schemes.
IsotropicModuli isotropic_projection_of_compliance(const Tensor6& S);

// The matrix inverse (a compliance from a stiffness and back); a singular or
// non-finite matrix is rejected.
Tensor6 inverse(const Tensor6& t);

// ------------------------------------------------- concentration tensors --

// The stress concentration tensor B of an inhomogeneity solved under the
// compliance formulation (E1/E0 <= 1), from its mean_field in standard order
// (mean_field_to_standard_order). The solver's field is the contrast times
// the stress, so B = dS_t^-1 m^T dS_t with dS_t the contrast on tensor
// components (docs/effective.md); dS B is the solver's H before its cleaning
// and symmetrization. Rejects inputs of the stiffness formulation, and
// materials with equal bulk or equal shear moduli (the field then does not
// determine B).
Tensor6 stress_concentration(const Tensor6& mean_field, const Material& matrix, const Material& inhomogeneity);

// The strain concentration tensor A (engineering strains) of an inhomogeneity
// solved under the stiffness formulation (E1/E0 > 1): A = dC^-1 m^T dC, and
// dC A is the solver's N before cleaning and symmetrization. Rejects inputs of
// the compliance formulation and equal bulk or shear moduli.
Tensor6 strain_concentration(const Tensor6& mean_field, const Material& matrix, const Material& inhomogeneity);

// Between the two: B = C1 A S0 and A = S1 B C0, so that phases solved under
// different formulations can be mixed.
Tensor6 stress_from_strain_concentration(const Tensor6& A, const Material& matrix, const Material& inhomogeneity);
Tensor6 strain_from_stress_concentration(const Tensor6& B, const Material& matrix, const Material& inhomogeneity);

// ------------------------------------------------------------- schemes --

enum class Kind {
  inhomogeneity,  // weight: volume fraction; needs its concentration tensor
  pore,           // weight: volume fraction; empty (B = 0, A = -S0 N)
  crack,          // weight: number density; occupies no volume
};

// One family of identical, identically oriented inhomogeneities, pores or
// cracks, in compliance terms. B is read for inhomogeneities only.
struct CompliancePhase {
  Kind kind = Kind::pore;
  double weight = 0;
  Tensor6 H{};
  Tensor6 B{};
};

// The same in stiffness terms. A is read for inhomogeneities only.
struct StiffnessPhase {
  Kind kind = Kind::pore;
  double weight = 0;
  Tensor6 N{};
  Tensor6 A{};
};

// Non-interaction approximation: S = S0 + sum w_i H_i, and C = C0 + sum w_i
// N_i. The two are different approximations (each is linear in the
// concentrations in its own variable), not inverses of each other. Volume
// fractions must sum to at most 1.
Tensor6 nia_compliance(const Material& matrix, const std::vector<CompliancePhase>& phases);
Tensor6 nia_stiffness(const Material& matrix, const std::vector<StiffnessPhase>& phases);

// Mori-Tanaka: every inhomogeneity sees the average stress (strain) of the
// matrix. With c0 = 1 - (sum of volume fractions), which must be positive,
//   S = S0 + (sum w_i H_i) [c0 I + sum_inhomogeneities phi_i B_i]^-1,
//   C = C0 + (sum w_i N_i) [c0 I + sum_inhomogeneities phi_i A_i
//                                - sum_pores_and_cracks w_i S0 N_i]^-1.
// Pores and cracks alone: S = S0 + (sum w_i H_i)/c0. For consistent inputs
// (N = -C0 H C0, A = S1 B C0) the two results are each other's inverse.
Tensor6 mori_tanaka_compliance(const Material& matrix, const std::vector<CompliancePhase>& phases);
Tensor6 mori_tanaka_stiffness(const Material& matrix, const std::vector<StiffnessPhase>& phases);

// ------------------------------------------------ conduction (scalar) --
//
// Effective conductivity of a matrix (conductivity k0) with families of
// inhomogeneities, pores or cracks oriented at random (or of isotropic R), so
// that each enters through the isotropic part of its contribution tensors,
// K = tr(K)/3 = -k0^2 tr(R)/3 (contribution/conductivity.h). Pores are
// insulating inhomogeneities (k1 = 0); cracks are insulating, their R not
// divided by any volume, their weight a number density.

struct ConductionPhase {
  Kind kind = Kind::pore;
  double weight = 0;  // volume fraction; number density for cracks
  Tensor3 R{};        // resistivity contribution tensor
  double k1 = 0;      // inhomogeneities: their conductivity, up to infinity; pores and cracks: 0
};

// Non-interaction, conductivity form: k = k0 + sum w_i K_i.
double nia_conductivity(double k0, const std::vector<ConductionPhase>& phases);
// Non-interaction, resistivity form: 1/k = 1/k0 + sum w_i R_i (R_i = tr(R_i)/3).
double nia_resistivity(double k0, const std::vector<ConductionPhase>& phases);

// Mori-Tanaka: every inhomogeneity sees the mean field of the matrix,
//   k = k0 + (sum w_i K_i) / (c0 + sum w_i L_i),
// c0 = 1 - (sum of volume fractions), L_i the isotropic part of the field
// concentration, K_i / (k1 - k0): -K_i/k0 for pores and cracks (their field
// or jump is the insulator's), 0 for perfect conductors, 1 where k1 = k0.
double mori_tanaka_conductivity(double k0, const std::vector<ConductionPhase>& phases);

// Maxwell's scheme: the far field of all the inhomogeneities is that of one
// sphere of the effective conductivity holding them,
//   k = k0 + 1 / (1 / (sum w_i K_i) - 1 / (3 k0)),
// for a sum below 3 k0 (where the sphere would conduct perfectly); k0 when
// the sum is 0. For spheres it equals Mori-Tanaka and the Hashin-Shtrikman
// bound on the matrix's side.
double maxwell_conductivity(double k0, const std::vector<ConductionPhase>& phases);

}  // namespace contribution::effective
