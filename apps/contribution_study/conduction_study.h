#pragma once
// contribution_study --physics conductivity: the conduction study of one
// shape (an inhomogeneity of conductivity k1, or an insulating crack) in a
// matrix of conductivity k0, with the levels, extrapolation, files and
// signals of the elastic study.
#include "cli/command_line.h"
#include "contribution/solve.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace csolver::study_tool {

// What the elastic study program lends the conduction study.
struct StudyHooks {
  contribution::ProgressCallback progress;                         // load-case lines; false once stopped
  void (*on_stop_signal)(int) = nullptr;                            // the SIGINT/SIGTERM handler
  const volatile std::sig_atomic_t* stop_requested = nullptr;       // the signal that stopped the study
  std::vector<std::int32_t> (*parse_levels)(const std::string&) = nullptr;  // --M
};

// Levels when --M is not given: five or more spanning a factor of 3 or more
// in h, each level's grid fine enough that the error bars of the sphere,
// spheroids and penny cracks of radius 0.5 meet their targets, in about two
// minutes on two cores (docs/conductivity.md).
std::vector<std::int32_t> default_conduction_levels(bool crack);

// The part of the command line after the physics was chosen.
int conduction_study(const cli::CommandLine& cl, cli::Options& o, std::FILE* out, const StudyHooks& hooks);

}  // namespace csolver::study_tool
