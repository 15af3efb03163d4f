#include "contribution_pores/pore_result.h"

#include <nlohmann/json.hpp>

namespace csolver::pores {

using json = nlohmann::ordered_json;

const char* status_name(PoreStatus status) {
  switch (status) {
    case PoreStatus::solved: return "solved";
    case PoreStatus::failed: return "failed";
    case PoreStatus::cancelled: return "cancelled";
  }
  return "failed";
}

namespace {

PoreStatus status_from(const std::string& name) {
  if (name == "solved") return PoreStatus::solved;
  if (name == "failed") return PoreStatus::failed;
  if (name == "cancelled") return PoreStatus::cancelled;
  throw RecordError("unknown pore status '" + name + "'");
}

contribution::Tensor6 tensor_from(const json& rows) {
  contribution::Tensor6 t{};
  if (!rows.is_array() || rows.size() != 6) throw RecordError("a tensor needs 6 rows");
  for (std::size_t r = 0; r < 6; ++r) {
    if (!rows[r].is_array() || rows[r].size() != 6) throw RecordError("a tensor row needs 6 numbers");
    for (std::size_t c = 0; c < 6; ++c) t[r][c] = rows[r][c].get<double>();
  }
  return t;
}

}  // namespace

std::string encode_result(const PoreResult& r) {
  json j = {{"index", r.index},
            {"label", r.label},
            {"status", status_name(r.status)},
            {"message", r.message},
            {"M", r.M},
            {"flagged_nodes", r.flagged_nodes},
            {"H", r.H},
            {"N", r.N},
            {"levels", r.levels},
            {"H_error", r.H_error},
            {"iterations", r.iterations},
            {"conv_flag", r.conv_flag},
            {"symmetry_flag", r.symmetry_flag},
            {"seconds", r.seconds}};
  return j.dump();
}

PoreResult decode_result(const std::string& text) {
  try {
    const json j = json::parse(text);
    PoreResult r;
    r.index = j.at("index").get<std::size_t>();
    r.label = j.at("label").get<std::uint32_t>();
    r.status = status_from(j.at("status").get<std::string>());
    r.message = j.at("message").get<std::string>();
    r.M = j.at("M").get<std::int32_t>();
    r.flagged_nodes = j.at("flagged_nodes").get<std::int64_t>();
    r.H = tensor_from(j.at("H"));
    r.N = tensor_from(j.at("N"));
    // Records of single-grid runs before ladders existed hold neither.
    if (j.contains("levels")) r.levels = j.at("levels").get<std::vector<std::int32_t>>();
    if (j.contains("H_error")) r.H_error = tensor_from(j.at("H_error"));
    const json& it = j.at("iterations");
    if (!it.is_array() || it.size() != 6) throw RecordError("iterations needs 6 numbers");
    for (std::size_t i = 0; i < 6; ++i) r.iterations[i] = it[i].get<int>();
    r.conv_flag = j.at("conv_flag").get<int>();
    r.symmetry_flag = j.at("symmetry_flag").get<int>();
    r.seconds = j.at("seconds").get<double>();
    return r;
  } catch (const json::exception& e) {
    throw RecordError(std::string("not a pore record: ") + e.what());
  }
}

}  // namespace csolver::pores
