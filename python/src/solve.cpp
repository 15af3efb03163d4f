// solve_inhomogeneity and solve_crack with the GIL released. Progress events
// come back into Python through one callback that also checks for signals, so
// Ctrl-C stops a solve within one iteration: the callback returns false, the
// library throws Cancelled, and the Python error that caused it is raised in
// its place.
#include "bindings.h"

#include "contribution/conductivity.h"
#include "contribution/solve.h"
#include "contribution/study.h"
#include "model/checks.h"
#include "system/memory.h"

#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace csolver::python {

namespace {

const char* kind_name(contribution::ProgressEvent::Kind kind) {
  switch (kind) {
    case contribution::ProgressEvent::Kind::kernel_ready: return "kernel_ready";
    case contribution::ProgressEvent::Kind::iteration: return "iteration";
    case contribution::ProgressEvent::Kind::load_case_finished: return "load_case_finished";
  }
  return "unknown";
}

const char* breakdown_name(contribution::Breakdown b) {
  switch (b) {
    case contribution::Breakdown::none: return "none";
    case contribution::Breakdown::zero_rho: return "zero_rho";
    case contribution::Breakdown::zero_r_hat_v: return "zero_r_hat_v";
    case contribution::Breakdown::zero_t_t: return "zero_t_t";
    case contribution::Breakdown::zero_omega: return "zero_omega";
    case contribution::Breakdown::non_finite: return "non_finite";
  }
  return "unknown";
}

py::tuple load_case_tuple(const contribution::LoadCaseStatus& s) {
  return py::make_tuple(s.iterations, s.error, s.converged, breakdown_name(s.breakdown));
}

// The Python error that made the callback cancel the solve.
struct Interruption {
  std::optional<py::error_already_set> error;
};

// `forward` (a Python callable or None) is called as forward(kind, load_case,
// iteration, error, status) and answers whether to go on. Runs on the solving
// thread, which released the GIL; both pointers outlive the solve.
contribution::ProgressCallback progress_into_python(const py::object* forward, Interruption* interruption) {
  return [forward, interruption](const contribution::ProgressEvent& event) -> bool {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
      interruption->error.emplace();  // fetches KeyboardInterrupt (or what the handler raised)
      return false;
    }
    if (forward->is_none()) return true;
    try {
      const py::object status = event.status ? py::object(load_case_tuple(*event.status)) : py::object(py::none());
      const py::object answer =
          (*forward)(kind_name(event.kind), event.load_case, event.iteration, event.error, status);
      const int go_on = PyObject_IsTrue(answer.ptr());
      if (go_on < 0) throw py::error_already_set();
      return go_on == 1;
    } catch (py::error_already_set& e) {
      interruption->error.emplace(std::move(e));
      return false;
    }
  };
}

contribution::SolveOptions solve_options(int threads, bool measure_plans, std::size_t memory_bytes,
                                         const std::string& precision) {
  contribution::SolveOptions options;
  if (!contribution::parse_precision(precision.c_str(), options.precision))
    throw py::value_error("found precision = '" + precision + "', expected 'double' or 'mixed'");
  options.threads = threads;
  options.measure_plans = measure_plans;
  options.machine_memory_bytes = memory_bytes;
  return options;
}

// Whether this thread is inside a solve: one started from a progress callback
// would nest a second solve, its memory and its threads inside the first.
// (One flag for every instantiation of run_released.) Solves from different
// Python threads run side by side: the library plans its transforms under
// FFTW's planner lock.
thread_local bool solving = false;

// Runs `solve` without the GIL; a cancellation caused by a Python error
// raises that error.
template <class Solve>
auto run_released(Solve&& solve, const Interruption& interruption) {
  if (solving) throw std::runtime_error("a solve cannot be started from a progress callback of another solve");
  struct Flag {
    bool& flag;
    explicit Flag(bool& f) : flag(f) { flag = true; }
    ~Flag() { flag = false; }
  } in_solve(solving);
  try {
    py::gil_scoped_release release;
    return solve();
  } catch (const contribution::Cancelled&) {
    if (interruption.error) throw *interruption.error;
    throw;
  }
}

std::vector<std::int32_t> flags_x_fastest(const py::array_t<std::int32_t>& flags, int rank) {
  if (flags.ndim() != rank) throw py::value_error("internal: flags of the wrong rank");
  const py::ssize_t n = flags.shape(0);
  std::vector<std::int32_t> out(static_cast<std::size_t>(flags.size()));
  std::size_t at = 0;
  if (rank == 3) {
    const auto f = flags.unchecked<3>();
    for (py::ssize_t k = 0; k < n; ++k)
      for (py::ssize_t j = 0; j < n; ++j)
        for (py::ssize_t i = 0; i < n; ++i) out[at++] = f(i, j, k);
  } else {
    const auto f = flags.unchecked<2>();
    for (py::ssize_t j = 0; j < n; ++j)
      for (py::ssize_t i = 0; i < n; ++i) out[at++] = f(i, j);
  }
  return out;
}

