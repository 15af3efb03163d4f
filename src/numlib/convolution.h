#pragma once
// Linear convolution of multi-component box fields with a set of kernels, by
// FFT on a zero-padded grid of (at least) twice the box extent along every
// axis.
//
// Along an axis of n box nodes the padded grid has 2m points, m >= n (m = n,
// or the next size FFTW transforms quickly, see Padding). A kernel sample for
// the node offset d is stored at the padded index d mod (2m) per axis, so
// offsets -(n-1) ... n-1 all fit and the points n ... 2m - n (reached by no
// offset) stay zero; the box field sits in the low corner. The cyclic
// convolution on the padded grid then equals the linear convolution over the
// box, whatever m >= n.
//
// Fields are component-fastest: value (c, node) at c + components * node, box
// nodes numbered with x fastest.
//
// How it is computed. Fields and kernels are real, so only the half spectrum
// (nx + 1 frequencies along x) is kept. Every kernel must be even under
// d -> -d (elastic Green-function kernels are), which makes its spectrum real:
// it is stored as real numbers, and the realness is checked when the kernel is
// transformed. The spectrum is stored with the x frequency slowest, so that
// the (y, z) slab of one frequency is contiguous and its transforms run in
// cache. Transforms are batches of 1-D transforms, skipping the lines that are
// all zero on the way in (the box fills one corner of the padded grid) and the
// lines whose values are never read on the way out. Per slab, all input
// components are transformed, the coupled products formed in place and the
// outputs transformed back; between the x pass and the slabs only the box
// corner of each slab is kept, a quarter (3-D) or half (2-D) of the spectrum.
// Threads share out box planes and slabs; each line is transformed by the
// same plan whatever the thread count, so results do not depend on it.
//
// Mirror-symmetric kernels. When every kernel is even or odd under the
// reflection of each axis of the offset (p -> -p alone, and so on), with an
// even number of odd axes, its spectrum is real and, along each axis, even or
// odd in the frequency as the kernel is in the offset. Then only the octant of
// offsets with non-negative components is sampled, transformed by real even
// and odd transforms (DCT-I / DST-I of the 2m-periodic padded grid; the
// samples n ... m are zero), and only the octant of frequencies 0 ... m along
// every axis is stored: about a
// quarter of the half spectrum. The products read the other frequencies from
// it with the parity signs.
#include "numlib/fft.h"

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace csolver {

// Which stored kernel couples input component c to output component o, and
// the factor applied to each input component (the engineering factor 2 on
// tensor shear components, for instance).
struct Coupling {
  int inputs = 0;
  int outputs = 0;
  std::vector<int> kernel_of;  // [o * inputs + c]; -1 where o and c do not couple
  std::vector<double> weight;  // [c]

  int kernel(int o, int c) const { return kernel_of[static_cast<std::size_t>(o * inputs + c)]; }
};

// A Coupling that convolves every component with the same kernel by itself.
Coupling diagonal_coupling(int components, int kernel);

// Linear index, x fastest, of a node offset on the padded grid: each
// component taken modulo the padded extent, so negative offsets wrap to the
// upper end.
std::size_t wrapped_index(const std::vector<int>& padded_extent, const std::array<int, 3>& offset);

// Parity of a kernel under the reflection of one axis of the node offset.
enum class Parity { even, odd };
// Per axis, x first; the third is ignored in 2-D.
using AxisParities = std::array<Parity, 3>;

// How kernel spectra are stored: the real half spectrum of kernels even
// under d -> -d, or one octant of frequencies of mirror-symmetric kernels.
enum class SpectrumLayout { half_spectrum, octant };

// "half_spectrum" or "octant".
const char* layout_name(SpectrumLayout layout);

// How far the box is padded: to exactly twice its extent along every axis
// (the console program's transforms, bit for bit), or to twice a nearby
// extent m >= n whose prime factors are all 2, 3, 5 (or 7 where that is
// clearly smaller), where FFTW's transforms are fastest: a box of 41 nodes
// pads to 84 points, not 82 = 2 * 41; one of 49 to 100, not 98 = 2 * 7^2.
// Both give the same convolution up to rounding.
enum class Padding { twice_box, smooth };

// Half the padded extent of an axis of n box nodes.
int padded_half(int n, Padding padding);

// Threads used when none are asked for: all cores, or fewer when the standard
// OMP_NUM_THREADS variable says so.
int default_thread_count();

// Real: double, or float for single-precision transforms and products (the
// fields passed to apply() stay double; they are rounded to float on the way
// in and widened on the way out).
template <class Real>
class BasicPaddedConvolution {
 public:
  using Complex = typename Fftw<Real>::complex;
  // box_extent: nodes per axis, x first (rank 2 or 3); kernel_count: number of
  // stored kernels; max_outputs: the largest number of output components of
  // any coupling used with apply() (work spectra for more input components
  // are added on first use). threads = 0 takes default_thread_count().
  // mirror: empty for kernels that are only even under d -> -d (half
  // spectrum); otherwise the parities of every kernel (octant layout), each
  // with an even number of odd axes.
  // padding: see Padding.
  // All FFTW plans are made here, before any kernel sample is written.
  BasicPaddedConvolution(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                         PlannerEffort effort = PlannerEffort::measure, int threads = 0,
                         const std::vector<AxisParities>& mirror = {}, Padding padding = Padding::twice_box);
  // A copy of a transformed double-precision convolution whose kernel spectra
  // are rounded to Real: the spectra are formed once, in double precision.
  BasicPaddedConvolution(const BasicPaddedConvolution<double>& source, PlannerEffort effort);
  BasicPaddedConvolution(const BasicPaddedConvolution&) = delete;
  BasicPaddedConvolution& operator=(const BasicPaddedConvolution&) = delete;

  const std::vector<int>& box_extent() const { return box_; }
  const std::vector<int>& padded_extent() const { return padded_; }
  Padding padding() const { return padding_; }
  std::size_t box_size() const { return box_size_; }
  // Points of the padded grid, and complex points of its half spectrum.
  std::size_t padded_size() const { return points_; }
  std::size_t spectrum_size() const { return spectrum_; }

  int threads() const { return threads_; }
  void set_threads(int threads);

  SpectrumLayout layout() const { return parities_.empty() ? SpectrumLayout::half_spectrum : SpectrumLayout::octant; }

  // Padded linear index (x fastest) of a node offset (components may be negative).
  std::size_t padded_index(const std::array<int, 3>& offset) const;
  // Where set_kernel_sample takes the sample of a node offset: its padded
  // index (half spectrum), or its place in the octant, where only offsets
  // with no negative component are stored (the rest follow by parity;
  // std::invalid_argument for others).
  std::size_t sample_index(const std::array<int, 3>& offset) const;

  // Kernel samples are written in real space, then transformed once. Writing
  // distinct points from several threads at once is safe.
  void set_kernel_sample(int kernel, std::size_t index, double value);
  // Throws std::runtime_error if a kernel's spectrum is not real, that is, if
  // its samples are not even under d -> -d beyond rounding (half spectrum),
  // or if a kernel declared odd along an axis has a finite non-zero sample at
  // offset 0 along it (octant).
  void transform_kernels();

  // Called after the outputs of the box nodes [first, last) are all written,
  // by the thread that wrote them; each node is in exactly one call.
  using NodeRangeHook = std::function<void(std::size_t first, std::size_t last)>;

  // out(o, node) = sum_c weight[c] (K[kernel(o, c)] * in(c))(node); then
  // finish, if given, on every range of nodes. `in` is read completely before
  // `out` is written, so both may be the same array when there is no finish
  // that reads `in`.
  void apply(const Coupling& coupling, std::span<const double> in, std::span<double> out,
             const NodeRangeHook& finish = {});

  // Wall seconds spent in each stage of apply() since construction or the
  // last reset, for the benchmark's account of where the time goes.
  struct StageSeconds {
    // Wall time of the x passes with the gathering and scattering of the
    // interleaved fields, and of the slab stage; within the slabs, thread
    // time of the forward y and z passes, the products and the inverse passes.
    double rows = 0, slabs = 0, forward = 0, products = 0, inverse = 0;
  };
  const StageSeconds& stage_seconds() const { return stages_; }
  void reset_stage_seconds() { stages_ = StageSeconds{}; }

  // Bytes now held by kernel samples or spectra and work spectra.
  std::size_t bytes() const;
  // Kernel spectra and work arrays while solving (after transform_kernels).
  static std::size_t estimate_bytes(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                                    int threads = default_thread_count(),
                                    SpectrumLayout layout = SpectrumLayout::half_spectrum,
                                    Padding padding = Padding::twice_box);
  // The peak while the kernels are filled and transformed: in the half
  // spectrum, real-space samples of every kernel held until transformed plus
  // one real spectrum; in the octant, the samples transformed in place.
  static std::size_t estimate_build_bytes(const std::vector<int>& box_extent, int kernel_count,
                                          SpectrumLayout layout = SpectrumLayout::half_spectrum,
                                          Padding padding = Padding::twice_box);

 private:
  void ensure_work(int count);
  struct Term {
    std::size_t input;
    const Real* kernel;
    bool odd_y = false, odd_z = false;  // octant: the sign of the mirrored frequencies
  };
  // What one application forms: per output its terms, the inputs used and
  // their weights; for the octant, per axis y and z, a sign per input and per
  // output whose product is the parity of every coupled kernel, where the
  // coupling has such signs (the solvers' couplings do: they are the parities
  // of the tensor components).
  struct Products {
    std::vector<std::vector<Term>> terms;
    std::vector<bool> used, active;
    std::vector<Real> weights;
    bool folded = false;
    std::array<std::vector<Real>, 2> in_sign, out_sign;
    // Octant, folded signs: the first outputs that couple to every one of
    // six inputs in input order, formed three at a time.
    std::size_t dense_outputs = 0;
  };
  Products products_of(const Coupling& coupling) const;
  void transform_half_spectrum();
  void plan_octant();
  void transform_octant();
  static std::size_t odd_pattern(const AxisParities& parity);
  void half_spectrum_products(std::size_t i, const Products& products, const BasicComplexBuffer<Real>* slabs,
                              std::vector<Real>& saved);
  void octant_products(std::size_t i, const Products& products, const BasicComplexBuffer<Real>* slabs,
                       std::vector<Real>& saved);
  template <class Other>
  friend class BasicPaddedConvolution;
  void forward_plane(std::size_t k, std::span<const double> in, const std::vector<bool>& used, Real* rows,
                     Complex* spectra);
  void slab(std::size_t i, const Products& products, int thread, std::vector<Real>& saved, double (&seconds)[3]);
  void inverse_plane(std::size_t k, std::span<double> out, const std::vector<bool>& active, Real* rows,
                     Complex* spectra);

  std::vector<int> box_;
  std::vector<int> padded_;
  Padding padding_ = Padding::twice_box;
  std::size_t box_size_ = 1;
  std::size_t nx_ = 1, ny_ = 1, nz_ = 1;  // box extents, nz_ = 1 in 2-D
  std::size_t mx_ = 1, my_ = 1, mz_ = 1;  // half the padded extents (>= the box's), mz_ = 1 in 2-D
  std::size_t px_ = 1, py_ = 1, pz_ = 1;  // padded extents 2m, pz_ = 1 in 2-D
  std::size_t hx_ = 1;                    // mx_ + 1 frequencies along x
  std::size_t points_ = 1;                // px_ py_ pz_
  std::size_t spectrum_ = 1;              // hx_ py_ pz_
  int threads_ = 1;
  int max_outputs_ = 0;
  bool transformed_ = false;
  StageSeconds stages_;

  std::size_t slab_ = 1;                  // py_ pz_: spectrum points of one x frequency
  std::size_t corner_ = 1;                // ny_ nz_: the box corner of one slab

  BasicFftPlan<Real> kernel_forward_;  // half spectrum: whole-grid in-place r2c of one kernel

  // Octant layout: per kernel its parities; the octant spans oy_ = my + 1
  // and oz_ = mz + 1 (1 in 2-D) frequencies, x slowest as in the slabs.
  std::vector<AxisParities> parities_;
  std::size_t oy_ = 1, oz_ = 1;
  std::size_t octant_slab_ = 1;  // oy_ oz_
  std::size_t octant_ = 1;       // hx_ oy_ oz_
  std::size_t block_rows_ = 1;   // octant rows (oy_ points each) per product block
  // In-place DCT-I / DST-I over the octant, one per pattern of odd axes (bit
  // a set: odd along axis a); none where an odd axis has extent 1, for such
  // a kernel vanishes.
  std::vector<BasicFftPlan<Real>> octant_plans_;
  // Along x: the ny box rows of one box plane, real rows to the spectrum.
  BasicFftPlan<Real> forward_x_, inverse_x_;
  // Within one slab: along y the nz box lines, along z every column.
  BasicFftPlan<Real> forward_y_, forward_z_, inverse_z_, inverse_y_;

  // Real-space kernel samples in FFTW's in-place r2c layout (rows of 2 hx_
  // doubles), released as each kernel is transformed.
  std::vector<BasicComplexBuffer<Real>> staging_;
  // Real kernel spectra over the half spectrum in slab order (index
  // y + py (z + pz i)), or over the octant (index y + oy (z + oz i); the
  // samples before the transform), with the inverse transform's 1/points
  // factor folded in.
  std::vector<BasicRealBuffer<Real>> kernels_;
  // Per component, the box corner (y < ny, z < nz) of every slab, index
  // y + ny (z + nz i): after the x pass on the way in, before it on the way
  // out; nothing else of the padded spectrum is needed between slabs.
  std::vector<BasicComplexBuffer<Real>> corners_;
  // Per thread and component, one whole slab, where the y and z passes and
  // the products run in cache: input transforms, overwritten in place by the
  // output products and their inverse transforms.
  std::vector<BasicComplexBuffer<Real>> slabs_;
  // Per thread, the inputs of the forward passes of a slab: its nz box lines
  // (py points each, of which the upper ny stay zero) and, in 3-D, a slab of
  // columns of which the rows nz and above stay zero: the zero padding is
  // written once, never again.
  std::vector<BasicComplexBuffer<Real>> lines_, columns_;
  // Per thread, the output of the inverse z pass (the inverse y pass goes
  // back into the slab); in 2-D the output of the inverse y pass.
  std::vector<BasicComplexBuffer<Real>> backs_;
};

using PaddedConvolution = BasicPaddedConvolution<double>;
// Transforms and kernel products in single precision.
using SinglePaddedConvolution = BasicPaddedConvolution<float>;

extern template class BasicPaddedConvolution<double>;
extern template class BasicPaddedConvolution<float>;

}  // namespace csolver
