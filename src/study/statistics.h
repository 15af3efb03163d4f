#pragma once
// The few distribution quantiles the refinement study needs, from the
// regularized incomplete beta function (no statistics library).
namespace csolver::study {

// I_x(a, b), the regularized incomplete beta function, for a, b > 0 and x in [0, 1].
double incomplete_beta(double a, double b, double x);

// The `level` quantile (0 < level < 1) of Fisher's F distribution with
// d1 and d2 degrees of freedom.
double f_quantile(double level, double d1, double d2);

// The two-sided `coverage` quantile of Student's t with nu degrees of
// freedom: P(|t| <= q) = coverage.
double t_quantile_two_sided(double coverage, double nu);

}  // namespace csolver::study
