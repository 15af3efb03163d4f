// The refinement study on sequences the program measured (fixtures in
// measured_sequences.h): the analytic value lies in every bar, and the bars
// are as narrow as docs/study.md reports.
#include "study/measured_sequences.h"
#include "support/analytic.h"

#include "contribution/study.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

namespace contribution {
namespace {

using csolver::testing::MeasuredEntry;
using csolver::testing::MeasuredSequence;

std::vector<double> steps(const std::vector<int>& M) {
  std::vector<double> h;
  for (int m : M) h.push_back(2.0 / m);
  return h;
}

// Level sets of five or more: all levels, every other level, the finest
// five and the coarsest five.
std::vector<std::vector<std::size_t>> subsets(std::size_t L) {
  std::vector<std::vector<std::size_t>> sets(4);
  for (std::size_t i = 0; i < L; ++i) sets[0].push_back(i);
  for (std::size_t i = L % 2 == 0 ? 1 : 0; i < L; i += 2) sets[1].push_back(i);
  for (std::size_t i = L - 5; i < L; ++i) sets[2].push_back(i);
  for (std::size_t i = 0; i < 5; ++i) sets[3].push_back(i);
  if (sets[1].size() < 5) sets.erase(sets.begin() + 1);
  return sets;
}

// Bars that missed the analytic value, with how far (in bars).
struct Coverage {
  int cases = 0;
  std::vector<std::string> misses;
  double worst = 0;  // largest |value - analytic| / error
  void add(const std::string& what, const Extrapolation& e, double truth) {
    ++cases;
    const double distance = std::abs(e.value - truth) / e.error;
    worst = std::max(worst, distance);
    if (distance > 1) {
      std::ostringstream line;
      line << what << ": " << e.value << " +- " << e.error << ", analytic " << truth;
      misses.push_back(line.str());
    }
  }
};

std::string describe_case(const char* sequence, const char* entry, const std::vector<int>& M) {
  std::ostringstream s;
  s << sequence << " " << entry << " M =";
  for (int m : M) s << " " << m;
  return s.str();
}

double relative_width(const Extrapolation& e) { return e.error / std::abs(e.value); }

// 63 bars over spheres at four contrasts and the soft spheroid. One missed
// when this was written, as docs/study.md reports: the stiff sphere's H44
// from M = 16, 24, 32, 40, 48, 0.49 % high +- 0.30 % (a smooth sequence whose
// coarsest level is not yet asymptotic, so the fits agree on a wrong curve).
TEST(MeasuredSequences, AnalyticValuesLieInTheBars) {
  Coverage coverage;
  for (const MeasuredSequence& s : csolver::testing::measured_spheres()) {
    const csolver::testing::SphereTensor exact = csolver::testing::eshelby_sphere(1, 0.3, s.E1, 0.3);
    for (const MeasuredEntry& entry : s.entries) {
      const double truth = entry.row != entry.column ? exact.H12 : entry.row == 1 ? exact.H11 : exact.H44;
      for (const std::vector<std::size_t>& subset : subsets(s.M.size())) {
        std::vector<int> M;
        std::vector<double> v;
        for (std::size_t i : subset) M.push_back(s.M[i]), v.push_back(entry.values[i]);
        coverage.add(describe_case(s.name, entry.name, M), extrapolate(steps(M), v), truth);
      }
    }
  }
  const MeasuredSequence& s = csolver::testing::measured_spheroid();
  for (const MeasuredEntry& entry : s.entries) {
    double truth = 0;
    for (const auto& a : csolver::testing::SPHEROID_ANALYTIC)
      if (std::strcmp(a.name, entry.name) == 0) truth = a.value;
    ASSERT_NE(truth, 0) << entry.name;
    for (const std::vector<std::size_t>& subset : subsets(s.M.size())) {
      std::vector<int> M;
      std::vector<double> v;
      for (std::size_t i : subset) M.push_back(s.M[i]), v.push_back(entry.values[i]);
      coverage.add(describe_case(s.name, entry.name, M), extrapolate(steps(M), v), truth);
    }
  }
  std::ostringstream listed;
  for (const std::string& m : coverage.misses) listed << "\n  " << m;
  EXPECT_EQ(coverage.cases, 63);
  EXPECT_LE(coverage.misses.size(), 1u) << "bars that miss:" << listed.str();
  EXPECT_LT(coverage.worst, 2.0) << "bars that miss:" << listed.str();
}

// Nine levels M = 16..48: bars of 0.5 to 0.7 % on the stiff and soft
// spheres' diagonal entries (the finest level is 0.3 to 0.7 % off), and an
// order that says the sequences converge faster than first order.
TEST(MeasuredSequences, SphereBarsFromNineLevels) {
  for (const MeasuredSequence& s : csolver::testing::measured_spheres()) {
    if (s.E1 != 10 && s.E1 != 0.1) continue;
    for (const MeasuredEntry& entry : s.entries) {
      if (entry.row != entry.column) continue;
      const Extrapolation e = extrapolate(steps(s.M), entry.values);
      EXPECT_LT(relative_width(e), 0.008) << s.name << " " << entry.name;
      EXPECT_GT(e.order, 1.5) << s.name << " " << entry.name;
    }
  }
}

TEST(MeasuredSequences, SoftSpheroidTensorAndH33WithinOnePointFivePercent) {
  const MeasuredSequence& s = csolver::testing::measured_spheroid();
  std::vector<Tensor6> levels(s.M.size(), Tensor6{});
  for (const MeasuredEntry& entry : s.entries)
    for (std::size_t l = 0; l < s.M.size(); ++l) levels[l][entry.row - 1][entry.column - 1] = entry.values[l];
  // The tensor at once: H33 (3 % low at M = 110) to within 1.5 %, the
  // entries not measured stay exact zeros.
  const TensorExtrapolation t = extrapolate_tensors(steps(s.M), levels);
  EXPECT_LT(t.error[2][2] / t.value[2][2], 0.015);
  EXPECT_LE(std::abs(t.value[2][2] - 2.836669211), t.error[2][2]);
  EXPECT_EQ(t.value[1][4], 0.0);
  EXPECT_EQ(t.error[1][4], 0.0);
  EXPECT_TRUE(std::isnan(t.order[1][4]));
  // The largest diagonal entry is H44; its order is the tensor's.
  EXPECT_EQ(t.dominant_order, t.order[3][3]);
}

}  // namespace
}  // namespace contribution
