#pragma once
// FFTW bindings: owned, aligned buffers and owned plans, in double precision
// (fftw_*) or single precision (fftwf_*), chosen by the real type.
//
// Contract of the transforms built on them: forward(x)_k = sum_j x_j
// exp(-2 pi i j.k / n), unnormalised; the inverse carries the 1/(number of
// points) factor somewhere before its result is read, so no caller scales a
// transform result. Arrays are stored with the x index fastest.
#include <fftw3.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace csolver {

// FFTW's planner keeps process-wide state: only the execution of a plan is
// thread-safe. Every plan is made and destroyed under this lock, so that
// solves running side by side on their own threads may plan at will.
std::mutex& fftw_planner_mutex();

// FFTW's interface for one real type. Both precisions share the iodim and
// r2r kind types.
template <class Real>
struct Fftw;

template <>
struct Fftw<double> {
  using complex = fftw_complex;
  using plan = fftw_plan;
  static void* alloc_complex(std::size_t n) { return fftw_alloc_complex(n); }
  static void* alloc_real(std::size_t n) { return fftw_alloc_real(n); }
  static void free(void* p) { fftw_free(p); }
  static void destroy(plan p) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    fftw_destroy_plan(p);
  }
  static plan dft_r2c(int rank, const int* n, double* in, complex* out, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftw_plan_dft_r2c(rank, n, in, out, flags);
  }
  static plan guru_dft_r2c(int rank, const fftw_iodim* dims, int howmany_rank, const fftw_iodim* howmany, double* in,
                           complex* out, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftw_plan_guru_dft_r2c(rank, dims, howmany_rank, howmany, in, out, flags);
  }
  static plan guru_dft_c2r(int rank, const fftw_iodim* dims, int howmany_rank, const fftw_iodim* howmany, complex* in,
                           double* out, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftw_plan_guru_dft_c2r(rank, dims, howmany_rank, howmany, in, out, flags);
  }
  static plan guru_dft(int rank, const fftw_iodim* dims, int howmany_rank, const fftw_iodim* howmany, complex* in,
                       complex* out, int sign, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftw_plan_guru_dft(rank, dims, howmany_rank, howmany, in, out, sign, flags);
  }
  static plan guru_r2r(int rank, const fftw_iodim* dims, int howmany_rank, const fftw_iodim* howmany, double* in,
                       double* out, const fftw_r2r_kind* kind, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftw_plan_guru_r2r(rank, dims, howmany_rank, howmany, in, out, kind, flags);
  }
  static void execute_dft_r2c(plan p, double* in, complex* out) { fftw_execute_dft_r2c(p, in, out); }
  static void execute_dft_c2r(plan p, complex* in, double* out) { fftw_execute_dft_c2r(p, in, out); }
  static void execute_dft(plan p, complex* in, complex* out) { fftw_execute_dft(p, in, out); }
  static void execute_r2r(plan p, double* in, double* out) { fftw_execute_r2r(p, in, out); }
};

