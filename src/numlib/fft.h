#pragma once
// In-place complex FFTs on FFTW, with owned, aligned buffers.
//
// Contract: forward(x)_k = sum_j x_j exp(-2 pi i j.k / n), unnormalised;
// inverse() is its exact inverse, including the 1/(number of points) factor,
// so no caller scales a transform result. Arrays are stored with the x index
// fastest; the extents are handed to FFTW reversed (its last index is fastest).
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
  std::size_t size() const { return size_; }
  void clear();

 private:
  std::unique_ptr<fftw_complex[], FftwDeleter> data_;
  std::size_t size_ = 0;
};

// A real array from fftw_alloc_real.
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

// Forward and inverse in-place plans for one grid shape, made once and
// executed on any buffer of that shape. Planning with `measure` overwrites the
// buffer it is given, so plans are made before any data is filled in.
class ComplexFft {
 public:
  ComplexFft(const std::vector<int>& extents_x_fastest, PlannerEffort effort);
  ~ComplexFft();
  ComplexFft(const ComplexFft&) = delete;
  ComplexFft& operator=(const ComplexFft&) = delete;

  std::size_t size() const { return size_; }
  void forward(fftw_complex* data) const;
  void inverse(fftw_complex* data) const;

 private:
  std::size_t size_ = 0;
  fftw_plan forward_ = nullptr;
  fftw_plan backward_ = nullptr;
};

}  // namespace csolver
