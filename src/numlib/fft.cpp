#include "numlib/fft.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

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

unsigned planner_flags(PlannerEffort effort) {
  return effort == PlannerEffort::measure ? FFTW_MEASURE : FFTW_ESTIMATE;
}

FftPlan::FftPlan(fftw_plan plan) : plan_(plan) {
  if (!plan_) throw std::runtime_error("FFTW could not plan a transform of this grid");
}

FftPlan::~FftPlan() {
  if (plan_) fftw_destroy_plan(plan_);
}

FftPlan::FftPlan(FftPlan&& other) noexcept : plan_(std::exchange(other.plan_, nullptr)) {}

FftPlan& FftPlan::operator=(FftPlan&& other) noexcept {
  if (this != &other) {
    if (plan_) fftw_destroy_plan(plan_);
    plan_ = std::exchange(other.plan_, nullptr);
  }
  return *this;
}

}  // namespace csolver
