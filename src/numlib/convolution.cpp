#include "numlib/convolution.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace csolver {

namespace {
// Half the padded extent of every axis of a box.
std::vector<int> padded_halves(const std::vector<int>& extent, Padding padding) {
  std::vector<int> halves;
  for (int n : extent) halves.push_back(padded_half(n, padding));
  return halves;
}

// Half-spectrum points of the padded grid of a box.
std::size_t spectrum_points(const std::vector<int>& halves) {
  std::size_t points = static_cast<std::size_t>(halves.at(0)) + 1;
  for (std::size_t axis = 1; axis < halves.size(); ++axis) points *= 2 * static_cast<std::size_t>(halves[axis]);
  return points;
}

// Frequencies 0 ... m per axis (one along z in 2-D): the octant.
std::size_t octant_points(const std::vector<int>& halves) {
  std::size_t points = 1;
  for (int m : halves) points *= static_cast<std::size_t>(m) + 1;
  return points;
}

fftw_iodim dim(std::size_t n, std::size_t in_stride, std::size_t out_stride) {
  return fftw_iodim{static_cast<int>(n), static_cast<int>(in_stride), static_cast<int>(out_stride)};
}

// Frequency points per block of the in-place product loop: the input values
// of a block are copied aside before the outputs overwrite them.
constexpr std::size_t PRODUCT_BLOCK = 256;

// y(p) = s sum over t of k_t(first + p) x_t(first + p) for the n points p
// of one row, with the input spectra split into real and imaginary parts so
// that the sum runs in registers across several points at once; y is
// interleaved complex. The terms are added in order from zero, so every
// instruction set gives the same numbers (no contraction into fused
// multiply-adds under ISO C++); s is 1 or -1, which changes no rounding.
// Inlined into each instruction-set clone of its caller.
template <int N, class Real>
[[gnu::always_inline]] inline void combine_fixed(const Real* const* k, const Real* const* xr,
                                                 const Real* const* xi, std::size_t first, std::size_t n,
                                                 Real* __restrict y, Real s) {
  const Real* kt[N];
  const Real* rt[N];
  const Real* it[N];
  for (int t = 0; t < N; ++t) {
    kt[t] = k[t] + first;
    rt[t] = xr[t] + first;
    it[t] = xi[t] + first;
  }
  for (std::size_t p = 0; p < n; ++p) {
    Real re = 0, im = 0;
    for (int t = 0; t < N; ++t) {
      re += kt[t][p] * rt[t][p];
      im += kt[t][p] * it[t][p];
    }
    y[2 * p] = s * re;
    y[2 * p + 1] = s * im;
  }
}

template <class Real>
[[gnu::always_inline]] inline void combine_any(std::size_t terms, const Real* const* k, const Real* const* xr,
                                               const Real* const* xi, std::size_t first, std::size_t n,
                                               Real* __restrict y, Real s) {
  switch (terms) {
    case 1: return combine_fixed<1>(k, xr, xi, first, n, y, s);
    case 2: return combine_fixed<2>(k, xr, xi, first, n, y, s);
    case 3: return combine_fixed<3>(k, xr, xi, first, n, y, s);
    case 4: return combine_fixed<4>(k, xr, xi, first, n, y, s);
    case 5: return combine_fixed<5>(k, xr, xi, first, n, y, s);
    case 6: return combine_fixed<6>(k, xr, xi, first, n, y, s);
    default:
      for (std::size_t p = 0; p < n; ++p) {
        Real re = 0, im = 0;
        for (std::size_t t = 0; t < terms; ++t) {
          re += k[t][first + p] * xr[t][first + p];
          im += k[t][first + p] * xi[t][first + p];
        }
        y[2 * p] = s * re;
        y[2 * p + 1] = s * im;
      }
  }
}

[[gnu::target_clones("avx2", "default")]] void combine(std::size_t terms, const double* const* k,
                                                        const double* const* xr, const double* const* xi,
                                                        std::size_t first, std::size_t n, double* __restrict y,
                                                        double s) {
  combine_any(terms, k, xr, xi, first, n, y, s);
}

[[gnu::target_clones("avx2", "default")]] void combine(std::size_t terms, const float* const* k,
                                                        const float* const* xr, const float* const* xi,
                                                        std::size_t first, std::size_t n, float* __restrict y,
                                                        float s) {
  combine_any(terms, k, xr, xi, first, n, y, s);
}

// Three outputs at once from C inputs that all of them couple to, for the
// kernel k[g C + c] of output g and input c: each input value is loaded once
// for the three, which halves the loads of the product loop. The terms of
// each output are added in input order from zero (the comma fold runs left
// to right), as combine adds them, so the results are the same. The inputs
// are unrolled by the index pack, so that the loop over the points is the
// one vectorized.
template <class Real>
struct ThreeSums {
  Real re0, im0, re1, im1, re2, im2;
};

template <class Real>
[[gnu::always_inline]] inline void add_three(ThreeSums<Real>& u, Real re, Real im, Real k0, Real k1, Real k2) {
  u.re0 += k0 * re;
  u.im0 += k0 * im;
  u.re1 += k1 * re;
  u.im1 += k1 * im;
  u.re2 += k2 * re;
  u.im2 += k2 * im;
}

template <class Real, std::size_t... Cs>
[[gnu::always_inline]] inline void combine_three_fixed(std::index_sequence<Cs...>, const Real* const* k,
                                                       const Real* const* xr, const Real* const* xi,
                                                       std::size_t first, std::size_t n, Real* __restrict y0,
                                                       Real* __restrict y1, Real* __restrict y2,
                                                       const Real* s) {
  constexpr std::size_t C = sizeof...(Cs);
  const Real* const kt[3 * C] = {(k[Cs] + first)..., (k[C + Cs] + first)..., (k[2 * C + Cs] + first)...};
  const Real* const rt[C] = {(xr[Cs] + first)...};
  const Real* const it[C] = {(xi[Cs] + first)...};
  const Real s0 = s[0], s1 = s[1], s2 = s[2];
  for (std::size_t p = 0; p < n; ++p) {
    ThreeSums<Real> u{0, 0, 0, 0, 0, 0};
    (add_three(u, rt[Cs][p], it[Cs][p], kt[Cs][p], kt[C + Cs][p], kt[2 * C + Cs][p]), ...);
    y0[2 * p] = s0 * u.re0;
    y0[2 * p + 1] = s0 * u.im0;
    y1[2 * p] = s1 * u.re1;
    y1[2 * p + 1] = s1 * u.im1;
    y2[2 * p] = s2 * u.re2;
    y2[2 * p + 1] = s2 * u.im2;
  }
}

// combine_three for the couplings it is made for (six inputs, as the
// volume kernel's); returns false for others.
[[gnu::target_clones("avx2", "default")]] bool combine_three(std::size_t inputs, const double* const* k,
                                                              const double* const* xr, const double* const* xi,
                                                              std::size_t first, std::size_t n, double* const* y,
                                                              const double* s) {
  if (inputs != 6) return false;
  combine_three_fixed(std::make_index_sequence<6>(), k, xr, xi, first, n, y[0], y[1], y[2], s);
  return true;
}

[[gnu::target_clones("avx2", "default")]] bool combine_three(std::size_t inputs, const float* const* k,
                                                              const float* const* xr, const float* const* xi,
                                                              std::size_t first, std::size_t n, float* const* y,
                                                              const float* s) {
  if (inputs != 6) return false;
  combine_three_fixed(std::make_index_sequence<6>(), k, xr, xi, first, n, y[0], y[1], y[2], s);
  return true;
}

// The same written backward from y: formed forward in `row` (2 n doubles),
// then copied point by point, which keeps the sums in vector registers.
template <class Real>
void combine_mirrored(std::size_t terms, const Real* const* k, const Real* const* xr, const Real* const* xi,
                      std::size_t first, std::size_t n, Real* __restrict y, Real s, Real* __restrict row) {
  combine(terms, k, xr, xi, first, n, row, s);
  for (std::size_t p = 0; p < n; ++p) {
    y[-2 * static_cast<std::ptrdiff_t>(p)] = row[2 * p];
    y[-2 * static_cast<std::ptrdiff_t>(p) + 1] = row[2 * p + 1];
  }
}

// One row of a slab to split real and imaginary parts, weighted: forward
// (to[q] = w from[q], q < n) or mirrored (to[q] = w from[(p - q) mod p] for
// the row's length p, q < n).
template <class Real>
inline void split_row(const Real* __restrict from, Real* __restrict re, Real* __restrict im, Real w,
                      std::size_t n) {
  for (std::size_t q = 0; q < n; ++q) {
    re[q] = w * from[2 * q];
    im[q] = w * from[2 * q + 1];
  }
}

template <class Real>
inline void split_row_mirrored(const Real* __restrict from, std::size_t length, Real* __restrict re,
                               Real* __restrict im, Real w, std::size_t n) {
  re[0] = w * from[0];
  im[0] = w * from[1];
  const Real* __restrict back = from + 2 * length;
  for (std::size_t q = 1; q < n; ++q) {
    re[q] = w * back[-2 * static_cast<std::ptrdiff_t>(q)];
    im[q] = w * back[-2 * static_cast<std::ptrdiff_t>(q) + 1];
  }
}
}  // namespace

