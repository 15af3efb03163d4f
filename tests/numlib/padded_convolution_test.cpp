// The pruned half-spectrum convolution against a direct double sum over node
// pairs on tiny grids, and against the literal complex convolution on larger
// ones, for 3-D and 2-D boxes, odd and even extents, extent 1 along an axis,
// asymmetric couplings and one and two threads.
#include "numlib/convolution.h"
#include "support/literal_convolution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver {
namespace {

using Offset = std::array<int, 3>;

// Random kernels even under d -> -d, as elastic kernels are: value(s, d).
struct EvenKernels {
  std::vector<int> box;
  int count = 0;
  std::vector<double> values;  // [s][offset index over the (2n-1)^rank offsets]

  std::size_t offset_index(const Offset& d) const {
    std::size_t index = 0, stride = 1;
    for (std::size_t a = 0; a < box.size(); ++a) {
      index += stride * static_cast<std::size_t>(d[a] + box[a] - 1);
      stride *= static_cast<std::size_t>(2 * box[a] - 1);
    }
    return index;
  }
  std::size_t offsets() const {
    std::size_t n = 1;
    for (int e : box) n *= static_cast<std::size_t>(2 * e - 1);
    return n;
  }
  double value(int s, const Offset& d) const { return values[static_cast<std::size_t>(s) * offsets() + offset_index(d)]; }

  template <class Visit>
  void for_offsets(Visit visit) const {
    const int ez = box.size() > 2 ? box[2] : 1;
    for (int r = -(ez - 1); r < ez; ++r)
      for (int q = -(box[1] - 1); q < box[1]; ++q)
        for (int p = -(box[0] - 1); p < box[0]; ++p) visit(Offset{p, q, r});
  }
};

EvenKernels random_even_kernels(const std::vector<int>& box, int count, unsigned seed) {
  EvenKernels k{box, count, {}};
  k.values.assign(static_cast<std::size_t>(count) * k.offsets(), 0.0);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int s = 0; s < count; ++s)
    k.for_offsets([&](const Offset& d) {
      const Offset m{-d[0], -d[1], -d[2]};
      const std::size_t base = static_cast<std::size_t>(s) * k.offsets();
      // The mirror takes the value drawn first, so the pair is exactly even.
      if (k.offset_index(m) < k.offset_index(d))
        k.values[base + k.offset_index(d)] = k.values[base + k.offset_index(m)];
      else
        k.values[base + k.offset_index(d)] = u(rng);
    });
  return k;
}

template <class Convolution>
void load_kernels(Convolution& conv, const EvenKernels& k) {
  for (int s = 0; s < k.count; ++s)
    k.for_offsets([&](const Offset& d) { conv.set_kernel_sample(s, conv.padded_index(d), k.value(s, d)); });
  conv.transform_kernels();
}

std::vector<double> random_field(std::size_t size, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> f(size);
  for (double& v : f) v = u(rng);
  return f;
}

// out(o, a) = sum_c w_c sum_b K_{kernel(o,c)}(a - b) in(c, b), node by node.
std::vector<double> direct_sum(const EvenKernels& k, const Coupling& coupling, const std::vector<double>& in) {
  const int nx = k.box[0], ny = k.box[1], nz = k.box.size() > 2 ? k.box[2] : 1;
  const std::size_t nodes = static_cast<std::size_t>(nx * ny * nz);
  auto coord = [&](std::size_t n) {
    const int i = static_cast<int>(n % static_cast<std::size_t>(nx));
    const int j = static_cast<int>((n / static_cast<std::size_t>(nx)) % static_cast<std::size_t>(ny));
    const int l = static_cast<int>(n / static_cast<std::size_t>(nx * ny));
    return Offset{i, j, l};
  };
  std::vector<double> out(nodes * static_cast<std::size_t>(coupling.outputs), 0.0);
  for (std::size_t a = 0; a < nodes; ++a)
    for (std::size_t b = 0; b < nodes; ++b) {
      const Offset ca = coord(a), cb = coord(b);
      const Offset d{ca[0] - cb[0], ca[1] - cb[1], ca[2] - cb[2]};
      for (int o = 0; o < coupling.outputs; ++o)
        for (int c = 0; c < coupling.inputs; ++c) {
          const int s = coupling.kernel(o, c);
          if (s < 0) continue;
          out[static_cast<std::size_t>(o) + static_cast<std::size_t>(coupling.outputs) * a] +=
              coupling.weight[static_cast<std::size_t>(c)] * k.value(s, d) *
              in[static_cast<std::size_t>(c) + static_cast<std::size_t>(coupling.inputs) * b];
        }
    }
  return out;
}

