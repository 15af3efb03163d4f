#include "numlib/fft.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace csolver {

std::mutex& fftw_planner_mutex() {
  static std::mutex planner;
  return planner;
}

template <class Real>
BasicComplexBuffer<Real>::BasicComplexBuffer(std::size_t size)
    : data_(static_cast<Complex*>(Fftw<Real>::alloc_complex(std::max<std::size_t>(size, 1)))), size_(size) {
  if (!data_) throw std::bad_alloc();
  clear();
}

template <class Real>
void BasicComplexBuffer<Real>::clear() {
  std::fill_n(&data_[0][0], 2 * size_, Real(0));
}

template <class Real>
BasicRealBuffer<Real>::BasicRealBuffer(std::size_t size)
    : data_(static_cast<Real*>(Fftw<Real>::alloc_real(std::max<std::size_t>(size, 1)))), size_(size) {
  if (!data_) throw std::bad_alloc();
  std::fill_n(data_.get(), size_, Real(0));
}

unsigned planner_flags(PlannerEffort effort) {
  return effort == PlannerEffort::measure ? FFTW_MEASURE : FFTW_ESTIMATE;
}

template <class Real>
BasicFftPlan<Real>::BasicFftPlan(Plan plan) : plan_(plan) {
  if (!plan_) throw std::runtime_error("FFTW could not plan a transform of this grid");
}

template <class Real>
BasicFftPlan<Real>::~BasicFftPlan() {
  if (plan_) Fftw<Real>::destroy(plan_);
}

template <class Real>
BasicFftPlan<Real>::BasicFftPlan(BasicFftPlan&& other) noexcept : plan_(std::exchange(other.plan_, nullptr)) {}

template <class Real>
BasicFftPlan<Real>& BasicFftPlan<Real>::operator=(BasicFftPlan&& other) noexcept {
  if (this != &other) {
    if (plan_) Fftw<Real>::destroy(plan_);
    plan_ = std::exchange(other.plan_, nullptr);
  }
  return *this;
}

template class BasicComplexBuffer<double>;
template class BasicComplexBuffer<float>;
template class BasicRealBuffer<double>;
template class BasicRealBuffer<float>;
template class BasicFftPlan<double>;
template class BasicFftPlan<float>;

}  // namespace csolver
