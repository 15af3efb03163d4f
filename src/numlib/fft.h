#pragma once
// FFTW bindings: owned, aligned buffers and owned plans.
//
// Contract of the transforms built on them: forward(x)_k = sum_j x_j
// exp(-2 pi i j.k / n), unnormalised; the inverse carries the 1/(number of
// points) factor somewhere before its result is read, so no caller scales a
// transform result. Arrays are stored with the x index fastest.
#include <fftw3.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace csolver {

struct FftwDeleter {
  void operator()(void* p) const noexcept { fftw_free(p); }
};

// A zero-initialised complex array from fftw_alloc_complex, so that every
// buffer shares the alignment the plans were made for.
class ComplexBuffer {
 public:
  ComplexBuffer() = default;
  explicit ComplexBuffer(std::size_t size);
  fftw_complex* data() const { return data_.get(); }
  double* reals() const { return &data_.get()[0][0]; }
  std::size_t size() const { return size_; }
  void clear();

 private:
  std::unique_ptr<fftw_complex[], FftwDeleter> data_;
  std::size_t size_ = 0;
};

// A zero-initialised real array from fftw_alloc_real.
class RealBuffer {
 public:
  RealBuffer() = default;
  explicit RealBuffer(std::size_t size);
  double* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<double[], FftwDeleter> data_;
  std::size_t size_ = 0;
};

enum class PlannerEffort { estimate, measure };

unsigned planner_flags(PlannerEffort effort);

// One FFTW plan, destroyed with its owner. Executing a plan on other arrays of
// the same layout and alignment is thread-safe; making one is not, so plans
// are made once, up front, by one thread.
class FftPlan {
 public:
  FftPlan() = default;
  // Takes ownership; throws if FFTW could not plan (null).
  explicit FftPlan(fftw_plan plan);
  ~FftPlan();
  FftPlan(const FftPlan&) = delete;
  FftPlan& operator=(const FftPlan&) = delete;
  FftPlan(FftPlan&& other) noexcept;
  FftPlan& operator=(FftPlan&& other) noexcept;

  fftw_plan get() const { return plan_; }
  explicit operator bool() const { return plan_ != nullptr; }

 private:
  fftw_plan plan_ = nullptr;
};

}  // namespace csolver