double relative_difference(const std::vector<double>& a, const std::vector<double>& b) {
  double diff = 0.0, scale = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff = std::max(diff, std::abs(a[i] - b[i]));
    scale = std::max(scale, std::abs(b[i]));
  }
  return diff / scale;
}

// 3 outputs from 2 inputs, one output coupled to nothing, unequal weights.
Coupling asymmetric_coupling() { return Coupling{2, 3, {0, 2, -1, -1, 1, 0}, {1.5, -0.5}}; }
// More inputs than the work spectra made for the outputs.
Coupling wide_coupling() { return Coupling{4, 2, {0, 1, 2, 0, 2, -1, 1, 1}, {1.0, 2.0, 0.5, -1.0}}; }
// A packed symmetric 3x3 block with shear-like weights, as the solvers use.
Coupling symmetric_coupling() { return Coupling{3, 3, {0, 1, 2, 1, 3, 4, 2, 4, 5}, {1.0, 1.0, 2.0}}; }

struct DirectCase {
  std::vector<int> box;
  Coupling coupling;
  int kernels;
};

std::string name_of(const std::vector<int>& box) {
  std::string s;
  for (int n : box) {
    if (!s.empty()) s += 'x';
    s += std::to_string(n);
  }
  return s;
}

std::size_t node_count(const std::vector<int>& box) {
  std::size_t n = 1;
  for (int e : box) n *= static_cast<std::size_t>(e);
  return n;
}

TEST(PaddedConvolution, MatchesDirectSumOverNodePairs) {
  const std::vector<DirectCase> cases = {
      {{3, 2, 4}, asymmetric_coupling(), 3}, {{1, 3, 2}, symmetric_coupling(), 6},
      {{2, 2, 1}, wide_coupling(), 3},       {{5, 1, 1}, asymmetric_coupling(), 3},
      {{1, 1, 1}, symmetric_coupling(), 6},  {{4, 3}, asymmetric_coupling(), 3},
      {{1, 5}, wide_coupling(), 3},          {{3, 1}, symmetric_coupling(), 6},
      {{2, 4}, symmetric_coupling(), 6},     {{1, 1}, asymmetric_coupling(), 3},
  };
  unsigned seed = 1;
  for (const DirectCase& c : cases) {
    const EvenKernels k = random_even_kernels(c.box, c.kernels, ++seed);
    const std::vector<double> in = random_field(node_count(c.box) * static_cast<std::size_t>(c.coupling.inputs), ++seed);
    const std::vector<double> expected = direct_sum(k, c.coupling, in);
    for (int threads : {1, 2}) {
      SCOPED_TRACE("box " + name_of(c.box) + ", threads " + std::to_string(threads));
      PaddedConvolution conv(c.box, c.kernels, 3, PlannerEffort::estimate, threads);
      load_kernels(conv, k);
      std::vector<double> out(node_count(c.box) * static_cast<std::size_t>(c.coupling.outputs), 7.0);
      // Twice: the second application must not see what the first left behind.
      conv.apply(c.coupling, in, out);
      conv.apply(c.coupling, in, out);
      EXPECT_LT(relative_difference(out, expected), 1e-13);
      for (int o = 0; o < c.coupling.outputs; ++o) {
        bool coupled = false;
        for (int ci = 0; ci < c.coupling.inputs; ++ci) coupled = coupled || c.coupling.kernel(o, ci) >= 0;
        if (coupled) continue;
        for (std::size_t n = 0; n < node_count(c.box); ++n)
          EXPECT_EQ(out[static_cast<std::size_t>(o) + static_cast<std::size_t>(c.coupling.outputs) * n], 0.0);
      }
    }
  }
}

