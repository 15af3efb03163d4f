// Grid-refinement extrapolation: the rule is stated in contribution/study.h.
#include "contribution/study.h"
#include "study/statistics.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace contribution {

namespace {

constexpr double MIN_ORDER = 0.5, MAX_ORDER = 3.0;
constexpr double ORDER_GRID_STEP = 0.01;
constexpr double PLAUSIBILITY_LEVEL = 0.99;  // a model is dropped only when the F-test rejects it at 1 %
constexpr double COVERAGE = 0.95;            // the noise band of each model
constexpr double KAPPA_CAP_DOF = 2;          // kappa is at most the t quantile of two degrees of freedom
constexpr double UNCONFIRMED_ORDER_MARGIN = 2;  // his factor 3 where the order is not confirmed
// Rounding: results of the program agree to about 1e-15 between mathematically equal entries.
constexpr double ROUNDING_UNITS = 64;
const double NaN = std::numeric_limits<double>::quiet_NaN();

struct Levels {
  Eigen::VectorXd s;        // h / h_coarsest, so that every column of a fit is of order one
  Eigen::VectorXd values;
  Eigen::VectorXd sqrt_w;   // square roots of the weights (h_L / h_i)^2
};

struct LinearFit {
  double limit = 0, rss = 0, amplification = 0;
  Eigen::VectorXd coefficients;
};

// Weighted least squares of `values` on the columns; the intercept is column 0.
LinearFit fit_columns(const Levels& levels, const Eigen::MatrixXd& columns) {
  const Eigen::MatrixXd X = levels.sqrt_w.asDiagonal() * columns;
  const Eigen::VectorXd y = levels.sqrt_w.cwiseProduct(levels.values);
  const Eigen::HouseholderQR<Eigen::MatrixXd> qr(X);
  const Eigen::Index k = X.cols();
  const Eigen::MatrixXd R = qr.matrixQR().topLeftCorner(k, k).triangularView<Eigen::Upper>();
  LinearFit fit;
  fit.coefficients = qr.solve(y);
  const Eigen::VectorXd residual = y - X * fit.coefficients;
  fit.rss = residual.squaredNorm();
  fit.limit = fit.coefficients(0);
  // (X^T X)^-1 = R^-1 R^-T: its (0, 0) entry is the squared norm of row 0 of R^-1.
  const Eigen::MatrixXd R_inverse = R.triangularView<Eigen::Upper>().solve(Eigen::MatrixXd::Identity(k, k));
  fit.amplification = R_inverse.row(0).norm();
  return fit;
}

Eigen::MatrixXd columns_of(const Levels& levels, std::initializer_list<double> powers) {
  Eigen::MatrixXd X(levels.s.size(), static_cast<Eigen::Index>(powers.size()) + 1);
  X.col(0).setOnes();
  Eigen::Index c = 1;
  for (double p : powers) X.col(c++) = levels.s.array().pow(p).matrix();
  return X;
}

// A fit with what the rule needs beside the reported ModelFit.
struct Candidate {
  ModelFit fit;
  double rss = 0, amplification = 0;
};

// The fits run in s = h / h_coarsest; the curve is reported in h itself.
Candidate candidate(RefinementModel model, const LinearFit& linear, double order, int parameters,
                    std::initializer_list<double> powers, double h_coarsest) {
  Candidate c;
  c.fit.model = model;
  c.fit.limit = linear.limit;
  c.fit.order = order;
  c.fit.parameters = parameters;
  Eigen::Index k = 1;
  for (double p : powers) {
    c.fit.powers.push_back(p);
    c.fit.coefficients.push_back(linear.coefficients(k++) / std::pow(h_coarsest, p));
  }
  c.rss = linear.rss;
  c.amplification = linear.amplification;
  return c;
}

// T + A h^p with p in [MIN_ORDER, MAX_ORDER]: a grid search, then golden
// section inside the best grid cell, since the residual may have more than
// one local minimum in p.
struct FreeOrderFit {
  LinearFit fit;
  double order = 1;
  bool at_bound = false;
};

FreeOrderFit fit_free_order(const Levels& levels) {
  auto rss_at = [&levels](double p) { return fit_columns(levels, columns_of(levels, {p})).rss; };
  const int steps = static_cast<int>(std::lround((MAX_ORDER - MIN_ORDER) / ORDER_GRID_STEP));
  double best_p = MIN_ORDER, best_rss = std::numeric_limits<double>::infinity();
  for (int i = 0; i <= steps; ++i) {
    const double p = MIN_ORDER + i * ORDER_GRID_STEP;
    const double rss = rss_at(p);
    if (rss < best_rss) best_rss = rss, best_p = p;
  }
  double a = std::max(MIN_ORDER, best_p - ORDER_GRID_STEP), b = std::min(MAX_ORDER, best_p + ORDER_GRID_STEP);
  const double ratio = (std::sqrt(5.0) - 1) / 2;
  double x1 = b - ratio * (b - a), x2 = a + ratio * (b - a), f1 = rss_at(x1), f2 = rss_at(x2);
  while (b - a > 1e-7) {
    if (f1 < f2) b = x2, x2 = x1, f2 = f1, x1 = b - ratio * (b - a), f1 = rss_at(x1);
    else a = x1, x1 = x2, f1 = f2, x2 = a + ratio * (b - a), f2 = rss_at(x2);
  }
  const double refined = f1 < f2 ? x1 : x2;
  if (std::min(f1, f2) < best_rss) best_p = refined;
  FreeOrderFit free;
  free.order = best_p;
  free.at_bound = best_p <= MIN_ORDER + 1e-6 || best_p >= MAX_ORDER - 1e-6;
  free.fit = fit_columns(levels, columns_of(levels, {best_p}));
  return free;
}

std::string format_value(double v) {
  std::ostringstream out;
  out.precision(17);
  out << v;
  return out.str();
}

void check_levels(const std::vector<double>& h, const std::vector<double>& values) {
  if (h.size() != values.size())
    throw std::invalid_argument("extrapolate: " + std::to_string(h.size()) + " grid steps but " +
                                std::to_string(values.size()) + " values");
  if (h.size() < 3)
    throw std::invalid_argument("extrapolate: " + std::to_string(h.size()) +
                                " levels; an extrapolation with an error bar needs at least 3 (5 or more for a narrow bar)");
  for (std::size_t i = 0; i < h.size(); ++i) {
    if (!std::isfinite(h[i]) || !(h[i] > 0))
      throw std::invalid_argument("extrapolate: grid step h[" + std::to_string(i) + "] = " + format_value(h[i]) +
                                  " is not a positive finite number");
    if (!std::isfinite(values[i]))
      throw std::invalid_argument("extrapolate: value[" + std::to_string(i) + "] = " + format_value(values[i]) +
                                  " is not finite");
    if (i > 0 && !(h[i] < h[i - 1]))
      throw std::invalid_argument("extrapolate: the grid steps must decrease strictly from the coarsest to the finest level, but h[" +
                                  std::to_string(i) + "] = " + format_value(h[i]) + " follows h[" + std::to_string(i - 1) +
                                  "] = " + format_value(h[i - 1]));
  }
}

}  // namespace