py::tuple box_tuple(const contribution::Box& b) {
  return py::make_tuple(py::make_tuple(b.offset[0], b.offset[1], b.offset[2]),
                        py::make_tuple(b.extent[0], b.extent[1], b.extent[2]));
}

py::dict seconds_dict(const contribution::StageSeconds& s) {
  py::dict d;
  d["setup"] = s.setup;
  d["kernel"] = s.kernel;
  d["solve"] = s.solve;
  d["total"] = s.total;
  return d;
}

template <std::size_t Count>
py::list load_case_list(const std::array<contribution::LoadCaseStatus, Count>& cases) {
  py::list list;
  for (const contribution::LoadCaseStatus& s : cases) list.append(load_case_tuple(s));
  return list;
}

// The fields both kinds of result share: status of the solve, grid, box, times.
template <class Result>
void add_run_record(py::dict& d, const Result& r) {
  d["load_cases"] = load_case_list(r.load_cases);
  d["conv_flag"] = r.conv_flag;
  d["symmetry_flag"] = r.symmetry_flag;
  d["M"] = r.M;
  d["h"] = r.h;
  d["box"] = box_tuple(r.box);
  d["seconds"] = seconds_dict(r.seconds);
  d["precision"] = contribution::describe(r.precision);
}

// A library vector handed to numpy without a copy, with the given shape.
py::array_t<double> owned_array(std::vector<double>&& values, std::vector<py::ssize_t> shape) {
  auto* owned = new std::vector<double>(std::move(values));
  const py::capsule free_when_done(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  return py::array_t<double>(shape, owned->data(), free_when_done);
}

contribution::FormulationRule formulation_rule(const std::string& name) {
  const auto rule = contribution::parse_formulation_rule(name);
  if (!rule) throw py::value_error("formulation must be 'bounded', 'specified', 'stiffness' or 'compliance', found '" + name + "'");
  return *rule;
}

contribution::MeanFieldEstimate mean_field_estimate(const std::string& name) {
  const auto estimate = contribution::parse_mean_field_estimate(name);
  if (!estimate) throw py::value_error("mean_field must be 'coefficient', 'smoothed' or 'corrected', found '" + name + "'");
  return *estimate;
}

py::dict solve_inhomogeneity(const py::array_t<std::int32_t>& flags, double E0, double n0, double E1, double n1,
                             double tol, int threads, bool measure_plans, std::size_t memory_bytes,
                             const py::object& forward, const std::string& formulation, const std::string& mean_field,
                             bool keep_field, const std::string& precision) {
  contribution::InhomogeneityProblem problem;
  problem.matrix = {E0, n0};
  problem.inhomogeneity = {E1, n1};
  problem.nodes_per_axis = static_cast<std::int32_t>(flags.shape(0));
  problem.flags = flags_x_fastest(flags, 3);
  problem.tol = tol;
  problem.formulation_rule = formulation_rule(formulation);
  problem.mean_field_estimate = mean_field_estimate(mean_field);
  problem.keep_field = keep_field;
  Interruption interruption;
  contribution::SolveOptions options = solve_options(threads, measure_plans, memory_bytes, precision);
  options.progress = progress_into_python(&forward, &interruption);
  contribution::InhomogeneityResult r =
      run_released([&] { return contribution::solve_inhomogeneity(std::move(problem), options); }, interruption);

  py::dict d;
  d["formulation"] = r.formulation == contribution::Formulation::stiffness ? "stiffness" : "compliance";
  d["formulation_rule"] = contribution::describe(r.formulation_rule);
  d["mean_field_estimate"] = contribution::describe(r.mean_field_estimate);
  d["shear_order"] = r.shear_order == contribution::ShearOrder::yz_xz_xy ? "yz_xz_xy" : "xy_xz_yz";
  d["H"] = to_numpy(r.H);
  d["N"] = to_numpy(r.N);
  d["mean_field"] = to_numpy(r.mean_field);
  add_run_record(d, r);
  // The library's layout, (load case, component, k, j, i).
  const py::ssize_t n = r.M + 1;
  d["field"] = keep_field ? py::object(owned_array(std::move(r.field), {6, 6, n, n, n})) : py::object(py::none());
  return d;
}

py::dict solve_crack(const py::array_t<std::int32_t>& flags, double E0, double n0, double tol, bool exact_kernel,
                     bool keep_opening, int threads, bool measure_plans, std::size_t memory_bytes,
                     const py::object& forward, const std::string& precision) {
  contribution::CrackProblem problem;
  problem.matrix = {E0, n0};
  problem.nodes_per_axis = static_cast<std::int32_t>(flags.shape(0));
  problem.flags = flags_x_fastest(flags, 2);
  problem.tol = tol;
  problem.kernel = exact_kernel ? contribution::PlanarKernel::exact : contribution::PlanarKernel::specified;
  problem.keep_opening = keep_opening;
  Interruption interruption;
  contribution::SolveOptions options = solve_options(threads, measure_plans, memory_bytes, precision);
  options.progress = progress_into_python(&forward, &interruption);
  contribution::CrackResult r =
      run_released([&] { return contribution::solve_crack(std::move(problem), options); }, interruption);

  py::dict d;
  d["H"] = to_numpy(r.H);
  d["N"] = to_numpy(r.N);
  d["shear_order"] = r.shear_order == contribution::ShearOrder::yz_xz_xy ? "yz_xz_xy" : "xy_xz_yz";
  d["max_opening"] = to_numpy(r.max_opening);
  add_run_record(d, r);
  if (keep_opening) {
    // The library's layout, (load case, component, j, i); handed over without a copy.
    const py::ssize_t n = r.M + 1;
    d["opening"] = owned_array(std::move(r.opening), {3, 3, n, n});
  } else {
    d["opening"] = py::none();
  }
  return d;
}

py::dict extrapolation_dict(const contribution::TensorExtrapolation& e) {
  py::dict d;
  d["value"] = to_numpy(e.value);
  d["error"] = to_numpy(e.error);
  d["order"] = to_numpy(e.order);
  d["dominant_order"] = e.dominant_order;
  return d;
}

// A study over the library's study driver: `at_level(M)` (Python) gives the
// flags of each level; it is called with the GIL taken back, the solves run
// without it. `on_level(levels_so_far)` reports each finished level.
py::dict run_study(const py::function& at_level, const std::vector<std::int32_t>& levels, bool crack, double E0,
                   double n0, double E1, double n1, double tol, bool exact_kernel, int threads, bool measure_plans,
                   std::size_t memory_bytes, const py::object& forward, const py::object& on_level,
                   const std::string& formulation, const std::string& mean_field, const std::string& precision) {
  const contribution::FormulationRule rule = formulation_rule(formulation);
  const contribution::MeanFieldEstimate estimate = mean_field_estimate(mean_field);
  Interruption interruption;
  contribution::SolveOptions options = solve_options(threads, measure_plans, memory_bytes, precision);
  options.progress = progress_into_python(&forward, &interruption);
  auto flags_at = [&](std::int32_t M) {
    py::gil_scoped_acquire gil;
    const py::array_t<std::int32_t> flags = at_level(M);
    const int rank = crack ? 2 : 3;
    if (flags.ndim() != rank || flags.shape(0) != M + 1)
      throw py::value_error("the shape function gave an array of shape " + std::string(py::str(py::object(flags.attr("shape")))) +
                            " for M = " + std::to_string(M) + ", expected " + std::to_string(rank) + " axes of " +
                            std::to_string(M + 1) + " nodes");
    return flags_x_fastest(flags, rank);
  };
  contribution::StudyObserver observer;
  observer.level_finished = [&](const contribution::Study& study) {
    if (on_level.is_none()) return;
    py::gil_scoped_acquire gil;
    on_level(study.levels.back().M);
  };
  const contribution::Study study = run_released(
      [&] {
        if (crack)
          return contribution::run_crack_study(
              [&](std::int32_t M) {
                contribution::CrackProblem p;
                p.matrix = {E0, n0};
                p.nodes_per_axis = M + 1;
                p.flags = flags_at(M);
                p.tol = tol;
                p.kernel = exact_kernel ? contribution::PlanarKernel::exact : contribution::PlanarKernel::specified;
                return p;
              },
              levels, options, observer);
        return contribution::run_inhomogeneity_study(
            [&](std::int32_t M) {
              contribution::InhomogeneityProblem p;
              p.matrix = {E0, n0};
              p.inhomogeneity = {E1, n1};
              p.nodes_per_axis = M + 1;
              p.flags = flags_at(M);
              p.tol = tol;
              p.formulation_rule = rule;
              p.mean_field_estimate = estimate;
              return p;
            },
            levels, options, observer);
      },
      interruption);

  py::list level_list;
  for (const contribution::StudyLevel& level : study.levels) {
    py::dict l;
    l["M"] = level.M;
    l["h"] = level.h;
    l["H"] = to_numpy(level.H);
    l["N"] = to_numpy(level.N);
    py::list cases;
    for (const contribution::LoadCaseStatus& s : level.load_cases) cases.append(load_case_tuple(s));
    l["load_cases"] = cases;
    l["conv_flag"] = level.conv_flag;
    l["elapsed_seconds"] = level.elapsed_seconds;
    level_list.append(l);
  }
  py::dict d;
  d["levels"] = level_list;
  d["formulation"] = crack ? "crack" : study.formulation == contribution::Formulation::stiffness ? "stiffness" : "compliance";
  d["formulation_rule"] = crack ? py::object(py::none()) : py::object(py::str(contribution::describe(study.formulation_rule)));
  d["mean_field_estimate"] = crack ? py::object(py::none()) : py::object(py::str(contribution::describe(study.mean_field_estimate)));
  d["shear_order"] = study.shear_order == contribution::ShearOrder::yz_xz_xy ? "yz_xz_xy" : "xy_xz_yz";
  d["precision"] = contribution::describe(study.precision);
  d["H"] = extrapolation_dict(study.H);
  d["N"] = extrapolation_dict(study.N);
  return d;
}

// Conduction: 3-D flags an inhomogeneity of conductivity k1, 2-D flags an
// insulating crack (k1 ignored).
py::dict solve_conductivity(const py::array_t<std::int32_t>& flags, double k0, double k1, double tol, int threads,
                            bool measure_plans, std::size_t memory_bytes, const py::object& forward) {
  Interruption interruption;
  // Conduction has no mixed-precision path: it solves in double precision.
  contribution::SolveOptions options = solve_options(threads, measure_plans, memory_bytes, "double");
  options.progress = progress_into_python(&forward, &interruption);
  const bool crack = flags.ndim() == 2;
  const contribution::ConductivityResult r = run_released(
      [&] {
        if (crack) {
          contribution::ConductivityCrackProblem p;
          p.k0 = k0;
          p.nodes_per_axis = static_cast<std::int32_t>(flags.shape(0));
          p.flags = flags_x_fastest(flags, 2);
          p.tol = tol;
          return contribution::solve_conductivity(std::move(p), options);
        }
        contribution::ConductivityProblem p;
        p.k0 = k0;
        p.k1 = k1;
        p.nodes_per_axis = static_cast<std::int32_t>(flags.shape(0));
        p.flags = flags_x_fastest(flags, 3);
        p.tol = tol;
        return contribution::solve_conductivity(std::move(p), options);
      },
      interruption);
  py::dict d;
  d["crack"] = r.crack;
  d["formulation"] = contribution::describe(r.formulation);
  d["mean"] = r.mean == contribution::ConductivityMean::nodal ? "nodal" : "smoothed";
  d["R"] = to_numpy(r.R);
  d["K"] = to_numpy(r.K);
  d["mean_field"] = to_numpy(r.mean_field);
  d["max_jump"] = r.max_jump;
  py::list cases;
  for (const contribution::LoadCaseStatus& s : r.load_cases) cases.append(load_case_tuple(s));
  d["load_cases"] = cases;
  d["conv_flag"] = r.conv_flag;
  d["M"] = r.M;
  d["h"] = r.h;
  d["box"] = box_tuple(r.box);
  d["seconds"] = seconds_dict(r.seconds);
  return d;
}

}  // namespace

