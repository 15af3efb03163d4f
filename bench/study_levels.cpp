// Extrapolates measured level sequences as the study would: reads the lines
// of scripts/level-sequence (M, h, seconds, H row by row, N row by row),
// keeps the levels named on the command line and prints, per non-zero entry
// of H (or N), the extrapolated value, its error, the order and each model.
//   build/bench_study_levels runs/levels.txt "16 24 32 40 48" [H|N]
#include "contribution/study.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_study_levels LEVELS_FILE \"M LIST\" [H|N]\n");
    return 2;
  }
  const bool use_n = argc > 3 && std::string(argv[3]) == "N";
  std::map<int, contribution::Tensor6> by_m;
  std::ifstream in(argv[1]);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    double M = 0, h = 0, seconds = 0;
    fields >> M >> h >> seconds;
    contribution::Tensor6 H{}, N{};
    for (auto& row : H) for (double& x : row) fields >> x;
    for (auto& row : N) for (double& x : row) fields >> x;
    if (fields) by_m[static_cast<int>(M)] = use_n ? N : H;
  }
  std::vector<double> h;
  std::vector<contribution::Tensor6> levels;
  std::istringstream list(argv[2]);
  for (int M; list >> M;) {
    if (!by_m.count(M)) {
      std::fprintf(stderr, "bench_study_levels: no level M = %d in %s\n", M, argv[1]);
      return 1;
    }
    h.push_back(2.0 / M);
    levels.push_back(by_m[M]);
  }
  try {
    std::vector<double> values(levels.size());
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 6; ++j) {
        for (std::size_t l = 0; l < levels.size(); ++l) values[l] = levels[l][i][j];
        const contribution::Extrapolation e = contribution::extrapolate(h, values);
        if (e.value == 0 && e.error == 0) continue;
        std::printf("%d %d %.12g %.6g %.4f %d", i + 1, j + 1, e.value, e.error, e.order, e.order_at_bound ? 1 : 0);
        for (const contribution::ModelFit& m : e.models)
          std::printf(" | %s %.12g %.4g %d", contribution::describe(m.model), m.limit, m.half_width, m.plausible ? 1 : 0);
        std::printf("\n");
      }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_study_levels: %s\n", error.what());
    return 1;
  }
  return 0;
}