Coupling diagonal_coupling(int components, int kernel) {
  Coupling coupling{components, components, std::vector<int>(static_cast<std::size_t>(components * components), -1),
                    std::vector<double>(static_cast<std::size_t>(components), 1.0)};
  for (int c = 0; c < components; ++c) coupling.kernel_of[static_cast<std::size_t>(c * components + c)] = kernel;
  return coupling;
}

namespace {
// The smallest m >= n whose prime factors are all among `primes`.
int next_smooth(int n, std::initializer_list<int> primes) {
  for (int m = n;; ++m) {
    int rest = m;
    for (int p : primes)
      while (rest % p == 0) rest /= p;
    if (rest == 1) return m;
  }
}
}  // namespace

int padded_half(int n, Padding padding) {
  if (padding == Padding::twice_box || n < 1) return n;
  // FFTW's radix 7 costs more per point than 2, 3 and 5: measured with the
  // volume kernel's convolution, 2 * 36 beat 2 * 35 by 15 % and 2 * 50 beat
  // 2 * 49 by 10 %, but 2 * 42 beat 2 * 45 by 25 %. A factor 7 is taken where
  // it shortens the axis by at least 5 %.
  const int m5 = next_smooth(n, {2, 3, 5});
  const int m7 = next_smooth(n, {2, 3, 5, 7});
  return 20 * (m5 - m7) >= m5 ? m7 : m5;
}

int default_thread_count() { return std::max(1, omp_get_max_threads()); }

const char* layout_name(SpectrumLayout layout) {
  return layout == SpectrumLayout::octant ? "octant" : "half_spectrum";
}

