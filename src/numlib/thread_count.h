#pragma once
// The size of the OpenMP teams that name none (the Krylov solver's vector
// operations), for the calling thread while in scope. A solve asked for T
// threads then keeps to T everywhere, and solves running side by side on
// threads of their own do not each start a team of every core. OpenMP keeps
// this setting per thread, so other threads are not affected.
#include <omp.h>

namespace csolver {

class ScopedThreadCount {
 public:
  // threads <= 0 leaves the setting as it is.
  explicit ScopedThreadCount(int threads) : previous_(omp_get_max_threads()), changed_(threads > 0) {
    if (changed_) omp_set_num_threads(threads);
  }
  ~ScopedThreadCount() {
    if (changed_) omp_set_num_threads(previous_);
  }
  ScopedThreadCount(const ScopedThreadCount&) = delete;
  ScopedThreadCount& operator=(const ScopedThreadCount&) = delete;

 private:
  int previous_;
  bool changed_;
};

}  // namespace csolver