const char* describe(RefinementModel model) {
  switch (model) {
    case RefinementModel::first_order: return "T + A h";
    case RefinementModel::second_order: return "T + B h^2";
    case RefinementModel::free_order: return "T + A h^p";
    case RefinementModel::two_term: return "T + A h + B h^2";
  }
  return "?";
}

double evaluate(const ModelFit& fit, double h) {
  double value = fit.limit;
  for (std::size_t k = 0; k < fit.powers.size(); ++k) value += fit.coefficients[k] * std::pow(h, fit.powers[k]);
  return value;
}

Extrapolation extrapolate(const std::vector<double>& h, const std::vector<double>& values, double distance_margin) {
  check_levels(h, values);
  Extrapolation result;
  const std::size_t L = h.size();
  double largest = 0;
  for (double v : values) largest = std::max(largest, std::abs(v));
  if (largest == 0) {
    result.order = NaN;
    return result;
  }

  Levels levels;
  levels.s.resize(static_cast<Eigen::Index>(L));
  levels.values.resize(static_cast<Eigen::Index>(L));
  levels.sqrt_w.resize(static_cast<Eigen::Index>(L));
  for (std::size_t i = 0; i < L; ++i) {
    const auto e = static_cast<Eigen::Index>(i);
    levels.s(e) = h[i] / h.front();
    levels.values(e) = values[i];
    levels.sqrt_w(e) = h.back() / h[i];
  }

  const FreeOrderFit free = fit_free_order(levels);
  std::vector<Candidate> candidates = {
      candidate(RefinementModel::first_order, fit_columns(levels, columns_of(levels, {1.0})), 1, 2, {1.0}, h.front()),
      candidate(RefinementModel::second_order, fit_columns(levels, columns_of(levels, {2.0})), 2, 2, {2.0}, h.front()),
      candidate(RefinementModel::free_order, free.fit, free.order, free.at_bound ? 2 : 3, {free.order}, h.front()),
      candidate(RefinementModel::two_term, fit_columns(levels, columns_of(levels, {1.0, 2.0})), 1, 3, {1.0, 2.0},
                h.front()),
  };
  const double rounding = ROUNDING_UNITS * std::numeric_limits<double>::epsilon() * largest;
  bool trend = false;
  for (double v : values) trend = trend || std::abs(v - values.back()) > rounding;
  result.order = trend ? free.order : NaN;
  result.order_at_bound = trend && free.at_bound;
  // Residuals below rounding carry no information: all fits that reach it are equally good.
  for (Candidate& c : candidates) c.rss = std::max(c.rss, static_cast<double>(L) * rounding * rounding);

  // The reference: the best fit among those with the most parameters that still leave a residual.
  const int reference_parameters = L >= 4 ? 3 : 2;
  const Candidate* ref = nullptr;
  for (const Candidate& c : candidates)
    if (c.fit.parameters == reference_parameters && (ref == nullptr || c.rss < ref->rss)) ref = &c;
  const double nu_ref = static_cast<double>(L) - reference_parameters;
  const double sigma2 = ref->rss / nu_ref;
  result.noise = std::sqrt(sigma2);
  const double kappa = csolver::study::t_quantile_two_sided(COVERAGE, std::max(nu_ref, KAPPA_CAP_DOF));

  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (Candidate& c : candidates) {
    const double nu = static_cast<double>(L) - c.fit.parameters;
    if (&c == ref || nu == 0) {
      c.fit.plausible = true;
    } else if (c.fit.parameters < reference_parameters) {
      const double dk = reference_parameters - c.fit.parameters;
      c.fit.plausible = ((c.rss - ref->rss) / dk) / sigma2 <= csolver::study::f_quantile(PLAUSIBILITY_LEVEL, dk, nu_ref);
    } else {
      c.fit.plausible = (c.rss / nu) / sigma2 <= csolver::study::f_quantile(PLAUSIBILITY_LEVEL, nu, nu_ref);
    }
    c.fit.half_width = kappa * result.noise * c.amplification;
    c.fit.residual_rms = nu > 0 ? std::sqrt(c.rss / nu) : 0;
    if (c.fit.plausible) lo = std::min(lo, c.fit.limit - c.fit.half_width), hi = std::max(hi, c.fit.limit + c.fit.half_width);
    result.models.push_back(c.fit);
  }
  result.value = 0.5 * (lo + hi);
  const double margin = result.order_at_bound ? std::max(UNCONFIRMED_ORDER_MARGIN, distance_margin) : distance_margin;
  result.error = std::max({0.5 * (hi - lo), margin * std::abs(values.back() - result.value), rounding});
  return result;
}

