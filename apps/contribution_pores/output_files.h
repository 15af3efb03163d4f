#pragma once
// The files of a population run: pores.csv and pores.json (one row or object
// per kept pore, in label order) and effective.json. Their content only; the
// run writes them atomically once every pore has its result.
//
// Tensors are 6x6 in the standard Voigt order 11, 22, 33, 23, 13, 12 with
// engineering shear strains (2 e23, 2 e13, 2 e12), as the program reports a
// pore (compliance formulation); H and N are per unit pore volume.
#include "contribution/effective.h"
#include "contribution_pores/options.h"
#include "contribution_pores/population.h"
#include "contribution_pores/pore_result.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace csolver::pores {

// Indented JSON with every array of numbers on one line, so that a 6x6
// tensor reads as six rows.
std::string layout_json(const nlohmann::ordered_json& value);

// The grids every pore is solved on: {"ladder": [...]}, {"M": M} or
// {"nodes_per_voxel": D}, with "fill".
nlohmann::ordered_json grid_of(const PoresOptions& options);

struct SchemeResult {
  contribution::Tensor6 compliance{};
  contribution::Tensor6 stiffness{};
  contribution::effective::IsotropicModuli isotropic;
  // From the pores' H bars (zero on one grid): entrywise half-widths of the
  // compliance, and for E, nu, K, G the half-width covering the range the
  // compliance's bar allows (infinity where it reaches a non-positive
  // compliance).
  contribution::Tensor6 compliance_error{};
  contribution::effective::IsotropicModuli isotropic_error;
};

// Both physics' effective records: every kept pore's volume fraction into
// e.porosity; a solved pore's also into e.solved_porosity, counted in
// e.solved and handed to on_solved(i) (i: its place among the kept pores);
// a failed one's label into e.unsolved.
template <class Effective, class Results, class OnSolved>
void tally_kept_pores(const Population& population, const Results& results, Effective& e, OnSolved&& on_solved) {
  const std::vector<image::PoreProperties>& kept = population.selection.kept;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    e.porosity += kept[i].volume_fraction;
    if (results[i].status != PoreStatus::solved) {
      e.unsolved.push_back(kept[i].label);
      continue;
    }
    e.solved_porosity += kept[i].volume_fraction;
    ++e.solved;
    on_solved(i);
  }
}

struct EffectiveProperties {
  contribution::Tensor6 S0{}, C0{};
  double porosity = 0;          // volume fraction of every kept pore
  double solved_porosity = 0;   // of those whose tensors enter the sums
  std::size_t solved = 0;
  std::vector<std::uint32_t> unsolved;  // labels of pores that failed
  SchemeResult nia, mori_tanaka;
};

// Non-interaction: S = S0 + sum phi_i H_i; Mori-Tanaka: S = S0 + (sum phi_i
// H_i) / (1 - sum phi_i), phi_i the pore's voxels over the image's. Both
// stiffnesses are the inverses of these compliances, and the isotropic
// moduli those of the compliance's isotropic projection (docs/pores.md).
EffectiveProperties effective_properties(const PoresOptions& options, const Population& population,
                                         const std::vector<PoreResult>& results);

// `results[i]` belongs to population.selection.kept[i].
std::string pores_csv(const Population& population, const std::vector<PoreResult>& results);
std::string pores_json(const PoresOptions& options, const Population& population, const std::vector<PoreResult>& results);
std::string effective_json(const PoresOptions& options, const EffectiveProperties& effective);

}  // namespace csolver::pores