template <class Real>
BasicPaddedConvolution<Real>::BasicPaddedConvolution(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                                     PlannerEffort effort, int threads, const std::vector<AxisParities>& mirror,
                                     Padding padding)
    : box_(box_extent), padding_(padding), max_outputs_(max_outputs), parities_(mirror) {
  if (box_.size() != 2 && box_.size() != 3) throw std::invalid_argument("convolution rank must be 2 or 3");
  for (int n : box_) {
    if (n < 1) throw std::invalid_argument("convolution box extent below 1");
    box_size_ *= static_cast<std::size_t>(n);
  }
  nx_ = static_cast<std::size_t>(box_[0]);
  ny_ = static_cast<std::size_t>(box_[1]);
  nz_ = box_.size() == 3 ? static_cast<std::size_t>(box_[2]) : 1;
  for (int m : padded_halves(box_, padding_)) padded_.push_back(2 * m);
  mx_ = static_cast<std::size_t>(padded_[0]) / 2;
  my_ = static_cast<std::size_t>(padded_[1]) / 2;
  mz_ = box_.size() == 3 ? static_cast<std::size_t>(padded_[2]) / 2 : 1;
  px_ = 2 * mx_;
  py_ = 2 * my_;
  pz_ = box_.size() == 3 ? 2 * mz_ : 1;
  hx_ = mx_ + 1;
  slab_ = py_ * pz_;
  corner_ = ny_ * nz_;
  points_ = px_ * py_ * pz_;
  spectrum_ = hx_ * slab_;
  oy_ = my_ + 1;
  oz_ = box_.size() == 3 ? mz_ + 1 : 1;
  octant_slab_ = oy_ * oz_;
  octant_ = hx_ * octant_slab_;
  block_rows_ = std::clamp<std::size_t>(PRODUCT_BLOCK / oy_, 1, oz_);
  set_threads(threads);
  const bool octant = !parities_.empty();
  if (octant && parities_.size() != static_cast<std::size_t>(kernel_count))
    throw std::invalid_argument("convolution: parities given for some kernels only");
  for (AxisParities& parity : parities_) {
    if (box_.size() == 2) parity[2] = Parity::even;
    int odd = 0;
    for (Parity p : parity) odd += p == Parity::odd ? 1 : 0;
    // An odd number of odd axes makes the spectrum imaginary.
    if (odd % 2 != 0) throw std::invalid_argument("convolution: a kernel with an odd number of odd axes");
  }

  if (octant)
    for (int s = 0; s < kernel_count; ++s) kernels_.emplace_back(octant_);
  else
    for (int s = 0; s < kernel_count; ++s) staging_.emplace_back(spectrum_);
  // The planner overwrites the arrays it measures on: plan on the first
  // staging array (or a scratch one) and clear it afterwards.
  BasicComplexBuffer<Real> scratch;
  if (staging_.empty()) scratch = BasicComplexBuffer<Real>(octant ? slab_ : spectrum_);
  const BasicComplexBuffer<Real>& probe = staging_.empty() ? scratch : staging_.front();
  Complex* c = probe.data();
  const unsigned flags = planner_flags(effort);

  if (octant) {
    plan_octant();
  } else {
    std::vector<int> row_major(padded_.rbegin(), padded_.rend());
    kernel_forward_ =
        BasicFftPlan<Real>(Fftw<Real>::dft_r2c(static_cast<int>(row_major.size()), row_major.data(), probe.reals(), c, flags));
  }
  {
    // The ny box rows of one plane: px real samples each to hx frequencies,
    // stored frequency by frequency (index j + ny i), as the corners keep them.
    BasicRealBuffer<Real> rows(px_ * ny_);
    BasicComplexBuffer<Real> spectra(hx_ * ny_);
    const fftw_iodim forward = dim(px_, 1, ny_);
    const fftw_iodim many_in = dim(ny_, px_, 1);
    forward_x_ = BasicFftPlan<Real>(Fftw<Real>::guru_dft_r2c(1, &forward, 1, &many_in, rows.data(), spectra.data(), flags));
    const fftw_iodim inverse = dim(px_, ny_, 1);
    const fftw_iodim many_out = dim(ny_, 1, px_);
    inverse_x_ = BasicFftPlan<Real>(Fftw<Real>::guru_dft_c2r(1, &inverse, 1, &many_out, spectra.data(), rows.data(), flags));
  }
  // Slab plans run on per-thread slab buffers, all from fftw_alloc. The
  // forward ones go out of place, from arrays whose zero padding is never
  // overwritten (see lines_ and columns_).
  const unsigned slab_flags = flags;
  {
    BasicComplexBuffer<Real> from(slab_), to(slab_);
    const fftw_iodim d = dim(py_, 1, 1);
    const fftw_iodim many = dim(nz_, py_, py_);
    forward_y_ = BasicFftPlan<Real>(Fftw<Real>::guru_dft(1, &d, 1, &many, from.data(), to.data(), FFTW_FORWARD, slab_flags));
    inverse_y_ = BasicFftPlan<Real>(Fftw<Real>::guru_dft(1, &d, 1, &many, to.data(), from.data(), FFTW_BACKWARD, slab_flags));
    if (pz_ > 1) {
      const fftw_iodim dz = dim(pz_, py_, py_);
      const fftw_iodim many_z = dim(py_, 1, 1);
      forward_z_ =
          BasicFftPlan<Real>(Fftw<Real>::guru_dft(1, &dz, 1, &many_z, to.data(), from.data(), FFTW_FORWARD, slab_flags));
      inverse_z_ =
          BasicFftPlan<Real>(Fftw<Real>::guru_dft(1, &dz, 1, &many_z, from.data(), to.data(), FFTW_BACKWARD, slab_flags));
    }
  }
  if (!staging_.empty()) staging_.front().clear();
}

template <class Real>
BasicPaddedConvolution<Real>::BasicPaddedConvolution(const BasicPaddedConvolution<double>& source, PlannerEffort effort)
    : BasicPaddedConvolution(source.box_, static_cast<int>(source.kernels_.size()), source.max_outputs_, effort,
                             source.threads_, source.parities_, source.padding_) {
  if (!source.transformed_) throw std::logic_error("convolution copied before its kernels were transformed");
  staging_.clear();
  for (std::size_t s = 0; s < source.kernels_.size(); ++s) {
    const double* from = source.kernels_[s].data();
    BasicRealBuffer<Real> to(source.kernels_[s].size());
    for (std::size_t i = 0; i < to.size(); ++i) to.data()[i] = static_cast<Real>(from[i]);
    if (s < kernels_.size())
      kernels_[s] = std::move(to);
    else
      kernels_.push_back(std::move(to));
  }
  transformed_ = true;
  ensure_work(max_outputs_);
}

template <class Real>
void BasicPaddedConvolution<Real>::set_threads(int threads) {
  threads_ = threads > 0 ? threads : default_thread_count();
}

std::size_t wrapped_index(const std::vector<int>& padded_extent, const std::array<int, 3>& offset) {
  std::size_t index = 0;
  std::size_t stride = 1;
  for (std::size_t axis = 0; axis < padded_extent.size(); ++axis) {
    const int n = padded_extent[axis];
    const int wrapped = ((offset[axis] % n) + n) % n;
    index += stride * static_cast<std::size_t>(wrapped);
    stride *= static_cast<std::size_t>(n);
  }
  return index;
}

template <class Real>
std::size_t BasicPaddedConvolution<Real>::padded_index(const std::array<int, 3>& offset) const {
  return wrapped_index(padded_, offset);
}

template <class Real>
std::size_t BasicPaddedConvolution<Real>::sample_index(const std::array<int, 3>& offset) const {
  if (layout() == SpectrumLayout::half_spectrum) return padded_index(offset);
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const int extent = axis < box_.size() ? box_[axis] : 1;
    if (offset[axis] < 0 || offset[axis] >= extent)
      throw std::invalid_argument("convolution: an offset outside the octant of stored kernel samples");
  }
  const auto [p, q, r] = offset;
  return static_cast<std::size_t>(q) + oy_ * (static_cast<std::size_t>(r) + oz_ * static_cast<std::size_t>(p));
}

