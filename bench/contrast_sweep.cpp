// Single-grid error of the contribution tensor against Eshelby's ellipsoid
// over the contrast, for each formulation rule and mean-field estimate: one
// solve per (shape, contrast, rule, M) gives all three estimates, which differ
// only in how the solved field is averaged.
//   build/bench_contrast_sweep [M ...]          (default 16 24 32 48)
//   CS_SHAPES="sphere oblate prolate" CS_RULES="specified bounded" CS_RATIOS="0 0.001 ..." narrow the sweep;
//   CS_AXES="A B C" adds the ellipsoid "custom".
// Prints one line per solve and estimate: shape, E1/E0, rule, formulation
// taken, estimate, M, the largest iteration count of the six load cases,
// H11, H33, H55 (the 13 shear) over Eshelby's values and the flagged
// fraction a of the corrected estimate; then, per estimate, the study's
// extrapolation of the three ratios over the levels ("!" where the bar
// misses 1).
#include "api/pipeline.h"
#include "contribution/study.h"
#include "effective/eshelby_ellipsoid.h"
#include "shapes/shapes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using contribution::FormulationRule;
using contribution::MeanFieldEstimate;
namespace shapes = csolver::shapes;

struct Shape {
  const char* name;
  shapes::Point semi_axes;
};

std::vector<std::string> words(const char* env, const char* fallback) {
  const char* text = std::getenv(env);
  std::istringstream in(text ? text : fallback);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> levels;
  for (int a = 1; a < argc; ++a) levels.push_back(std::atoi(argv[a]));
  if (levels.empty()) levels = {16, 24, 32, 48};
  std::vector<Shape> all_shapes = {
      {"sphere", {0.5, 0.5, 0.5}}, {"oblate", {0.55, 0.55, 0.22}}, {"prolate", {0.3, 0.3, 0.7}}};
  // CS_AXES="A B C": one more ellipsoid, named "custom" (CS_SHAPES=custom).
  if (const char* axes = std::getenv("CS_AXES")) {
    std::istringstream in(axes);
    Shape custom{"custom", {}};
    in >> custom.semi_axes[0] >> custom.semi_axes[1] >> custom.semi_axes[2];
    all_shapes.push_back(custom);
  }
  const auto shape_names = words("CS_SHAPES", "sphere oblate prolate");
  const auto rule_names = words("CS_RULES", "specified bounded");
  const auto ratio_names = words("CS_RATIOS", "0 0.001 0.01 0.1 0.5 0.67 1.5 2 10 100 1000 inf");
  const double E0 = 1, nu = 0.3;
  const effective_testing::Rotation identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  std::printf("# shape E1/E0 rule formulation estimate M iterations H11/ref H33/ref H55/ref a\n");
  for (const Shape& shape : all_shapes) {
    bool wanted = false;
    for (const auto& n : shape_names) wanted = wanted || n == shape.name;
    if (!wanted) continue;
    for (const std::string& ratio_text : ratio_names) {
      const double ratio = ratio_text == "inf" ? std::numeric_limits<double>::infinity() : std::stod(ratio_text);
      // The limits through moduli close enough to them (1e-8 relative).
      const double E1_ref = ratio == 0 ? 1e-8 : std::isinf(ratio) ? 1e8 : ratio;
      const auto ref = effective_testing::eshelby_ellipsoid(shape.semi_axes, identity, E0, nu, E1_ref * E0, nu);
      for (const std::string& rule_name : rule_names) {
        const FormulationRule rule = *contribution::parse_formulation_rule(rule_name);
        if (rule == FormulationRule::specified && (ratio == 0 || std::isinf(ratio))) continue;  // = bounded
        // Per estimate, the three entries over the levels, for the study's extrapolation.
        std::vector<std::vector<double>> sequences(9);
        std::vector<double> steps;
        for (int M : levels) {
          csolver::ProblemSetup setup;
          setup.E0 = E0, setup.n0 = nu, setup.E1 = ratio * E0, setup.n1 = nu;
          setup.M = M, setup.N = M + 1, setup.h = csolver::grid_step(M), setup.tol = 1e-6;
          setup.formulation_rule = rule;
          setup.mean_field = MeanFieldEstimate::corrected;  // also computes the flagged fraction
          csolver::derive_constants(setup);
          csolver::NodeTable nodes = shapes::volume_node_table(M, shapes::inside(shapes::Ellipsoid{shape.semi_axes}));
          nodes.node_x.clear(), nodes.node_y.clear(), nodes.node_z.clear();
          csolver::RunOptions options;
          options.effort = csolver::PlannerEffort::estimate;
          options.threads = 1;
          const csolver::InhomogeneityRun run = csolver::run_inhomogeneity(setup, std::move(nodes), {}, options);
          int iterations = 0;
          for (const auto& lc : run.solution.load_cases) iterations = std::max(iterations, lc.iterations);
          const std::pair<const char*, csolver::Matrix6> estimates[] = {
              {"smoothed", run.solution.smoothed_mean},
              {"coefficient", run.solution.coefficient_mean},
              {"corrected", run.solution.mean_field}};
          steps.push_back(setup.h);
          int e = 0;
          for (const auto& [name, mean] : estimates) {
            const csolver::InhomogeneityTensors t = csolver::compute_contribution_tensors(run.setup, mean);
            sequences[static_cast<std::size_t>(3 * e)].push_back(t.H_tensor(0, 0) / ref.H(0, 0));
            sequences[static_cast<std::size_t>(3 * e + 1)].push_back(t.H_tensor(2, 2) / ref.H(2, 2));
            sequences[static_cast<std::size_t>(3 * e + 2)].push_back(t.H_tensor(4, 4) / ref.H(4, 4));
            ++e;
            std::printf("%s %s %s %s %s %d %d %.4f %.4f %.4f %.4f\n", shape.name, ratio_text.c_str(), rule_name.c_str(),
                        run.setup.formulation == contribution::Formulation::stiffness ? "stiffness" : "compliance",
                        name, M, iterations, t.H_tensor(0, 0) / ref.H(0, 0), t.H_tensor(2, 2) / ref.H(2, 2),
                        t.H_tensor(4, 4) / ref.H(4, 4), run.solution.flagged_fraction);
          }
          std::fflush(stdout);
        }
        if (steps.size() < 3) continue;
        // The study's rule on these levels: extrapolated ratio and its error bar.
        const char* names[] = {"smoothed", "coefficient", "corrected"};
        for (int e = 0; e < 3; ++e) {
          std::printf("extrapolated %s %s %s %s", shape.name, ratio_text.c_str(), rule_name.c_str(), names[e]);
          for (int entry = 0; entry < 3; ++entry) {
            // The study's floor for the estimate (contribution/study.h).
            const double margin = e == 0 ? contribution::EXTRAPOLATION_MARGIN : contribution::RISING_ORDER_MARGIN;
            const contribution::Extrapolation x =
                contribution::extrapolate(steps, sequences[static_cast<std::size_t>(3 * e + entry)], margin);
            std::printf(" %.4f+-%.4f%s", x.value, x.error, std::fabs(x.value - 1) <= x.error ? "" : "!");
          }
          std::printf("\n");
        }
      }
    }
  }
  return 0;
}
