#include "numlib/fft.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace csolver {

ComplexBuffer::ComplexBuffer(std::size_t size)
    : data_(fftw_alloc_complex(std::max<std::size_t>(size, 1))), size_(size) {
  if (!data_) throw std::bad_alloc();
  clear();
}

void ComplexBuffer::clear() { std::fill_n(&data_[0][0], 2 * size_, 0.0); }

RealBuffer::RealBuffer(std::size_t size)
    : data_(fftw_alloc_real(std::max<std::size_t>(size, 1))), size_(size) {
  if (!data_) throw std::bad_alloc();
  std::fill_n(data_.get(), size_, 0.0);
}

namespace {
unsigned planner_flags(PlannerEffort effort) {
  return effort == PlannerEffort::measure ? FFTW_MEASURE : FFTW_ESTIMATE;
}
}  // namespace

ComplexFft::ComplexFft(const std::vector<int>& extents_x_fastest, PlannerEffort effort) {
  std::vector<int> row_major(extents_x_fastest.rbegin(), extents_x_fastest.rend());
  size_ = 1;
  for (int n : row_major) size_ *= static_cast<std::size_t>(n);
  ComplexBuffer scratch(size_);
  const int rank = static_cast<int>(row_major.size());
  const unsigned flags = planner_flags(effort);
  forward_ = fftw_plan_dft(rank, row_major.data(), scratch.data(), scratch.data(), FFTW_FORWARD, flags);
  backward_ = fftw_plan_dft(rank, row_major.data(), scratch.data(), scratch.data(), FFTW_BACKWARD, flags);
  if (!forward_ || !backward_) {
    if (forward_) fftw_destroy_plan(forward_);
    if (backward_) fftw_destroy_plan(backward_);
    throw std::runtime_error("FFTW could not plan a transform of this grid");
  }
}

ComplexFft::~ComplexFft() {
  fftw_destroy_plan(forward_);
  fftw_destroy_plan(backward_);
}

void ComplexFft::forward(fftw_complex* data) const { fftw_execute_dft(forward_, data, data); }

void ComplexFft::inverse(fftw_complex* data) const {
  fftw_execute_dft(backward_, data, data);
  const double scale = 1.0 / static_cast<double>(size_);
  double* values = &data[0][0];
  for (std::size_t i = 0; i < 2 * size_; ++i) values[i] *= scale;
}

}  // namespace csolver