// Per pattern of odd axes, the in-place transform of the octant of samples
// into the octant of the spectrum. Along an even axis the m + 1 points
// 0 ... m (n ... m hold zero) by the DCT-I, which is the padded grid's
// transform of an even sequence; along an odd axis the points 1 ... m - 1 by
// the DST-I, which is i times its transform of an odd sequence; the points 0
// and m stay zero.
// Made with FFTW_ESTIMATE: each runs once per kernel, so measuring would cost
// more than it could save.
template <class Real>
void BasicPaddedConvolution<Real>::plan_octant() {
  const std::size_t rank = box_.size();
  octant_plans_.clear();
  octant_plans_.resize(std::size_t{1} << rank);
  std::vector<bool> wanted(octant_plans_.size(), false);
  for (const AxisParities& parity : parities_) wanted[odd_pattern(parity)] = true;
  Real* probe = kernels_.front().data();
  for (std::size_t pattern = 0; pattern < wanted.size(); ++pattern) {
    if (!wanted[pattern]) continue;
    // Axes x, then z, then y: the storage order, y fastest.
    const std::size_t box[3] = {nx_, nz_, ny_};
    const std::size_t extent[3] = {mx_, mz_, my_};
    const std::size_t stride[3] = {octant_slab_, oy_, 1};
    const std::size_t axis_of[3] = {0, 2, 1};
    std::vector<fftw_iodim> dims;
    std::vector<fftw_r2r_kind> kinds;
    std::size_t start = 0;
    bool vanishes = false;
    for (std::size_t d = 0; d < 3; ++d) {
      if (axis_of[d] >= rank) continue;
      const std::size_t n = extent[d];
      if ((pattern >> axis_of[d]) & 1) {
        // One box node along an odd axis: the kernel is its zero at offset 0.
        if (box[d] < 2) vanishes = true;
        dims.push_back(dim(n - 1, stride[d], stride[d]));
        kinds.push_back(FFTW_RODFT00);
        start += stride[d];
      } else {
        dims.push_back(dim(n + 1, stride[d], stride[d]));
        kinds.push_back(FFTW_REDFT00);
      }
    }
    if (vanishes) continue;
    octant_plans_[pattern] =
        BasicFftPlan<Real>(Fftw<Real>::guru_r2r(static_cast<int>(dims.size()), dims.data(), 0, nullptr, probe + start, probe + start,
                                   kinds.data(), FFTW_ESTIMATE));
  }
}

template <class Real>
std::size_t BasicPaddedConvolution<Real>::odd_pattern(const AxisParities& parity) {
  std::size_t pattern = 0;
  for (std::size_t axis = 0; axis < 3; ++axis)
    if (parity[axis] == Parity::odd) pattern |= std::size_t{1} << axis;
  return pattern;
}

template <class Real>
void BasicPaddedConvolution<Real>::set_kernel_sample(int kernel, std::size_t index, double value) {
  if (layout() == SpectrumLayout::octant) {
    assert(!transformed_ && index < octant_);
    kernels_[static_cast<std::size_t>(kernel)].data()[index] = static_cast<Real>(value);
    return;
  }
  assert(!transformed_ && index < points_);
  // Rows of px_ samples sit 2 hx_ doubles apart in FFTW's in-place r2c layout.
  const std::size_t x = index % px_;
  const std::size_t rest = index / px_;
  staging_[static_cast<std::size_t>(kernel)].reals()[x + 2 * hx_ * rest] = static_cast<Real>(value);
}

template <class Real>
void BasicPaddedConvolution<Real>::transform_kernels() {
  if (transformed_) throw std::logic_error("kernels transformed twice");
  if (layout() == SpectrumLayout::octant)
    transform_octant();
  else
    transform_half_spectrum();
  transformed_ = true;
  ensure_work(max_outputs_);
}

template <class Real>
void BasicPaddedConvolution<Real>::transform_octant() {
  const std::size_t count = kernels_.size();
  const Real scale = Real(1) / static_cast<Real>(points_);
  const std::size_t extent[3] = {nx_, ny_, box_.size() == 3 ? nz_ : 1};
  std::vector<int> not_odd(count, -1);  // the axis along which a kernel declared odd is not
  const int team = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads_), std::max<std::size_t>(count, 1)));
#pragma omp parallel for num_threads(team) schedule(dynamic, 1)
  for (std::size_t s = 0; s < count; ++s) {
    Real* k = kernels_[s].data();
    const AxisParities& parity = parities_[s];
    const std::size_t pattern = odd_pattern(parity);
    // An odd kernel vanishes at offset 0 along its odd axis; the DST leaves
    // that point out, so a value there would be lost without a word. Values
    // that are not finite pass: they are to show in the results.
    for (std::size_t axis = 0; axis < 3 && not_odd[s] < 0; ++axis) {
      if (parity[axis] != Parity::odd) continue;
      for (std::size_t p = 0; p < extent[0]; ++p)
        for (std::size_t r = 0; r < extent[2]; ++r)
          for (std::size_t q = 0; q < extent[1]; ++q) {
            const std::size_t at[3] = {p, q, r};
            if (at[axis] != 0) continue;
            const Real v = k[q + oy_ * (r + oz_ * p)];
            if (v != 0.0 && std::isfinite(v)) not_odd[s] = static_cast<int>(axis);
          }
    }
    std::size_t start = 0;
    if (parity[0] == Parity::odd) start += octant_slab_;
    if (parity[1] == Parity::odd) start += 1;
    if (parity[2] == Parity::odd) start += oy_;
    if (octant_plans_[pattern]) Fftw<Real>::execute_r2r(octant_plans_[pattern].get(), k + start, k + start);
    // Two odd axes each give a factor -i: the spectrum is minus the product
    // of the sine transforms.
    const Real factor = pattern == 0 ? scale : -scale;
    for (std::size_t i = 0; i < octant_; ++i) k[i] *= factor;
  }
  for (std::size_t s = 0; s < count; ++s)
    if (not_odd[s] >= 0)
      throw std::runtime_error("kernel " + std::to_string(s) + " is declared odd along axis " +
                               std::to_string(not_odd[s]) + " but is not zero at offset 0 along it");
}