// The solvers' couplings: 21 packed entries of a symmetric 6x6 kernel with
// the shear weight 2, and the crack's 2x2 in-plane block plus the normal one.
Coupling volume_like_coupling() {
  Coupling c{6, 6, {}, {1, 1, 1, 2, 2, 2}};
  for (int o = 0; o < 6; ++o)
    for (int i = 0; i < 6; ++i) {
      const int a = std::min(o, i), b = std::max(o, i);
      c.kernel_of.push_back(a * 6 - a * (a - 1) / 2 + (b - a));
    }
  return c;
}
Coupling crack_like_coupling() { return Coupling{3, 3, {0, 1, -1, 1, 2, -1, -1, -1, 3}, {1, 1, 1}}; }
// With the parities even, odd-odd, even, even (tensor_parities(4)) no signs
// of inputs and outputs multiply to the parities of all four kernels.
Coupling unfoldable_coupling() { return Coupling{2, 2, {0, 1, 2, 3}, {1.0, -0.5}}; }

struct LiteralCase {
  std::vector<int> box;
  Coupling coupling;
  int kernels;
};

TEST(PaddedConvolution, MatchesLiteralComplexConvolution) {
  const std::vector<LiteralCase> cases = {
      {{7, 6, 5}, volume_like_coupling(), 21}, {{8, 8, 8}, volume_like_coupling(), 21},
      {{9, 1, 4}, asymmetric_coupling(), 3},   {{12, 9}, crack_like_coupling(), 4},
      {{16, 16}, crack_like_coupling(), 4},    {{1, 11}, wide_coupling(), 3},
  };
  unsigned seed = 100;
  for (const LiteralCase& c : cases) {
    const EvenKernels k = random_even_kernels(c.box, c.kernels, ++seed);
    const std::vector<double> in = random_field(node_count(c.box) * static_cast<std::size_t>(c.coupling.inputs), ++seed);
    const std::size_t out_size = node_count(c.box) * static_cast<std::size_t>(c.coupling.outputs);
    reference::LiteralConvolution literal(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate);
    load_kernels(literal, k);
    std::vector<double> expected(out_size);
    literal.apply(c.coupling, in, expected);
    std::vector<double> first;
    for (int threads : {1, 2}) {
      SCOPED_TRACE("box " + name_of(c.box) + ", threads " + std::to_string(threads));
      PaddedConvolution conv(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate, threads);
      load_kernels(conv, k);
      std::vector<double> out(out_size);
      conv.apply(c.coupling, in, out);
      EXPECT_LT(relative_difference(out, expected), 1e-13);
      if (first.empty())
        first = out;
      else
        EXPECT_LT(relative_difference(out, first), 1e-15);  // thread count changes rounding at most
    }
  }
}

// Kernels even or odd along each axis, with the parities of the solvers'
// kernels: the 6x6 volume kernel's packed entries (odd along the axes that
// occur an odd number of times among the entry's four tensor indices) and
// the crack's K11, K12 (odd in x and y), K22, K33.
std::vector<AxisParities> tensor_parities(int count) {
  const Parity e = Parity::even, o = Parity::odd;
  const std::vector<AxisParities> volume = {
      {e, e, e}, {e, e, e}, {e, e, e}, {e, o, o}, {o, e, o}, {o, o, e}, {e, e, e}, {e, e, e},
      {e, o, o}, {o, e, o}, {o, o, e}, {e, e, e}, {e, o, o}, {o, e, o}, {o, o, e}, {e, e, e},
      {o, o, e}, {o, e, o}, {e, e, e}, {e, o, o}, {e, e, e}, {e, e, e}};
  const std::vector<AxisParities> crack = {{e, e, e}, {o, o, e}, {e, e, e}, {e, e, e}, {e, e, e}};
  const std::vector<AxisParities>& table = count > 5 ? volume : crack;
  return std::vector<AxisParities>(table.begin(), table.begin() + count);
}

