// Pores in process: tasks are built in the order they are handed out, a pore
// that cannot be solved is a status with its reason, and the files keep it
// (empty tensor fields, left out of the sums) without losing the others.
#include "contribution/effective.h"
#include "contribution_pores/output_files.h"
#include "contribution_pores/population.h"
#include "tools/images/pore_stack.h"

#include <gtest/gtest.h>

namespace csolver::pores {
namespace {

using json = nlohmann::json;
namespace fx = contribution::effective;

Population two_balls(PoresOptions& options) {
  testing::SyntheticStack stack(30, 16, 16);
  stack.add("small ball", testing::ball({7, 7, 4}, 2.5));  // first in raster order: label 1
  stack.add("large ball", testing::ball({20, 8, 8}, 4));
  options.M = 4;
  return analyse_image(stack.mask(), options);
}

TEST(PorePopulation, LargestFirstAndFailuresAsStatuses) {
  PoresOptions options;
  const Population p = two_balls(options);
  ASSERT_EQ(p.selection.kept.size(), 2u);
  EXPECT_EQ(largest_first(p, {false, false}), (std::vector<std::size_t>{1, 0}));
  EXPECT_EQ(largest_first(p, {false, true}), (std::vector<std::size_t>{0}));

  options.materials.E1 = 1e-3;
  const SolveSettings pore_settings{options.materials, 1, false, {}};
  PoreTask empty = build_task(p, options, 0);
  ASSERT_TRUE(empty.failure.empty());
  std::fill(empty.flags.begin(), empty.flags.end(), 0);
  const PoreResult failed = solve_task(empty, pore_settings, nullptr);
  EXPECT_EQ(failed.status, PoreStatus::failed);
  EXPECT_NE(failed.message.find("empty"), std::string::npos) << failed.message;

  // A grid beyond the library's largest is refused before it is made.
  PoresOptions dense = options;
  dense.M = 0;
  dense.nodes_per_voxel = 1000;
  const PoreTask too_fine = build_task(p, dense, 1);
  EXPECT_NE(too_fine.failure.find("above the largest grid"), std::string::npos) << too_fine.failure;
  EXPECT_EQ(failed_result(too_fine).status, PoreStatus::failed);

  // A stop asked for before the solve cancels it.
  volatile std::sig_atomic_t stop = SIGTERM;
  EXPECT_EQ(solve_task(build_task(p, options, 1), pore_settings, &stop).status, PoreStatus::cancelled);

  // The files with pore 0 failed and pore 1 solved.
  const PoreResult solved = solve_task(build_task(p, options, 1), pore_settings, nullptr);
  ASSERT_EQ(solved.status, PoreStatus::solved);
  const std::vector<PoreResult> results = {failed, solved};
  const std::string csv = pores_csv(p, results);
  const std::size_t second_line = csv.find('\n') + 1;
  const std::string failed_row = csv.substr(second_line, csv.find('\n', second_line) - second_line);
  EXPECT_NE(failed_row.find(",failed,,,"), std::string::npos) << failed_row;
  EXPECT_EQ(failed_row.back(), ',') << "no tensor, iterations or flags";

  const json pores = json::parse(pores_json(options, p, results));
  EXPECT_EQ(pores["pores"][0]["status"], "failed");
  EXPECT_FALSE(pores["pores"][0].contains("H_tensor"));
  EXPECT_EQ(pores["pores"][0]["message"], failed.message);

  const EffectiveProperties e = effective_properties(options, p, results);
  EXPECT_EQ(e.unsolved, (std::vector<std::uint32_t>{p.selection.kept[0].label}));
  EXPECT_EQ(e.solved, 1u);
  EXPECT_EQ(e.porosity, p.selection.kept[0].volume_fraction + p.selection.kept[1].volume_fraction);
  EXPECT_EQ(e.solved_porosity, p.selection.kept[1].volume_fraction);
  const double phi = p.selection.kept[1].volume_fraction;
  EXPECT_NEAR(e.nia.compliance[0][0], e.S0[0][0] + phi * solved.H[0][0], 1e-15);
  const json effective = json::parse(effective_json(options, e));
  EXPECT_EQ(effective["pores"]["unsolved_labels"][0], p.selection.kept[0].label);
}

}  // namespace
}  // namespace csolver::pores
