#pragma once
// Error bars of the effective compliance of pores and cracks, carried from
// the bars of their contribution tensors (a refinement study's H error).
//
// For pores and cracks alone both schemes are linear in the H_i:
// S = S0 + (sum w_i H_i) / c0, with c0 = 1 for the non-interaction
// approximation and c0 = 1 - (the pores' volume fraction) for Mori-Tanaka.
// So bars H_i +- dH_i give S +- sum w_i dH_i / c0, entry by entry.
#include "contribution/effective.h"

#include <vector>

namespace contribution::effective {

enum class Scheme { non_interaction, mori_tanaka };

// Entrywise half-widths of S; `H_errors[i]` belongs to phases[i], in the
// standard order, entries >= 0. Throws std::invalid_argument for an
// inhomogeneity phase (its concentration tensor carries an error too), a
// count that differs, a negative or non-finite entry, or pores that fill
// the volume (Mori-Tanaka).
Tensor6 compliance_error(const std::vector<CompliancePhase>& phases, const std::vector<Tensor6>& H_errors, Scheme scheme);

// The isotropic projection's moduli at the two ends that an entrywise bar
// of S allows. 1/K = S11 + S22 + S33 + 2 (S12 + S13 + S23) and 1/G = (4 (S11
// + S22 + S33 - (S12 + S13 + S23)) + 3 (S44 + S55 + S66)) / 15 are sums of
// entries, so their bars are the same sums of the entries' bars; E grows
// with K and G, nu grows with K and falls with G. A bar that reaches a
// non-positive 1/K or 1/G leaves that modulus unbounded above (infinity).
struct ModulusRange {
  double low = 0, high = 0;
};
struct IsotropicRange {
  IsotropicModuli moduli;  // of S itself
  ModulusRange E, nu, K, G;
};
IsotropicRange isotropic_moduli_range(const Tensor6& S, const Tensor6& S_error);

// The half-width that covers a range around `value`: the larger distance to
// either end (infinity for an unbounded end).
double covering_error(double value, const ModulusRange& range);

// ------------------------------------------------ conduction (scalar) --
//
// Each conduction scheme depends on a phase's R only through its isotropic
// part tr(R)/3, whose bar is tr(R_error)/3 (the diagonal's half-widths
// add). Every scheme falls as any phase's isotropic part grows (more
// resistance), so the range of k is the scheme at all parts raised by their
// bars and at all lowered; Mori-Tanaka does so only where the phases share
// one concentration factor, one k1 (pores and cracks count as k1 = 0).

enum class ConductionScheme { nia, nia_resistivity, mori_tanaka, maxwell };

// The scheme itself (contribution/effective.h).
double conductivity(ConductionScheme scheme, double k0, const std::vector<ConductionPhase>& phases);

// The effective conductivity at the two ends the bars allow; an end past a
// pole of the scheme (a non-positive effective resistivity, Maxwell's sphere
// conducting perfectly, a vanishing Mori-Tanaka field) is infinite:
// unbounded. Throws std::invalid_argument for a count that differs, a
// negative or non-finite entry, Mori-Tanaka over phases of different k1, or
// what the scheme itself refuses at the phases' own R.
ModulusRange conductivity_range(ConductionScheme scheme, double k0, const std::vector<ConductionPhase>& phases,
                                const std::vector<Tensor3>& R_errors);

}  // namespace contribution::effective