// Random kernels with the given parities: value(s, d) = sign(d) value(s, |d|).
EvenKernels random_mirror_kernels(const std::vector<int>& box, const std::vector<AxisParities>& parities,
                                  unsigned seed) {
  const int count = static_cast<int>(parities.size());
  EvenKernels k{box, count, {}};
  k.values.assign(static_cast<std::size_t>(count) * k.offsets(), 0.0);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int s = 0; s < count; ++s) {
    const std::size_t base = static_cast<std::size_t>(s) * k.offsets();
    // Octant values first, in a fixed order, then the mirrors from them.
    k.for_offsets([&](const Offset& d) {
      if (d[0] < 0 || d[1] < 0 || d[2] < 0) return;
      bool zero = false;
      for (std::size_t a = 0; a < 3; ++a) zero = zero || (parities[static_cast<std::size_t>(s)][a] == Parity::odd && d[a] == 0);
      k.values[base + k.offset_index(d)] = zero ? 0.0 : u(rng);
    });
    k.for_offsets([&](const Offset& d) {
      const Offset m{std::abs(d[0]), std::abs(d[1]), std::abs(d[2])};
      double sign = 1.0;
      for (std::size_t a = 0; a < 3; ++a)
        if (d[a] < 0 && parities[static_cast<std::size_t>(s)][a] == Parity::odd) sign = -sign;
      k.values[base + k.offset_index(d)] = sign * k.values[base + k.offset_index(m)];
    });
  }
  return k;
}

// Only the octant of offsets with no negative component is written.
template <class Convolution>
void load_octant(Convolution& conv, const EvenKernels& k) {
  for (int s = 0; s < k.count; ++s)
    k.for_offsets([&](const Offset& d) {
      if (d[0] >= 0 && d[1] >= 0 && d[2] >= 0) conv.set_kernel_sample(s, conv.sample_index(d), k.value(s, d));
    });
  conv.transform_kernels();
}

struct MirrorCase {
  std::vector<int> box;
  Coupling coupling;
  int kernels;
};

TEST(PaddedConvolution, OctantOfMirrorSymmetricKernelsMatchesHalfSpectrumAndDirectSum) {
  // Odd and even extents, extent 1 and 2 along an axis (where odd kernels
  // vanish or keep a single sine), the solvers' couplings, 3-D and 2-D.
  const std::vector<MirrorCase> cases = {
      {{7, 6, 5}, volume_like_coupling(), 21}, {{8, 8, 8}, volume_like_coupling(), 21},
      {{5, 1, 4}, volume_like_coupling(), 21}, {{1, 2, 3}, volume_like_coupling(), 21},
      {{3, 4, 2}, asymmetric_coupling(), 3},   {{1, 1, 1}, volume_like_coupling(), 21},
      {{12, 9}, crack_like_coupling(), 4},     {{16, 16}, crack_like_coupling(), 4},
      {{1, 7}, crack_like_coupling(), 4},      {{5, 2}, crack_like_coupling(), 4},
      {{6, 5, 4}, unfoldable_coupling(), 4},   {{7, 6}, unfoldable_coupling(), 4},
  };
  unsigned seed = 300;
  for (const MirrorCase& c : cases) {
    const std::vector<AxisParities> parities = tensor_parities(c.kernels);
    const EvenKernels k = random_mirror_kernels(c.box, parities, ++seed);
    const std::vector<double> in = random_field(node_count(c.box) * static_cast<std::size_t>(c.coupling.inputs), ++seed);
    const std::size_t out_size = node_count(c.box) * static_cast<std::size_t>(c.coupling.outputs);
    PaddedConvolution half(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate, 1);
    load_kernels(half, k);
    EXPECT_EQ(half.layout(), SpectrumLayout::half_spectrum);
    std::vector<double> expected(out_size);
    half.apply(c.coupling, in, expected);
    if (node_count(c.box) <= 200) {
      SCOPED_TRACE("box " + name_of(c.box) + ", half spectrum against the direct sum");
      EXPECT_LT(relative_difference(expected, direct_sum(k, c.coupling, in)), 1e-13);
    }
    std::vector<double> first;
    for (int threads : {1, 2}) {
      SCOPED_TRACE("box " + name_of(c.box) + ", threads " + std::to_string(threads));
      PaddedConvolution conv(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate, threads, parities);
      EXPECT_EQ(conv.layout(), SpectrumLayout::octant);
      load_octant(conv, k);
      std::vector<double> out(out_size, 7.0);
      conv.apply(c.coupling, in, out);
      conv.apply(c.coupling, in, out);
      EXPECT_LT(relative_difference(out, expected), 1e-13);
      if (first.empty())
        first = out;
      else
        EXPECT_EQ(out, first);  // the thread count changes nothing
    }
  }
}