template <class Real>
void BasicPaddedConvolution<Real>::transform_half_spectrum() {
  const std::size_t count = staging_.size();
  const Real scale = Real(1) / static_cast<Real>(points_);
  // Rounding of an n-point FFT stays far below eps log2(n) times the sum of
  // the magnitudes of the samples; an odd part of the kernel does not.
  const double tolerance =
      64.0 * std::numeric_limits<Real>::epsilon() * std::log2(static_cast<double>(points_) + 1.0);
  std::vector<double> worst(count, 0.0);
  const int team = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads_), std::max<std::size_t>(count, 1)));
#pragma omp parallel for num_threads(team) schedule(dynamic, 1)
  for (std::size_t s = 0; s < count; ++s) {
    Real* samples = staging_[s].reals();
    double norm = 0.0;
    for (std::size_t i = 0; i < 2 * spectrum_; ++i) norm += std::abs(samples[i]);
    Fftw<Real>::execute_dft_r2c(kernel_forward_.get(), samples, staging_[s].data());
    const Complex* spectrum = staging_[s].data();
    double imaginary = 0.0;
    for (std::size_t i = 0; i < spectrum_; ++i) imaginary = std::max(imaginary, static_cast<double>(std::abs(spectrum[i][1])));
    worst[s] = norm > 0.0 ? imaginary / norm : 0.0;
  }
  for (std::size_t s = 0; s < count; ++s)
    if (!(worst[s] <= tolerance))
      throw std::runtime_error("kernel " + std::to_string(s) +
                               " is not even in the node offset: its spectrum has imaginary parts of relative size " +
                               std::to_string(worst[s]));
  // One kernel at a time from FFTW's row-major half spectrum (x frequency
  // fastest) to real numbers in slab order (x frequency slowest), so that the
  // peak is the samples of all kernels plus one real spectrum.
  kernels_.clear();
  for (std::size_t s = 0; s < count; ++s) {
    BasicRealBuffer<Real> real(spectrum_);
    const Complex* spectrum = staging_[s].data();
    Real* k = real.data();
    for (std::size_t yz = 0; yz < slab_; ++yz)
      for (std::size_t i = 0; i < hx_; ++i) k[yz + slab_ * i] = spectrum[i + hx_ * yz][0] * scale;
    kernels_.push_back(std::move(real));
    staging_[s] = BasicComplexBuffer<Real>();
  }
  staging_.clear();
}

template <class Real>
void BasicPaddedConvolution<Real>::ensure_work(int count) {
  while (static_cast<int>(corners_.size()) < count) corners_.emplace_back(hx_ * corner_);
  const std::size_t threads = static_cast<std::size_t>(threads_);
  const std::size_t slabs = threads * corners_.size();
  if (slabs_.size() < slabs) {
    slabs_.clear();
    while (slabs_.size() < slabs) slabs_.emplace_back(slab_);
  }
  while (lines_.size() < threads) lines_.emplace_back(nz_ * py_);
  while (backs_.size() < threads) backs_.emplace_back(slab_);
  if (pz_ > 1)
    while (columns_.size() < threads) columns_.emplace_back(slab_);
}

template <class Real>
void BasicPaddedConvolution<Real>::forward_plane(std::size_t k, std::span<const double> in, const std::vector<bool>& used,
                                      Real* rows, Complex* spectra) {
  // The box rows of plane k, zero-padded to the padded extent (the padding
  // of `rows` is never written), and their spectra, row by row; then moved
  // to the slab order of the corners.
  const std::size_t C = used.size();
  for (std::size_t c = 0; c < C; ++c) {
    if (!used[c]) continue;
    for (std::size_t j = 0; j < ny_; ++j) {
      Real* row = rows + px_ * j;
      const std::size_t node = nx_ * (j + ny_ * k);
      for (std::size_t i = 0; i < nx_; ++i) row[i] = static_cast<Real>(in[c + C * (node + i)]);
    }
    Fftw<Real>::execute_dft_r2c(forward_x_.get(), rows, spectra);
    for (std::size_t i = 0; i < hx_; ++i)
      std::copy_n(&spectra[ny_ * i][0], 2 * ny_, corners_[c].reals() + 2 * (corner_ * i + ny_ * k));
  }
}

template <class Real>
void BasicPaddedConvolution<Real>::inverse_plane(std::size_t k, std::span<double> out, const std::vector<bool>& active,
                                      Real* rows, Complex* spectra) {
  const std::size_t C = active.size();
  for (std::size_t o = 0; o < C; ++o) {
    if (active[o]) {
      for (std::size_t i = 0; i < hx_; ++i)
        std::copy_n(corners_[o].reals() + 2 * (corner_ * i + ny_ * k), 2 * ny_, &spectra[ny_ * i][0]);
      Fftw<Real>::execute_dft_c2r(inverse_x_.get(), spectra, rows);
    }
    for (std::size_t j = 0; j < ny_; ++j) {
      const Real* row = rows + px_ * j;
      const std::size_t node = nx_ * (j + ny_ * k);
      if (active[o])
        for (std::size_t i = 0; i < nx_; ++i) out[o + C * (node + i)] = row[i];
      else
        for (std::size_t i = 0; i < nx_; ++i) out[o + C * (node + i)] = 0.0;
    }
  }
}

