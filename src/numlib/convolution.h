#pragma once
// Linear convolution of multi-component box fields with a set of kernels, by
// FFT on a zero-padded grid of twice the box extent along every axis.
//
// A kernel sample for the node offset d is stored at the padded index d mod
// (2n) per axis, so offsets -(n-1) ... n-1 all fit and the points with index n
// (reached by no offset) stay zero; the box field sits in the low corner. The
// cyclic convolution on the padded grid then equals the linear convolution
// over the box.
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
#include "numlib/fft.h"

#include <array>
#include <cstddef>
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

// Threads used when none are asked for: all cores, or fewer when the standard
// OMP_NUM_THREADS variable says so.
int default_thread_count();

class PaddedConvolution {
 public:
  // box_extent: nodes per axis, x first (rank 2 or 3); kernel_count: number of
  // stored kernels; max_outputs: the largest number of output components of
  // any coupling used with apply() (work spectra for more input components
  // are added on first use). threads = 0 takes default_thread_count().
  // All FFTW plans are made here, before any kernel sample is written.
  PaddedConvolution(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                    PlannerEffort effort = PlannerEffort::measure, int threads = 0);
  PaddedConvolution(const PaddedConvolution&) = delete;
  PaddedConvolution& operator=(const PaddedConvolution&) = delete;

  const std::vector<int>& box_extent() const { return box_; }
  const std::vector<int>& padded_extent() const { return padded_; }
  std::size_t box_size() const { return box_size_; }
  // Points of the padded grid, and complex points of its half spectrum.
  std::size_t padded_size() const { return points_; }
  std::size_t spectrum_size() const { return spectrum_; }

  int threads() const { return threads_; }
  void set_threads(int threads);

  // Padded linear index (x fastest) of a node offset (components may be negative).
  std::size_t padded_index(const std::array<int, 3>& offset) const;

  // Kernel samples are written in real space, then transformed once. Writing
  // distinct points from several threads at once is safe.
  void set_kernel_sample(int kernel, std::size_t padded_index, double value);
  // Throws std::runtime_error if a kernel's spectrum is not real, that is, if
  // its samples are not even under d -> -d beyond rounding.
  void transform_kernels();

  // out(o, node) = sum_c weight[c] (K[kernel(o, c)] * in(c))(node).
  void apply(const Coupling& coupling, std::span<const double> in, std::span<double> out);

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
                                    int threads = default_thread_count());
  // The peak while the kernels are filled and transformed: real-space samples
  // of every kernel are held until transformed, plus one real spectrum.
  static std::size_t estimate_build_bytes(const std::vector<int>& box_extent, int kernel_count);

 private:
  void ensure_work(int count);
  struct Term {
    std::size_t input;
    const double* kernel;
  };
  void forward_plane(std::size_t k, std::span<const double> in, const std::vector<bool>& used, double* rows,
                     fftw_complex* spectra);
  void slab(std::size_t i, const std::vector<std::vector<Term>>& terms, const std::vector<bool>& used,
            const std::vector<double>& weights, const ComplexBuffer* slabs, std::vector<double>& saved,
            double (&seconds)[3]);
  void inverse_plane(std::size_t k, std::span<double> out, const std::vector<bool>& active, double* rows,
                     fftw_complex* spectra);

  std::vector<int> box_;
  std::vector<int> padded_;
  std::size_t box_size_ = 1;
  std::size_t nx_ = 1, ny_ = 1, nz_ = 1;  // box extents, nz_ = 1 in 2-D
  std::size_t px_ = 1, py_ = 1, pz_ = 1;  // padded extents, pz_ = 1 in 2-D
  std::size_t hx_ = 1;                    // px_ / 2 + 1 frequencies along x
  std::size_t points_ = 1;                // px_ py_ pz_
  std::size_t spectrum_ = 1;              // hx_ py_ pz_
  int threads_ = 1;
  int max_outputs_ = 0;
  bool transformed_ = false;
  StageSeconds stages_;

  std::size_t slab_ = 1;                  // py_ pz_: spectrum points of one x frequency
  std::size_t corner_ = 1;                // ny_ nz_: the box corner of one slab

  FftPlan kernel_forward_;  // whole-grid in-place r2c of one kernel
  // Along x: the ny box rows of one box plane, real rows to the spectrum.
  FftPlan forward_x_, inverse_x_;
  // Within one slab: along y the nz box lines, along z every column.
  FftPlan forward_y_, forward_z_, inverse_z_, inverse_y_;

  // Real-space kernel samples in FFTW's in-place r2c layout (rows of 2 hx_
  // doubles), released as each kernel is transformed.
  std::vector<ComplexBuffer> staging_;
  // Real kernel spectra over the half spectrum in slab order (index
  // y + py (z + pz i)), with the inverse transform's 1/points factor folded in.
  std::vector<RealBuffer> kernels_;
  // Per component, the box corner (y < ny, z < nz) of every slab, index
  // y + ny (z + nz i): after the x pass on the way in, before it on the way
  // out; nothing else of the padded spectrum is needed between slabs.
  std::vector<ComplexBuffer> corners_;
  // Per thread and component, one whole slab, where the y and z passes and
  // the products run in cache: input transforms, overwritten in place by the
  // output products and their inverse transforms.
  std::vector<ComplexBuffer> slabs_;
};

}  // namespace csolver