// Transforms and products in single precision, with the kernels given as
// samples (transformed in single precision) or copied from the double
// spectra, against the double convolution, on both layouts.
TEST(SinglePaddedConvolution, MatchesTheDoubleOneOnBothLayouts) {
  const std::vector<MirrorCase> cases = {
      {{7, 6, 5}, volume_like_coupling(), 21}, {{8, 8, 8}, volume_like_coupling(), 21},
      {{5, 1, 4}, volume_like_coupling(), 21}, {{3, 4, 2}, asymmetric_coupling(), 3},
      {{12, 9}, crack_like_coupling(), 4},     {{16, 16}, crack_like_coupling(), 4},
      {{6, 5, 4}, unfoldable_coupling(), 4},
  };
  unsigned seed = 700;
  for (const MirrorCase& c : cases) {
    const std::vector<AxisParities> parities = tensor_parities(c.kernels);
    const EvenKernels k = random_mirror_kernels(c.box, parities, ++seed);
    const std::vector<double> in = random_field(node_count(c.box) * static_cast<std::size_t>(c.coupling.inputs), ++seed);
    const std::size_t out_size = node_count(c.box) * static_cast<std::size_t>(c.coupling.outputs);
    for (bool octant : {false, true}) {
      SCOPED_TRACE("box " + name_of(c.box) + (octant ? ", octant" : ", half spectrum"));
      const std::vector<AxisParities> mirror = octant ? parities : std::vector<AxisParities>{};
      const SpectrumLayout layout = octant ? SpectrumLayout::octant : SpectrumLayout::half_spectrum;
      PaddedConvolution reference(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate, 1, mirror);
      SinglePaddedConvolution loaded(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate, 1, mirror);
      if (octant) {
        load_octant(reference, k);
        load_octant(loaded, k);
      } else {
        load_kernels(reference, k);
        load_kernels(loaded, k);
      }
      SinglePaddedConvolution copied(reference, PlannerEffort::estimate);
      EXPECT_EQ(copied.layout(), layout);
      EXPECT_EQ(copied.bytes(), SinglePaddedConvolution::estimate_bytes(c.box, c.kernels, c.coupling.outputs, 1, layout));
      std::vector<double> expected(out_size), from_samples(out_size), from_spectra(out_size);
      reference.apply(c.coupling, in, expected);
      loaded.apply(c.coupling, in, from_samples);
      copied.apply(c.coupling, in, from_spectra);
      EXPECT_LT(relative_difference(from_samples, expected), 1e-6);
      EXPECT_LT(relative_difference(from_spectra, expected), 1e-6);
      EXPECT_GT(relative_difference(from_spectra, expected), 1e-12);  // single precision indeed
      copied.set_threads(2);
      std::vector<double> two(out_size);
      copied.apply(c.coupling, in, two);
      EXPECT_EQ(two, from_spectra);  // the thread count changes nothing
    }
  }
}

