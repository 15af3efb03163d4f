#pragma once
// The straightforward zero-padded convolution: complex transforms of the whole
// padded grid and complex kernel spectra, one work array and one accumulator
// per output component. Kept outside the program as the yardstick that the
// benchmark times and the tests compare PaddedConvolution against.
#include "numlib/convolution.h"
#include "numlib/fft.h"

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace csolver::reference {

// In-place complex transforms of one grid shape; inverse includes 1/points.
class ComplexFft {
 public:
  ComplexFft(const std::vector<int>& extents_x_fastest, PlannerEffort effort);

  std::size_t size() const { return size_; }
  void forward(fftw_complex* data) const;
  void inverse(fftw_complex* data) const;

 private:
  std::size_t size_ = 0;
  FftPlan forward_;
  FftPlan backward_;
};

class LiteralConvolution {
 public:
  LiteralConvolution(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                     PlannerEffort effort = PlannerEffort::measure);

  std::size_t box_size() const { return box_size_; }
  std::size_t padded_size() const { return fft_.size(); }
  // Same numbering of padded points as PaddedConvolution::padded_index.
  std::size_t padded_index(const std::array<int, 3>& offset) const;

  void set_kernel_sample(int kernel, std::size_t padded_index, double value);
  void transform_kernels();
  void apply(const Coupling& coupling, std::span<const double> in, std::span<double> out);

  std::size_t bytes() const;

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

}  // namespace csolver::reference