template <class Real>
void BasicPaddedConvolution<Real>::slab(std::size_t i, const Products& products, int thread, std::vector<Real>& saved,
                             double (&seconds)[3]) {
  const BasicComplexBuffer<Real>* slabs = slabs_.data() + static_cast<std::size_t>(thread) * corners_.size();
  Complex* lines = lines_[static_cast<std::size_t>(thread)].data();
  Complex* columns = pz_ > 1 ? columns_[static_cast<std::size_t>(thread)].data() : nullptr;
  const std::vector<bool>& used = products.used;
  const std::vector<std::vector<Term>>& terms = products.terms;
  double t = omp_get_wtime();
  auto lap = [&t](double& stage) {
    const double now = omp_get_wtime();
    stage += now - t;
    t = now;
  };
  // The box corner of the slab, zero-padded, forward along y over the box
  // lines and along z over every column, each out of place: the box lines
  // into `lines`, whose upper halves stay zero, along y into the first nz
  // rows of `columns`, whose other rows stay zero, and along z into the slab.
  for (std::size_t c = 0; c < used.size(); ++c) {
    if (!used[c]) continue;
    Complex* w = slabs[c].data();
    const Complex* corner = corners_[c].data() + corner_ * i;
    for (std::size_t k = 0; k < nz_; ++k) std::copy_n(&corner[ny_ * k][0], 2 * ny_, &lines[py_ * k][0]);
    if (forward_z_) {
      Fftw<Real>::execute_dft(forward_y_.get(), lines, columns);
      Fftw<Real>::execute_dft(forward_z_.get(), columns, w);
    } else {
      Fftw<Real>::execute_dft(forward_y_.get(), lines, w);
    }
  }
  lap(seconds[0]);

  if (layout() == SpectrumLayout::octant)
    octant_products(i, products, slabs, saved);
  else
    half_spectrum_products(i, products, slabs, saved);
  lap(seconds[1]);

  // Inverse along z over every column, then along y over the lines of the
  // box planes only, keeping the box corner: the x pass reads nothing else.
  // Both out of place, through the thread's work slab and back.
  Complex* back = backs_[static_cast<std::size_t>(thread)].data();
  for (std::size_t o = 0; o < terms.size(); ++o) {
    if (terms[o].empty()) continue;
    Complex* w = slabs[o].data();
    Complex* result = back;
    if (inverse_z_) {
      Fftw<Real>::execute_dft(inverse_z_.get(), w, back);
      Fftw<Real>::execute_dft(inverse_y_.get(), back, w);
      result = w;
    } else {
      Fftw<Real>::execute_dft(inverse_y_.get(), w, back);
    }
    Complex* corner = corners_[o].data() + corner_ * i;
    for (std::size_t k = 0; k < nz_; ++k) std::copy_n(&result[py_ * k][0], 2 * ny_, &corner[ny_ * k][0]);
  }
  lap(seconds[2]);
}

template <class Real>
void BasicPaddedConvolution<Real>::half_spectrum_products(std::size_t i, const Products& products, const BasicComplexBuffer<Real>* slabs,
                                               std::vector<Real>& saved) {
  const std::vector<bool>& used = products.used;
  const std::vector<std::vector<Term>>& terms = products.terms;
  const std::vector<Real>& weights = products.weights;
  const std::size_t first = slab_ * i;
  // Inputs of one block split into real and imaginary parts and weighted,
  // then every coupled output formed from them in place.
  const std::size_t inputs = used.size();
  std::vector<const Real*> k, xr, xi;
  for (std::size_t b = 0; b < slab_; b += PRODUCT_BLOCK) {
    const std::size_t n = std::min(PRODUCT_BLOCK, slab_ - b);
    const std::size_t at = first + b;
    for (std::size_t c = 0; c < inputs; ++c) {
      if (!used[c]) continue;
      const Real* x = slabs[c].reals() + 2 * b;
      Real* re = saved.data() + 2 * PRODUCT_BLOCK * c;
      Real* im = re + PRODUCT_BLOCK;
      const Real w = weights[c];
      for (std::size_t p = 0; p < n; ++p) {
        re[p] = w * x[2 * p];
        im[p] = w * x[2 * p + 1];
      }
    }
    for (std::size_t o = 0; o < terms.size(); ++o) {
      if (terms[o].empty()) continue;
      k.clear();
      xr.clear();
      xi.clear();
      for (const Term& term : terms[o]) {
        k.push_back(term.kernel + at);
        xr.push_back(saved.data() + 2 * PRODUCT_BLOCK * term.input);
        xi.push_back(saved.data() + 2 * PRODUCT_BLOCK * term.input + PRODUCT_BLOCK);
      }
      combine(k.size(), k.data(), xr.data(), xi.data(), 0, n, slabs[o].reals() + 2 * b, 1.0);
    }
  }
}

