#include "support/literal_convolution.h"

#include <cassert>
#include <stdexcept>

namespace csolver::reference {

namespace {
std::vector<int> doubled(const std::vector<int>& extent) {
  std::vector<int> padded;
  for (int n : extent) padded.push_back(2 * n);
  return padded;
}

// Visits the box nodes in field order, with the padded index of each.
template <class Visit>
void for_box_nodes(const std::vector<int>& box, const std::vector<int>& padded, Visit visit) {
  const int nx = box[0];
  const int ny = box.size() > 1 ? box[1] : 1;
  const int nz = box.size() > 2 ? box[2] : 1;
  const std::size_t px = static_cast<std::size_t>(padded[0]);
  const std::size_t py = padded.size() > 1 ? static_cast<std::size_t>(padded[1]) : 1;
  std::size_t node = 0;
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j) {
      const std::size_t row = px * (static_cast<std::size_t>(j) + py * static_cast<std::size_t>(k));
      for (int i = 0; i < nx; ++i) visit(node++, row + static_cast<std::size_t>(i));
    }
}
}  // namespace

ComplexFft::ComplexFft(const std::vector<int>& extents_x_fastest, PlannerEffort effort) {
  std::vector<int> row_major(extents_x_fastest.rbegin(), extents_x_fastest.rend());
  size_ = 1;
  for (int n : row_major) size_ *= static_cast<std::size_t>(n);
  ComplexBuffer scratch(size_);
  const int rank = static_cast<int>(row_major.size());
  const unsigned flags = planner_flags(effort);
  forward_ = FftPlan(fftw_plan_dft(rank, row_major.data(), scratch.data(), scratch.data(), FFTW_FORWARD, flags));
  backward_ = FftPlan(fftw_plan_dft(rank, row_major.data(), scratch.data(), scratch.data(), FFTW_BACKWARD, flags));
}

void ComplexFft::forward(fftw_complex* data) const { fftw_execute_dft(forward_.get(), data, data); }

void ComplexFft::inverse(fftw_complex* data) const {
  fftw_execute_dft(backward_.get(), data, data);
  const double scale = 1.0 / static_cast<double>(size_);
  double* values = &data[0][0];
  for (std::size_t i = 0; i < 2 * size_; ++i) values[i] *= scale;
}

LiteralConvolution::LiteralConvolution(const std::vector<int>& box_extent, int kernel_count, int max_outputs,
                                     PlannerEffort effort)
    : box_(box_extent), padded_(doubled(box_extent)), fft_(padded_, effort) {
  for (int n : box_) {
    if (n < 1) throw std::invalid_argument("convolution box extent below 1");
    box_size_ *= static_cast<std::size_t>(n);
  }
  for (int s = 0; s < kernel_count; ++s) kernels_.emplace_back(fft_.size());
  work_ = ComplexBuffer(fft_.size());
  for (int o = 0; o < max_outputs; ++o) accumulators_.emplace_back(fft_.size());
}

std::size_t LiteralConvolution::padded_index(const std::array<int, 3>& offset) const {
  return wrapped_index(padded_, offset);
}

void LiteralConvolution::set_kernel_sample(int kernel, std::size_t index, double value) {
  fftw_complex& point = kernels_[static_cast<std::size_t>(kernel)].data()[index];
  point[0] = value;
  point[1] = 0.0;
}

void LiteralConvolution::transform_kernels() {
  for (ComplexBuffer& kernel : kernels_) fft_.forward(kernel.data());
}

void LiteralConvolution::load_component(std::span<const double> in, int components, int c) {
  work_.clear();
  fftw_complex* work = work_.data();
  for_box_nodes(box_, padded_, [&](std::size_t node, std::size_t index) {
    work[index][0] = in[static_cast<std::size_t>(c) + static_cast<std::size_t>(components) * node];
  });
}

void LiteralConvolution::read_component(const fftw_complex* acc, std::span<double> out, int components,
                                       int o) const {
  for_box_nodes(box_, padded_, [&](std::size_t node, std::size_t index) {
    out[static_cast<std::size_t>(o) + static_cast<std::size_t>(components) * node] = acc[index][0];
  });
}

void LiteralConvolution::apply(const Coupling& coupling, std::span<const double> in, std::span<double> out) {
  assert(in.size() == box_size_ * static_cast<std::size_t>(coupling.inputs));
  assert(out.size() == box_size_ * static_cast<std::size_t>(coupling.outputs));
  assert(coupling.outputs <= static_cast<int>(accumulators_.size()));
  const std::size_t points = fft_.size();
  std::vector<bool> started(static_cast<std::size_t>(coupling.outputs), false);
  for (int c = 0; c < coupling.inputs; ++c) {
    load_component(in, coupling.inputs, c);
    fft_.forward(work_.data());
    const fftw_complex* x = work_.data();
    const double w = coupling.weight[static_cast<std::size_t>(c)];
    for (int o = 0; o < coupling.outputs; ++o) {
      const int s = coupling.kernel(o, c);
      if (s < 0) continue;
      const fftw_complex* k = kernels_[static_cast<std::size_t>(s)].data();
      fftw_complex* acc = accumulators_[static_cast<std::size_t>(o)].data();
      const bool first = !started[static_cast<std::size_t>(o)];
      for (std::size_t i = 0; i < points; ++i) {
        const double kr = w * k[i][0];
        const double ki = w * k[i][1];
        const double re = kr * x[i][0] - ki * x[i][1];
        const double im = kr * x[i][1] + ki * x[i][0];
        if (first) {
          acc[i][0] = re;
          acc[i][1] = im;
        } else {
          acc[i][0] += re;
          acc[i][1] += im;
        }
      }
      started[static_cast<std::size_t>(o)] = true;
    }
  }
  for (int o = 0; o < coupling.outputs; ++o) {
    fftw_complex* acc = accumulators_[static_cast<std::size_t>(o)].data();
    if (!started[static_cast<std::size_t>(o)]) {
      for_box_nodes(box_, padded_, [&](std::size_t node, std::size_t) {
        out[static_cast<std::size_t>(o) + static_cast<std::size_t>(coupling.outputs) * node] = 0.0;
      });
      continue;
    }
    fft_.inverse(acc);
    read_component(acc, out, coupling.outputs, o);
  }
}

std::size_t LiteralConvolution::bytes() const {
  return (kernels_.size() + 1 + accumulators_.size()) * fft_.size() * sizeof(fftw_complex);
}

}  // namespace csolver::reference
