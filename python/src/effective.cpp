// contribution/effective.h on numpy arrays. Materials arrive as (E, nu),
// origins and kinds as their names; the Python module documents them.
#include "bindings.h"

#include "contribution/effective.h"
#include "contribution/effective_error.h"

#include <pybind11/stl.h>

#include <type_traits>
#include <utility>
#include <vector>

namespace csolver::python {

namespace {

namespace fx = contribution::effective;
using MaterialPair = std::pair<double, double>;

fx::Material material(const MaterialPair& m) { return {m.first, m.second}; }

fx::Origin origin_from(const std::string& name) {
  if (name == "compliance") return fx::Origin::compliance_formulation;
  if (name == "stiffness") return fx::Origin::stiffness_formulation;
  if (name == "crack") return fx::Origin::crack;
  throw py::value_error("found origin '" + name + "', expected 'compliance', 'stiffness' or 'crack'");
}

fx::Kind kind_from(const std::string& name) {
  if (name == "inhomogeneity") return fx::Kind::inhomogeneity;
  if (name == "pore") return fx::Kind::pore;
  if (name == "crack") return fx::Kind::crack;
  throw py::value_error("found kind '" + name + "', expected 'inhomogeneity', 'pore' or 'crack'");
}

py::tuple moduli_tuple(const fx::IsotropicModuli& m) { return py::make_tuple(m.K, m.G, m.E, m.nu); }

// A phase as (kind, weight, tensor, concentration or None); the concentration
// tensor is read for inhomogeneities only.
template <class Phase>
std::vector<Phase> phases_from(const py::list& phases, const char* tensor_name, const char* concentration_name) {
  std::vector<Phase> out;
  std::size_t index = 1;  // counted from 1, as the library names phases
  for (const py::handle item : phases) {
    const auto fields = item.cast<py::tuple>();
    if (fields.size() != 4) throw py::value_error("internal: a phase is (kind, weight, tensor, concentration)");
    const std::string where = "phase " + std::to_string(index++) + ": ";
    Phase p;
    p.kind = kind_from(fields[0].cast<std::string>());
    p.weight = fields[1].cast<double>();
    const contribution::Tensor6 t = tensor6_from(fields[2], where + tensor_name);
    contribution::Tensor6 c{};
    if (p.kind == fx::Kind::inhomogeneity) {
      if (fields[3].is_none())
        throw py::value_error(where + "an inhomogeneity needs its concentration tensor " + concentration_name);
      c = tensor6_from(fields[3], where + concentration_name);
    }
    if constexpr (std::is_same_v<Phase, fx::CompliancePhase>) {
      p.H = t;
      p.B = c;
    } else {
      p.N = t;
      p.A = c;
    }
    out.push_back(p);
  }
  return out;
}

contribution::Tensor3 tensor3_from(const py::handle& object, const std::string& what) {
  const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!a || a.ndim() != 2 || a.shape(0) != 3 || a.shape(1) != 3) throw py::value_error(what + " must be a 3x3 array");
  const auto v = a.unchecked<2>();
  contribution::Tensor3 t{};
  for (py::ssize_t r = 0; r < 3; ++r)
    for (py::ssize_t c = 0; c < 3; ++c) t[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = v(r, c);
  return t;
}

// A conduction phase as (kind, weight, R 3x3, k1).
std::vector<fx::ConductionPhase> conduction_phases_from(const py::list& phases) {
  std::vector<fx::ConductionPhase> out;
  std::size_t index = 1;
  for (const py::handle item : phases) {
    const auto fields = item.cast<py::tuple>();
    if (fields.size() != 4) throw py::value_error("internal: a conduction phase is (kind, weight, R, k1)");
    const std::string where = "phase " + std::to_string(index++) + ": ";
    fx::ConductionPhase p;
    p.kind = kind_from(fields[0].cast<std::string>());
    p.weight = fields[1].cast<double>();
    p.R = tensor3_from(fields[2], where + "R");
    p.k1 = fields[3].cast<double>();
    out.push_back(p);
  }
  return out;
}

}  // namespace

void bind_effective(py::module_& m) {
  m.def("nia_conductivity", [](double k0, const py::list& p) { return fx::nia_conductivity(k0, conduction_phases_from(p)); });
  m.def("nia_resistivity", [](double k0, const py::list& p) { return fx::nia_resistivity(k0, conduction_phases_from(p)); });
  m.def("mori_tanaka_conductivity",
        [](double k0, const py::list& p) { return fx::mori_tanaka_conductivity(k0, conduction_phases_from(p)); });
  m.def("maxwell_conductivity",
        [](double k0, const py::list& p) { return fx::maxwell_conductivity(k0, conduction_phases_from(p)); });
  m.def("conductivity_range", [](const std::string& scheme, double k0, const py::list& p, const py::list& errors) {
    static const std::pair<const char*, fx::ConductionScheme> schemes[] = {
        {"nia", fx::ConductionScheme::nia},
        {"nia_resistivity", fx::ConductionScheme::nia_resistivity},
        {"mori_tanaka", fx::ConductionScheme::mori_tanaka},
        {"maxwell", fx::ConductionScheme::maxwell}};
    for (const auto& [name, value] : schemes) {
      if (scheme != name) continue;
      std::vector<contribution::Tensor3> R_errors;
      for (std::size_t i = 0; i < errors.size(); ++i)
        R_errors.push_back(tensor3_from(errors[i], "R_errors[" + std::to_string(i) + "]"));
      const fx::ModulusRange range = fx::conductivity_range(value, k0, conduction_phases_from(p), R_errors);
      return py::make_tuple(range.low, range.high);
    }
    throw py::value_error("scheme must be 'nia', 'nia_resistivity', 'mori_tanaka' or 'maxwell', found '" + scheme + "'");
  });
  m.def("formulation_of", [](const MaterialPair& matrix, const MaterialPair& inhomogeneity) {
    return fx::formulation_of(material(matrix), material(inhomogeneity)) == fx::Origin::stiffness_formulation
               ? "stiffness"
               : "compliance";
  });
  m.def("tensor_to_standard_order", [](const py::object& t, const std::string& origin) {
    return to_numpy(fx::tensor_to_standard_order(tensor6_from(t, "the tensor"), origin_from(origin)));
  });
  m.def("mean_field_to_standard_order", [](const py::object& t, const std::string& origin) {
    return to_numpy(fx::mean_field_to_standard_order(tensor6_from(t, "mean_field"), origin_from(origin)));
  });
  m.def("isotropic_stiffness", [](const MaterialPair& mat) { return to_numpy(fx::isotropic_stiffness(material(mat))); });
  m.def("isotropic_compliance",
        [](const MaterialPair& mat) { return to_numpy(fx::isotropic_compliance(material(mat))); });
  m.def("moduli_of", [](const MaterialPair& mat) { return moduli_tuple(fx::moduli_of(material(mat))); });
  m.def("isotropic_projection_of_stiffness", [](const py::object& C) {
    return moduli_tuple(fx::isotropic_projection_of_stiffness(tensor6_from(C, "C")));
  });
  m.def("isotropic_projection_of_compliance", [](const py::object& S) {
    return moduli_tuple(fx::isotropic_projection_of_compliance(tensor6_from(S, "S")));
  });
  m.def("inverse", [](const py::object& t) { return to_numpy(fx::inverse(tensor6_from(t, "the tensor"))); });
  m.def("stress_concentration", [](const py::object& mean_field, const MaterialPair& matrix, const MaterialPair& inh) {
    return to_numpy(fx::stress_concentration(tensor6_from(mean_field, "mean_field"), material(matrix), material(inh)));
  });
  m.def("strain_concentration", [](const py::object& mean_field, const MaterialPair& matrix, const MaterialPair& inh) {
    return to_numpy(fx::strain_concentration(tensor6_from(mean_field, "mean_field"), material(matrix), material(inh)));
  });
  m.def("stress_from_strain_concentration", [](const py::object& A, const MaterialPair& matrix, const MaterialPair& inh) {
    return to_numpy(fx::stress_from_strain_concentration(tensor6_from(A, "A"), material(matrix), material(inh)));
  });
  m.def("strain_from_stress_concentration", [](const py::object& B, const MaterialPair& matrix, const MaterialPair& inh) {
    return to_numpy(fx::strain_from_stress_concentration(tensor6_from(B, "B"), material(matrix), material(inh)));
  });
  m.def("nia_compliance", [](const MaterialPair& matrix, const py::list& phases) {
    return to_numpy(fx::nia_compliance(material(matrix), phases_from<fx::CompliancePhase>(phases, "H", "B")));
  });
  m.def("nia_stiffness", [](const MaterialPair& matrix, const py::list& phases) {
    return to_numpy(fx::nia_stiffness(material(matrix), phases_from<fx::StiffnessPhase>(phases, "N", "A")));
  });
  m.def("mori_tanaka_compliance", [](const MaterialPair& matrix, const py::list& phases) {
    return to_numpy(fx::mori_tanaka_compliance(material(matrix), phases_from<fx::CompliancePhase>(phases, "H", "B")));
  });
  m.def("mori_tanaka_stiffness", [](const MaterialPair& matrix, const py::list& phases) {
    return to_numpy(fx::mori_tanaka_stiffness(material(matrix), phases_from<fx::StiffnessPhase>(phases, "N", "A")));
  });
}

}  // namespace csolver::python