// The products from the octant of the kernel spectra. The frequencies of the
// slab fall into four quarters by the halves of y and z: (ky, kz) in the upper
// half of an axis reads the stored frequency 2n - k with the kernel's parity
// along that axis as sign. Each quarter is taken in blocks of whole octant
// rows, so that the stored kernel values of a block are contiguous and read in
// order whatever the quarter: the block's inputs are gathered (weighted, the
// upper y half read backward), then the outputs formed row by row straight
// into the slab, the upper y half written backward. With folded signs the
// sign of a term is that of its input times that of its output: the inputs
// are gathered and the outputs written with their signs. Otherwise negated
// copies of the inputs serve the terms of negative sign. Either way every
// term enters with the sign of its kernel's value, so the results are the
// same.
template <class Real>
void BasicPaddedConvolution<Real>::octant_products(std::size_t i, const Products& products, const BasicComplexBuffer<Real>* slabs,
                                        std::vector<Real>& saved) {
  const std::vector<bool>& used = products.used;
  const std::vector<std::vector<Term>>& terms = products.terms;
  const std::size_t inputs = used.size();
  const std::size_t B = block_rows_ * oy_;
  Real* mirrored_row = saved.data() + 4 * B * inputs;
  const bool three_d = box_.size() == 3;
  const std::size_t kernel_first = octant_slab_ * i;
  std::vector<const Real*> k, xr, xi;
  for (std::size_t z0 = 0; z0 < oz_; z0 += block_rows_) {
    const std::size_t z1 = std::min(oz_, z0 + block_rows_);
    for (int z_upper = 0; z_upper < (three_d ? 2 : 1); ++z_upper) {
      // The upper z half holds the stored rows 1 ... mz - 1 only.
      const std::size_t a = z_upper ? std::max<std::size_t>(z0, 1) : z0;
      const std::size_t b = z_upper ? std::min(z1, mz_) : z1;
      if (a >= b) continue;
      for (int y_upper = 0; y_upper < (my_ > 1 ? 2 : 1); ++y_upper) {
        auto sign = [&](const std::array<std::vector<Real>, 2>& signs, std::size_t c) {
          return (y_upper ? signs[0][c] : Real(1)) * (z_upper ? signs[1][c] : Real(1));
        };
        const std::size_t n = (b - a) * oy_;
        for (std::size_t c = 0; c < inputs; ++c) {
          if (!used[c]) continue;
          const Real* x = slabs[c].reals();
          Real* re = saved.data() + 4 * B * c;
          Real* im = re + B;
          const Real w = products.weights[c] * (products.folded ? sign(products.in_sign, c) : Real(1));
          for (std::size_t zz = a, p = 0; zz < b; ++zz, p += oy_) {
            const Real* row = x + 2 * py_ * (z_upper ? pz_ - zz : zz);
            if (!y_upper)
              split_row(row, re + p, im + p, w, oy_);
            else
              split_row_mirrored(row, py_, re + p, im + p, w, oy_);
          }
          if (!products.folded && (z_upper || y_upper)) {
            Real* neg_re = im + B;
            Real* neg_im = neg_re + B;
            for (std::size_t q = 0; q < n; ++q) {
              neg_re[q] = -re[q];
              neg_im[q] = -im[q];
            }
          }
        }
        const std::size_t kernel_at = kernel_first + oy_ * a;
        // Outputs coupled to every input, three at a time.
        for (std::size_t o = 0; o + 3 <= products.dense_outputs; o += 3) {
          k.clear();
          xr.clear();
          xi.clear();
          for (std::size_t g = 0; g < 3; ++g)
            for (const Term& term : terms[o + g]) k.push_back(term.kernel + kernel_at);
          for (std::size_t c = 0; c < inputs; ++c) {
            xr.push_back(saved.data() + 4 * B * c);
            xi.push_back(saved.data() + 4 * B * c + B);
          }
          const Real s[3] = {sign(products.out_sign, o), sign(products.out_sign, o + 1),
                               sign(products.out_sign, o + 2)};
          for (std::size_t zz = a, p = 0; zz < b; ++zz, p += oy_) {
            const std::size_t row = 2 * py_ * (z_upper ? pz_ - zz : zz);
            if (!y_upper) {
              Real* y[3] = {slabs[o].reals() + row, slabs[o + 1].reals() + row, slabs[o + 2].reals() + row};
              combine_three(inputs, k.data(), xr.data(), xi.data(), p, oy_, y, s);
            } else {
              // Formed forward, then copied backward into the upper y half,
              // leaving out the first and last point, the lower half's.
              Real* y[3] = {mirrored_row, mirrored_row + 2 * oy_, mirrored_row + 4 * oy_};
              combine_three(inputs, k.data(), xr.data(), xi.data(), p + 1, my_ - 1, y, s);
              for (std::size_t g = 0; g < 3; ++g) {
                Real* back = slabs[o + g].reals() + row + 2 * (py_ - 1);
                for (std::size_t q = 0; q + 1 < my_; ++q) {
                  back[-2 * static_cast<std::ptrdiff_t>(q)] = y[g][2 * q];
                  back[-2 * static_cast<std::ptrdiff_t>(q) + 1] = y[g][2 * q + 1];
                }
              }
            }
          }
        }
        for (std::size_t o = products.dense_outputs / 3 * 3; o < terms.size(); ++o) {
          if (terms[o].empty()) continue;
          k.clear();
          xr.clear();
          xi.clear();
          for (const Term& term : terms[o]) {
            const bool negative = !products.folded && (y_upper && term.odd_y) != (z_upper && term.odd_z);
            const Real* base = saved.data() + 4 * B * term.input + (negative ? 2 * B : 0);
            k.push_back(term.kernel + kernel_at);
            xr.push_back(base);
            xi.push_back(base + B);
          }
          // Row by row straight into the slab; the mirrored half of a row
          // leaves out its first and last point, which are the other half's.
          const Real s = products.folded ? sign(products.out_sign, o) : Real(1);
          Real* y = slabs[o].reals();
          for (std::size_t zz = a, p = 0; zz < b; ++zz, p += oy_) {
            Real* row = y + 2 * py_ * (z_upper ? pz_ - zz : zz);
            if (!y_upper)
              combine(k.size(), k.data(), xr.data(), xi.data(), p, oy_, row, s);
            else
              combine_mirrored(k.size(), k.data(), xr.data(), xi.data(), p + 1, my_ - 1, row + 2 * (py_ - 1), s,
                               mirrored_row);
          }
        }
      }
    }
  }
}

template <class Real>
typename BasicPaddedConvolution<Real>::Products BasicPaddedConvolution<Real>::products_of(const Coupling& coupling) const {
  const std::size_t inputs = static_cast<std::size_t>(coupling.inputs);
  const std::size_t outputs = static_cast<std::size_t>(coupling.outputs);
  Products products;
  products.active.assign(outputs, false);
  products.used.assign(inputs, false);
  products.terms.resize(outputs);
  products.weights.assign(coupling.weight.begin(), coupling.weight.end());
  const bool octant = layout() == SpectrumLayout::octant;
  for (std::size_t o = 0; o < outputs; ++o)
    for (std::size_t c = 0; c < inputs; ++c) {
      const int s = coupling.kernel(static_cast<int>(o), static_cast<int>(c));
      if (s < 0) continue;
      products.active[o] = true;
      products.used[c] = true;
      const std::size_t slot = static_cast<std::size_t>(s);
      const bool odd_y = octant && parities_.at(slot)[1] == Parity::odd;
      const bool odd_z = octant && parities_.at(slot)[2] == Parity::odd;
      products.terms[o].push_back({c, kernels_.at(slot).data(), odd_y, odd_z});
    }
  if (!octant) return products;
  // The leading outputs coupled to every input in input order (all six of
  // the volume kernel's), which combine_three forms three at a time.
  while (products.dense_outputs < outputs) {
    const std::vector<Term>& row = products.terms[products.dense_outputs];
    bool dense = row.size() == inputs;
    for (std::size_t c = 0; dense && c < inputs; ++c) dense = row[c].input == c;
    if (!dense) break;
    ++products.dense_outputs;
  }
  // Signs by propagation over the graph of coupled pairs, axis by axis: an
  // input's sign fixes those of the outputs it reaches, and so on; a
  // contradiction means there are none.
  products.folded = true;
  for (std::size_t axis = 0; axis < 2; ++axis) {
    std::vector<Real>& in = products.in_sign[axis];
    std::vector<Real>& out = products.out_sign[axis];
    in.assign(inputs, 0.0);
    out.assign(outputs, 0.0);
    auto parity = [&](const Term& term) { return (axis == 0 ? term.odd_y : term.odd_z) ? -1.0 : 1.0; };
    for (std::size_t start = 0; start < inputs; ++start) {
      if (in[start] != 0.0) continue;
      in[start] = 1.0;
      for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t o = 0; o < outputs; ++o)
          for (const Term& term : products.terms[o]) {
            const Real c_sign = in[term.input];
            if (c_sign != 0.0 && out[o] == 0.0) {
              out[o] = parity(term) * c_sign;
              changed = true;
            } else if (c_sign == 0.0 && out[o] != 0.0) {
              in[term.input] = parity(term) * out[o];
              changed = true;
            } else if (c_sign != 0.0 && out[o] * c_sign != parity(term)) {
              products.folded = false;
            }
          }
      }
    }
    for (Real& v : out)
      if (v == 0.0) v = 1.0;  // coupled to nothing
  }
  if (!products.folded || inputs != 6) products.dense_outputs = 0;
  return products;
}