template <>
struct Fftw<float> {
  using complex = fftwf_complex;
  using plan = fftwf_plan;
  static void* alloc_complex(std::size_t n) { return fftwf_alloc_complex(n); }
  static void* alloc_real(std::size_t n) { return fftwf_alloc_real(n); }
  static void free(void* p) { fftwf_free(p); }
  static void destroy(plan p) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    fftwf_destroy_plan(p);
  }
  static plan dft_r2c(int rank, const int* n, float* in, complex* out, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftwf_plan_dft_r2c(rank, n, in, out, flags);
  }
  static plan guru_dft_r2c(int rank, const fftwf_iodim* dims, int howmany_rank, const fftwf_iodim* howmany, float* in,
                           complex* out, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftwf_plan_guru_dft_r2c(rank, dims, howmany_rank, howmany, in, out, flags);
  }
  static plan guru_dft_c2r(int rank, const fftwf_iodim* dims, int howmany_rank, const fftwf_iodim* howmany,
                           complex* in, float* out, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftwf_plan_guru_dft_c2r(rank, dims, howmany_rank, howmany, in, out, flags);
  }
  static plan guru_dft(int rank, const fftwf_iodim* dims, int howmany_rank, const fftwf_iodim* howmany, complex* in,
                       complex* out, int sign, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftwf_plan_guru_dft(rank, dims, howmany_rank, howmany, in, out, sign, flags);
  }
  static plan guru_r2r(int rank, const fftwf_iodim* dims, int howmany_rank, const fftwf_iodim* howmany, float* in,
                       float* out, const fftwf_r2r_kind* kind, unsigned flags) {
    const std::lock_guard<std::mutex> lock(fftw_planner_mutex());
    return fftwf_plan_guru_r2r(rank, dims, howmany_rank, howmany, in, out, kind, flags);
  }
  static void execute_dft_r2c(plan p, float* in, complex* out) { fftwf_execute_dft_r2c(p, in, out); }
  static void execute_dft_c2r(plan p, complex* in, float* out) { fftwf_execute_dft_c2r(p, in, out); }
  static void execute_dft(plan p, complex* in, complex* out) { fftwf_execute_dft(p, in, out); }
  static void execute_r2r(plan p, float* in, float* out) { fftwf_execute_r2r(p, in, out); }
};

template <class Real>
struct FftwDeleter {
  void operator()(void* p) const noexcept { Fftw<Real>::free(p); }
};

// A zero-initialised complex array from fftw(f)_alloc_complex, so that every
// buffer shares the alignment the plans were made for.
template <class Real>
class BasicComplexBuffer {
 public:
  using Complex = typename Fftw<Real>::complex;
  BasicComplexBuffer() = default;
  explicit BasicComplexBuffer(std::size_t size);
  Complex* data() const { return data_.get(); }
  Real* reals() const { return &data_.get()[0][0]; }
  std::size_t size() const { return size_; }
  void clear();

 private:
  std::unique_ptr<Complex[], FftwDeleter<Real>> data_;
  std::size_t size_ = 0;
};

// A zero-initialised real array from fftw(f)_alloc_real.
template <class Real>
class BasicRealBuffer {
 public:
  BasicRealBuffer() = default;
  explicit BasicRealBuffer(std::size_t size);
  Real* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<Real[], FftwDeleter<Real>> data_;
  std::size_t size_ = 0;
};

enum class PlannerEffort { estimate, measure };

unsigned planner_flags(PlannerEffort effort);

// One FFTW plan, destroyed with its owner. Executing a plan on other arrays of
// the same layout and alignment is thread-safe; making and destroying one
// take the planner's lock (fftw_planner_mutex).
template <class Real>
class BasicFftPlan {
 public:
  using Plan = typename Fftw<Real>::plan;
  BasicFftPlan() = default;
  // Takes ownership; throws if FFTW could not plan (null).
  explicit BasicFftPlan(Plan plan);
  ~BasicFftPlan();
  BasicFftPlan(const BasicFftPlan&) = delete;
  BasicFftPlan& operator=(const BasicFftPlan&) = delete;
  BasicFftPlan(BasicFftPlan&& other) noexcept;
  BasicFftPlan& operator=(BasicFftPlan&& other) noexcept;

  Plan get() const { return plan_; }
  explicit operator bool() const { return plan_ != nullptr; }

 private:
  Plan plan_ = nullptr;
};

using ComplexBuffer = BasicComplexBuffer<double>;
using RealBuffer = BasicRealBuffer<double>;
using FftPlan = BasicFftPlan<double>;

extern template class BasicComplexBuffer<double>;
extern template class BasicComplexBuffer<float>;
extern template class BasicRealBuffer<double>;
extern template class BasicRealBuffer<float>;
extern template class BasicFftPlan<double>;
extern template class BasicFftPlan<float>;

}  // namespace csolver