void bind_solve(py::module_& m) {
  m.def("run_study", &run_study, py::arg("at_level"), py::arg("levels"), py::arg("crack"), py::arg("E0"),
        py::arg("n0"), py::arg("E1"), py::arg("n1"), py::arg("tol"), py::arg("exact_kernel"), py::arg("threads"),
        py::arg("measure_plans"), py::arg("memory_bytes"), py::arg("forward"), py::arg("on_level"),
        py::arg("formulation"), py::arg("mean_field"), py::arg("precision") = "mixed");
  m.def("solve_inhomogeneity", &solve_inhomogeneity, py::arg("flags"), py::arg("E0"), py::arg("n0"), py::arg("E1"),
        py::arg("n1"), py::arg("tol"), py::arg("threads"), py::arg("measure_plans"), py::arg("memory_bytes"),
        py::arg("forward"), py::arg("formulation"), py::arg("mean_field"), py::arg("keep_field"),
        py::arg("precision") = "mixed");
  m.def("solve_crack", &solve_crack, py::arg("flags"), py::arg("E0"), py::arg("n0"), py::arg("tol"),
        py::arg("exact_kernel"), py::arg("keep_opening"), py::arg("threads"), py::arg("measure_plans"),
        py::arg("memory_bytes"), py::arg("forward"), py::arg("precision") = "mixed");
  m.def("solve_conductivity", &solve_conductivity, py::arg("flags"), py::arg("k0"), py::arg("k1"), py::arg("tol"),
        py::arg("threads"), py::arg("measure_plans"), py::arg("memory_bytes"), py::arg("forward"));
  m.def("grid_step", &contribution::grid_step, py::arg("M"));
  m.def("physical_memory_bytes", &csolver::physical_memory_bytes);
  // The command lines' check of E1/E0, shared: an empty string, or the message.
  m.def("contrast_problem", &csolver::contrast_problem, py::arg("E0"), py::arg("E1"));
}

}  // namespace csolver::python
