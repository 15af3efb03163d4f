// Names of the contrast options, as front ends read and write them.
#include "contribution/contrast.h"

#include <array>
#include <utility>

namespace contribution {

namespace {
constexpr std::array<std::pair<FormulationRule, const char*>, 4> RULES{{{FormulationRule::specified, "specified"},
                                                                        {FormulationRule::bounded, "bounded"},
                                                                        {FormulationRule::stiffness, "stiffness"},
                                                                        {FormulationRule::compliance, "compliance"}}};
constexpr std::array<std::pair<MeanFieldEstimate, const char*>, 3> ESTIMATES{
    {{MeanFieldEstimate::smoothed, "smoothed"},
     {MeanFieldEstimate::coefficient, "coefficient"},
     {MeanFieldEstimate::corrected, "corrected"}}};

template <class Enum, std::size_t Count>
const char* name_of(const std::array<std::pair<Enum, const char*>, Count>& names, Enum value) {
  for (const auto& [v, name] : names)
    if (v == value) return name;
  return "unknown";
}

template <class Enum, std::size_t Count>
std::optional<Enum> value_of(const std::array<std::pair<Enum, const char*>, Count>& names, std::string_view text) {
  for (const auto& [v, name] : names)
    if (text == name) return v;
  return std::nullopt;
}
}  // namespace

const char* describe(FormulationRule rule) { return name_of(RULES, rule); }
const char* describe(MeanFieldEstimate estimate) { return name_of(ESTIMATES, estimate); }
std::optional<FormulationRule> parse_formulation_rule(std::string_view name) { return value_of(RULES, name); }
std::optional<MeanFieldEstimate> parse_mean_field_estimate(std::string_view name) {
  return value_of(ESTIMATES, name);
}

}  // namespace contribution
