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

class PaddedConvolution {
 public:
  // box_extent: nodes per axis, x first (rank 2 or 3); kernel_count: number of
  // stored kernels; max_outputs: the largest number of output components of
  // any coupling used with apply().
  PaddedConvolution(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                    PlannerEffort effort = PlannerEffort::measure);

  const std::vector<int>& box_extent() const { return box_; }
  const std::vector<int>& padded_extent() const { return padded_; }
  std::size_t box_size() const { return box_size_; }
  std::size_t padded_size() const { return fft_.size(); }

  // Padded linear index of a node offset (components may be negative).
  std::size_t padded_index(const std::array<int, 3>& offset) const;

  // Kernel samples are written in real space, then transformed once.
  void set_kernel_sample(int kernel, std::size_t padded_index, double value);
  void transform_kernels();

  // out(o, node) = Re sum_c weight[c] (K[kernel(o, c)] * in(c))(node).
  void apply(const Coupling& coupling, std::span<const double> in, std::span<double> out);

  // Bytes held by kernel spectra and work arrays.
  std::size_t bytes() const;
  // The same, before construction.
  static std::size_t estimate_bytes(const std::vector<int>& box_extent, int kernel_count, int max_outputs);

 private:
  void load_component(std::span<const double> in, int components, int c);
  void read_component(const fftw_complex* acc, std::span<double> out, int components, int o) const;

  std::vector<int> box_;
  std::vector<int> padded_;
  std::size_t box_size_ = 1;
  ComplexFft fft_;
  std::vector<ComplexBuffer> kernels_;
  ComplexBuffer work_;
  std::vector<ComplexBuffer> accumulators_;
};

}  // namespace csolver