namespace {

// Every entry of square tensors extrapolated by the scalar rule; the
// dominant order is that of the diagonal entry of largest magnitude.
template <std::size_t Size, class Result, class Tensor>
Result extrapolate_entries(const std::vector<double>& h, const std::vector<Tensor>& levels, double distance_margin) {
  if (h.size() != levels.size())
    throw std::invalid_argument("extrapolate_tensors: " + std::to_string(h.size()) + " grid steps but " +
                                std::to_string(levels.size()) + " tensors");
  Result result;
  double dominant = -1;
  result.dominant_order = NaN;
  std::vector<double> values(levels.size());
  for (std::size_t i = 0; i < Size; ++i)
    for (std::size_t j = 0; j < Size; ++j) {
      for (std::size_t l = 0; l < levels.size(); ++l) values[l] = levels[l][i][j];
      Extrapolation e;
      try {
        e = extrapolate(h, values, distance_margin);
      } catch (const std::invalid_argument& error) {
        throw std::invalid_argument("entry (" + std::to_string(i + 1) + ", " + std::to_string(j + 1) + "): " + error.what());
      }
      result.value[i][j] = e.value;
      result.error[i][j] = e.error;
      result.order[i][j] = e.order;
      if (i == j && e.value != 0 && std::abs(e.value) > dominant) dominant = std::abs(e.value), result.dominant_order = e.order;
    }
  return result;
}

}  // namespace

TensorExtrapolation extrapolate_tensors(const std::vector<double>& h, const std::vector<Tensor6>& levels,
                                        double distance_margin) {
  return extrapolate_entries<6, TensorExtrapolation>(h, levels, distance_margin);
}

Tensor3Extrapolation extrapolate_tensors(const std::vector<double>& h, const std::vector<Tensor3>& levels,
                                         double distance_margin) {
  return extrapolate_entries<3, Tensor3Extrapolation>(h, levels, distance_margin);
}

}  // namespace contribution
