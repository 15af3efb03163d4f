// The padded FFT convolution must equal the linear convolution over the box,
// written as a direct double sum over node pairs.
#include "numlib/convolution.h"
#include "support/literal_convolution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace csolver {
namespace {

// One test case: box extents (rank 2 or 3) and a coupling with asymmetric
// entries and weights.
struct Case {
  std::vector<int> box;
  int inputs, outputs;
};

class ConvolutionVsDirectSum : public ::testing::TestWithParam<Case> {};

TEST_P(ConvolutionVsDirectSum, MatchesLinearConvolution) {
  const Case& c = GetParam();
  const int kernels = 3;
  PaddedConvolution conv(c.box, kernels, c.outputs, PlannerEffort::estimate);
  const std::vector<int> n = {c.box[0], c.box.size() > 1 ? c.box[1] : 1, c.box.size() > 2 ? c.box[2] : 1};
  std::mt19937 random(42);
  std::uniform_real_distribution<double> uniform(-1, 1);

  // Random kernel values, even in the offset as every elastic kernel is (the
  // convolution relies on real spectra), but otherwise unrelated, so that a
  // misplaced offset shows.
  std::vector<double> kernel_values;
  auto offset_id = [&](int s, int p, int q, int r) {
    return static_cast<std::size_t>(((s * (2 * n[0]) + p + n[0]) * (2 * n[1]) + q + n[1]) * (2 * n[2]) + r + n[2]);
  };
  kernel_values.resize(static_cast<std::size_t>(kernels * 8 * n[0] * n[1] * n[2]));
  for (double& v : kernel_values) v = uniform(random);
  for (int s = 0; s < kernels; ++s)
    for (int p = -(n[0] - 1); p < n[0]; ++p)
      for (int q = -(n[1] - 1); q < n[1]; ++q)
        for (int r = -(n[2] - 1); r < n[2]; ++r) kernel_values[offset_id(s, p, q, r)] = kernel_values[offset_id(s, -p, -q, -r)];
  for (int s = 0; s < kernels; ++s)
    for (int p = -(n[0] - 1); p < n[0]; ++p)
      for (int q = -(n[1] - 1); q < n[1]; ++q)
        for (int r = -(n[2] - 1); r < n[2]; ++r)
          conv.set_kernel_sample(s, conv.padded_index({p, q, r}), kernel_values[offset_id(s, p, q, r)]);
  conv.transform_kernels();

  Coupling coupling{c.inputs, c.outputs, {}, {}};
  for (int o = 0; o < c.outputs; ++o)
    for (int i = 0; i < c.inputs; ++i) coupling.kernel_of.push_back((o + 2 * i) % (kernels + 1) - 1);
  for (int i = 0; i < c.inputs; ++i) coupling.weight.push_back(1.0 + i);

  const std::size_t nodes = conv.box_size();
  std::vector<double> in(nodes * static_cast<std::size_t>(c.inputs)), out(nodes * static_cast<std::size_t>(c.outputs));
  for (double& v : in) v = uniform(random);
  conv.apply(coupling, in, out);

  auto node_of = [&](int i, int j, int k) { return static_cast<std::size_t>(i + n[0] * (j + n[1] * k)); };
  for (int k = 0; k < n[2]; ++k)
    for (int j = 0; j < n[1]; ++j)
      for (int i = 0; i < n[0]; ++i)
        for (int o = 0; o < c.outputs; ++o) {
          double expected = 0;
          for (int kk = 0; kk < n[2]; ++kk)
            for (int jj = 0; jj < n[1]; ++jj)
              for (int ii = 0; ii < n[0]; ++ii)
                for (int ci = 0; ci < c.inputs; ++ci) {
                  const int s = coupling.kernel(o, ci);
                  if (s < 0) continue;
                  expected += coupling.weight[static_cast<std::size_t>(ci)] *
                              kernel_values[offset_id(s, i - ii, j - jj, k - kk)] *
                              in[static_cast<std::size_t>(ci) + static_cast<std::size_t>(c.inputs) * node_of(ii, jj, kk)];
                }
          const double computed = out[static_cast<std::size_t>(o) + static_cast<std::size_t>(c.outputs) * node_of(i, j, k)];
          // Rounding of a few hundred FFT operations on values of order one.
          EXPECT_NEAR(computed, expected, 1e-12) << "node " << i << "," << j << "," << k << " output " << o;
        }
}

INSTANTIATE_TEST_SUITE_P(Boxes, ConvolutionVsDirectSum,
                         ::testing::Values(Case{{3, 2, 4}, 3, 2}, Case{{1, 1, 1}, 2, 2}, Case{{5, 1, 3}, 2, 3},
                                           Case{{2, 3}, 3, 3}, Case{{1, 4}, 2, 2}, Case{{4, 4}, 1, 1}));

// The yardstick convolution of the tests keeps the plain complex FFT contract.
TEST(ComplexFft, InverseUndoesForwardAndForwardIsUnnormalised) {
  reference::ComplexFft fft({4, 3, 2}, PlannerEffort::estimate);
  ComplexBuffer data(fft.size());
  data.data()[0][0] = 1.0;  // an impulse transforms to all ones
  fft.forward(data.data());
  for (std::size_t i = 0; i < fft.size(); ++i) {
    EXPECT_DOUBLE_EQ(data.data()[i][0], 1.0);
    EXPECT_DOUBLE_EQ(data.data()[i][1], 0.0);
  }
  fft.inverse(data.data());
  EXPECT_NEAR(data.data()[0][0], 1.0, 1e-15);
  for (std::size_t i = 1; i < fft.size(); ++i) EXPECT_NEAR(data.data()[i][0], 0.0, 1e-15);
}

}  // namespace
}  // namespace csolver