// The next size with prime factors 2, 3, 5, or with 7 where that is at least
// 5 % smaller.
TEST(PaddedConvolution, SmoothPaddedHalfHasSmallPrimeFactors) {
  const std::vector<std::array<int, 2>> cases = {{1, 1},   {2, 2},   {7, 7},   {11, 12},  {13, 14},  {17, 18}, {33, 36},
                                                 {41, 42}, {49, 50}, {97, 100}, {121, 125}, {127, 128}};
  for (const auto& [n, m] : cases) {
    EXPECT_EQ(padded_half(n, Padding::smooth), m) << "n = " << n;
    EXPECT_EQ(padded_half(n, Padding::twice_box), n) << "n = " << n;
  }
}

// Padding beyond twice the box (to smooth sizes, here 24, 28, 36 ... in
// place of 22, 26, 34) leaves a linear convolution unchanged: against the
// direct sum over node pairs, in both layouts, in double and single precision,
// with extents that are padded further and ones that are not.
TEST(PaddedConvolution, SmoothPaddingMatchesDirectSumInBothLayouts) {
  const std::vector<MirrorCase> cases = {
      {{11, 2, 3}, volume_like_coupling(), 21}, {{13, 1, 11}, volume_like_coupling(), 21},
      {{3, 17, 2}, asymmetric_coupling(), 3},   {{11, 13}, crack_like_coupling(), 4},
      {{1, 19}, crack_like_coupling(), 4},      {{13, 5, 3}, unfoldable_coupling(), 4},
  };
  unsigned seed = 900;
  for (const MirrorCase& c : cases) {
    const std::vector<AxisParities> parities = tensor_parities(c.kernels);
    const EvenKernels k = random_mirror_kernels(c.box, parities, ++seed);
    const std::vector<double> in = random_field(node_count(c.box) * static_cast<std::size_t>(c.coupling.inputs), ++seed);
    const std::size_t out_size = node_count(c.box) * static_cast<std::size_t>(c.coupling.outputs);
    const std::vector<double> expected = direct_sum(k, c.coupling, in);
    for (bool octant : {false, true}) {
      for (int threads : {1, 2}) {
        SCOPED_TRACE("box " + name_of(c.box) + (octant ? ", octant" : ", half spectrum") + ", threads " +
                     std::to_string(threads));
        const std::vector<AxisParities> mirror = octant ? parities : std::vector<AxisParities>{};
        const SpectrumLayout layout = octant ? SpectrumLayout::octant : SpectrumLayout::half_spectrum;
        PaddedConvolution conv(c.box, c.kernels, c.coupling.outputs, PlannerEffort::estimate, threads, mirror,
                               Padding::smooth);
        for (std::size_t a = 0; a < c.box.size(); ++a)
          EXPECT_EQ(conv.padded_extent()[a], 2 * padded_half(c.box[a], Padding::smooth));
        if (octant)
          load_octant(conv, k);
        else
          load_kernels(conv, k);
        EXPECT_EQ(conv.bytes(), PaddedConvolution::estimate_bytes(c.box, c.kernels, c.coupling.outputs, threads, layout,
                                                                  Padding::smooth));
        std::vector<double> out(out_size, 7.0);
        conv.apply(c.coupling, in, out);
        conv.apply(c.coupling, in, out);
        EXPECT_LT(relative_difference(out, expected), 1e-13);

        SinglePaddedConvolution single(conv, PlannerEffort::estimate);
        EXPECT_EQ(single.padded_extent(), conv.padded_extent());
        std::vector<double> rounded(out_size);
        single.apply(c.coupling, in, rounded);
        EXPECT_LT(relative_difference(rounded, expected), 1e-6);
      }
    }
  }
}