template <class Real>
void BasicPaddedConvolution<Real>::apply(const Coupling& coupling, std::span<const double> in, std::span<double> out,
                              const NodeRangeHook& finish) {
  if (!transformed_) throw std::logic_error("convolution applied before its kernels were transformed");
  assert(in.size() == box_size_ * static_cast<std::size_t>(coupling.inputs));
  assert(out.size() == box_size_ * static_cast<std::size_t>(coupling.outputs));
  ensure_work(std::max(coupling.inputs, coupling.outputs));
  const Products products = products_of(coupling);
  const std::vector<bool>& used = products.used;
  const std::vector<bool>& active = products.active;

  // One team for the whole application: box planes along x, then slabs,
  // then box planes back; each stage waits for the one before.
  double t[4] = {omp_get_wtime(), 0, 0, 0};
  double seconds[3] = {0, 0, 0};
#pragma omp parallel num_threads(threads_) reduction(+ : seconds[:3])
  {
    BasicRealBuffer<Real> forward_rows(px_ * ny_), inverse_rows(px_ * ny_);
    BasicComplexBuffer<Real> spectra(hx_ * ny_);
    const std::size_t block = block_rows_ * oy_;
    std::vector<Real> saved(layout() == SpectrumLayout::octant ? 4 * block * used.size() + 6 * oy_
                                                                 : 2 * PRODUCT_BLOCK * used.size());
#pragma omp for schedule(dynamic)
    for (std::size_t k = 0; k < nz_; ++k) forward_plane(k, in, used, forward_rows.data(), spectra.data());
#pragma omp master
    t[1] = omp_get_wtime();
#pragma omp for schedule(dynamic)
    for (std::size_t i = 0; i < hx_; ++i) slab(i, products, omp_get_thread_num(), saved, seconds);
#pragma omp master
    t[2] = omp_get_wtime();
#pragma omp for schedule(dynamic)
    for (std::size_t k = 0; k < nz_; ++k) {
      inverse_plane(k, out, active, inverse_rows.data(), spectra.data());
      if (finish) finish(nx_ * ny_ * k, nx_ * ny_ * (k + 1));
    }
  }
  t[3] = omp_get_wtime();
  const double t0 = t[0], t1 = t[1], t2 = t[2], t3 = t[3];
  stages_.rows += (t1 - t0) + (t3 - t2);
  stages_.slabs += t2 - t1;
  stages_.forward += seconds[0];
  stages_.products += seconds[1];
  stages_.inverse += seconds[2];
}

template <class Real>
std::size_t BasicPaddedConvolution<Real>::bytes() const {
  std::size_t total = 0;
  for (const BasicComplexBuffer<Real>& b : staging_) total += b.size() * sizeof(Complex);
  for (const BasicRealBuffer<Real>& b : kernels_) total += b.size() * sizeof(Real);
  for (const BasicComplexBuffer<Real>& b : corners_) total += b.size() * sizeof(Complex);
  for (const BasicComplexBuffer<Real>& b : slabs_) total += b.size() * sizeof(Complex);
  for (const BasicComplexBuffer<Real>& b : lines_) total += b.size() * sizeof(Complex);
  for (const BasicComplexBuffer<Real>& b : columns_) total += b.size() * sizeof(Complex);
  for (const BasicComplexBuffer<Real>& b : backs_) total += b.size() * sizeof(Complex);
  return total;
}

template <class Real>
std::size_t BasicPaddedConvolution<Real>::estimate_bytes(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                                              int threads, SpectrumLayout layout, Padding padding) {
  const std::vector<int> halves = padded_halves(box_extent, padding);
  const std::size_t spectrum = spectrum_points(halves);
  const std::size_t hx = static_cast<std::size_t>(halves[0]) + 1;
  const std::size_t slab = spectrum / hx;
  std::size_t corner = 1;
  for (std::size_t axis = 1; axis < box_extent.size(); ++axis) corner *= static_cast<std::size_t>(box_extent[axis]);
  const std::size_t team = static_cast<std::size_t>(std::max(threads, 1));
  const std::size_t per_component = hx * corner + team * slab;
  // Per thread the nz box lines of a slab (2 my points each), a work slab for
  // the inverse passes and, in 3-D, a slab of columns.
  const std::size_t lines = static_cast<std::size_t>(box_extent.size() == 3 ? box_extent[2] : 1) * 2 *
                            static_cast<std::size_t>(halves[1]);
  const std::size_t per_thread = box_extent.size() == 3 ? lines + 2 * slab : lines + slab;
  const std::size_t kernel_points = layout == SpectrumLayout::octant ? octant_points(halves) : spectrum;
  return kernel_points * static_cast<std::size_t>(kernel_count) * sizeof(Real) +
         (static_cast<std::size_t>(max_outputs) * per_component + team * per_thread) * sizeof(Complex);
}

template <class Real>
std::size_t BasicPaddedConvolution<Real>::estimate_build_bytes(const std::vector<int>& box_extent, int kernel_count,
                                                    SpectrumLayout layout, Padding padding) {
  const std::vector<int> halves = padded_halves(box_extent, padding);
  if (layout == SpectrumLayout::octant)
    return octant_points(halves) * static_cast<std::size_t>(kernel_count) * sizeof(Real);
  const std::size_t spectrum = spectrum_points(halves);
  return spectrum * (static_cast<std::size_t>(kernel_count) * sizeof(Complex) + sizeof(Real));
}

template class BasicPaddedConvolution<double>;
template class BasicPaddedConvolution<float>;

}  // namespace csolver