TEST(PaddedConvolution, OctantRejectsOffsetsOutsideItAndKernelsThatAreNotOdd) {
  const Parity e = Parity::even, o = Parity::odd;
  PaddedConvolution conv({4, 3, 2}, 2, 1, PlannerEffort::estimate, 1, {{e, e, e}, {o, e, o}});
  EXPECT_THROW(conv.sample_index({-1, 0, 0}), std::invalid_argument);
  EXPECT_THROW(conv.sample_index({0, 3, 0}), std::invalid_argument);
  EXPECT_NO_THROW(conv.sample_index({3, 2, 1}));
  // Odd along x and z but non-zero at x = 0: not an odd kernel.
  conv.set_kernel_sample(1, conv.sample_index({0, 1, 1}), 0.5);
  EXPECT_THROW(conv.transform_kernels(), std::runtime_error);
  // An odd number of odd axes cannot have a real spectrum.
  EXPECT_THROW(PaddedConvolution({4, 3, 2}, 1, 1, PlannerEffort::estimate, 1, {{o, e, e}}), std::invalid_argument);
}

TEST(PaddedConvolution, RejectsKernelThatIsNotEven) {
  // A kernel sampled at d but not at -d has an odd part: its spectrum is not
  // real, and storing only its real part would be silently wrong.
  for (const std::vector<int>& box : {std::vector<int>{4, 3, 2}, std::vector<int>{5, 4}}) {
    PaddedConvolution conv(box, 2, 1, PlannerEffort::estimate, 1);
    conv.set_kernel_sample(0, conv.padded_index({0, 0, 0}), 1.0);
    conv.set_kernel_sample(1, conv.padded_index({1, 0, 0}), 1.0);
    conv.set_kernel_sample(1, conv.padded_index({-1, 0, 0}), 1.0 + 1e-6);
    EXPECT_THROW(conv.transform_kernels(), std::runtime_error);
  }
}

TEST(PaddedConvolution, HeldBytesMatchEstimates) {
  for (const std::vector<int>& box : {std::vector<int>{5, 4, 3}, std::vector<int>{6, 7}}) {
    PaddedConvolution conv(box, 4, 3, PlannerEffort::estimate, 1);
    // Real-space samples of every kernel; the build peak adds one real spectrum.
    EXPECT_EQ(conv.bytes() + conv.spectrum_size() * sizeof(double), PaddedConvolution::estimate_build_bytes(box, 4));
    conv.set_kernel_sample(0, 0, 1.0);
    conv.transform_kernels();
    EXPECT_EQ(conv.bytes(), PaddedConvolution::estimate_bytes(box, 4, 3, 1));

    PaddedConvolution octant(box, 4, 3, PlannerEffort::estimate, 2, tensor_parities(4));
    // The samples are transformed in place: the build holds nothing more.
    EXPECT_EQ(octant.bytes(), PaddedConvolution::estimate_build_bytes(box, 4, SpectrumLayout::octant));
    octant.transform_kernels();
    EXPECT_EQ(octant.bytes(), PaddedConvolution::estimate_bytes(box, 4, 3, 2, SpectrumLayout::octant));
  }
}

TEST(PaddedConvolution, FinishSeesEveryNodeOnceAfterItsOutputsAndInPlaceApplyWorks) {
  for (const std::vector<int>& box : {std::vector<int>{5, 4, 3}, std::vector<int>{6, 7}}) {
    const EvenKernels k = random_even_kernels(box, 6, 9);
    const std::vector<double> in = random_field(node_count(box) * 3, 10);
    PaddedConvolution conv(box, 6, 3, PlannerEffort::estimate, 2);
    load_kernels(conv, k);
    const Coupling coupling = symmetric_coupling();
    std::vector<double> plain(in.size()), out(in.size());
    conv.apply(coupling, in, plain);
    std::vector<int> seen(node_count(box), 0);
    std::vector<double> finished(in.size());
    conv.apply(coupling, in, out, [&](std::size_t first, std::size_t last) {
      for (std::size_t n = first; n < last; ++n) {
        ++seen[n];
        for (std::size_t c = 0; c < 3; ++c) finished[3 * n + c] = 2.0 * out[3 * n + c] - in[3 * n + c];
      }
    });
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(seen.size()));
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_EQ(finished[i], 2.0 * plain[i] - in[i]);
    std::vector<double> same = in;
    conv.apply(coupling, same, same);
    EXPECT_EQ(same, plain);
  }
}

}  // namespace
}  // namespace csolver
