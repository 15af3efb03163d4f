#pragma once
// The part of study.txt, study.png and study.json that every study shares,
// whatever it solves: the levels (grid, iterations, time), the main entries
// at each level and their extrapolation to h = 0. Each physics picks its
// entries and tensors; these write them one way.
#include "contribution/study.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace csolver::study_tool {

// An entry of a tensor worth a column and a panel: (row, column), 0-based.
struct Entry {
  std::size_t row = 0, column = 0;
  std::string name;  // "H11", "R33", ...
};

// "H11", "R33": the tensor's letter and the 1-based row and column.
std::string entry_name(char tensor, std::size_t row, std::size_t column);

struct TableLevel {
  std::int32_t M = 0;
  double h = 0;
  std::vector<int> iterations;  // per load case
  int conv_flag = 1;
  double seconds = 0;
};

struct TableEntry {
  std::string name;
  std::vector<double> values;  // at each level
  double value = 0, error = 0, order = 0;  // extrapolated (order NaN without a trend)
};

struct RefinementTable {
  std::vector<TableLevel> levels;
  std::vector<TableEntry> entries;
  bool extrapolated = false;
  double distance_margin = contribution::EXTRAPOLATION_MARGIN;  // the floor the study's extrapolation took
};

template <class Level>
TableLevel table_level(const Level& level) {
  TableLevel row{level.M, level.h, {}, level.conv_flag, level.elapsed_seconds};
  for (const contribution::LoadCaseStatus& s : level.load_cases) row.iterations.push_back(s.iterations);
  return row;
}

// A study's levels and the entries of one of its tensors: `tensor` the
// level's member, `limit` the study's extrapolation of that tensor.
template <class Study, class Level, class Tensor, class Extrapolated>
RefinementTable refinement_table(const Study& study, Tensor Level::*tensor, const Extrapolated& limit,
                                 const std::vector<Entry>& entries) {
  RefinementTable t;
  t.extrapolated = study.extrapolated;
  t.distance_margin = study.distance_margin;
  for (const Level& level : study.levels) t.levels.push_back(table_level(level));
  for (const Entry& e : entries) {
    TableEntry column{e.name, {}, limit.value[e.row][e.column], limit.error[e.row][e.column], limit.order[e.row][e.column]};
    for (const Level& level : study.levels) column.values.push_back((level.*tensor)[e.row][e.column]);
    t.entries.push_back(column);
  }
  return t;
}

// study.txt from the column heads on: one line per level, then (once
// extrapolated) each entry's limit, bar, order and the finest level's
// distance from it; the caller adds its heading and closing lines.
std::string table_text(const RefinementTable& table);

// study.png: one panel per entry, the levels against h, the plausible
// model nearest the limit, and the limit's bar at h = 0. Needs an
// extrapolated table.
std::string table_png(const std::string& title, const RefinementTable& table);

// Each level's record in study.json, before its tensors.
nlohmann::ordered_json level_json(const TableLevel& level);

// Rows of a square tensor, for study.json.
template <std::size_t N>
nlohmann::ordered_json rows(const std::array<std::array<double, N>, N>& m) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const auto& row : m) out.push_back(nlohmann::ordered_json(row));
  return out;
}

// study.json's "levels": each level's record with its two tensors
// ("H_tensor", "N_tensor" or "R_tensor", "K_tensor").
template <class Study, class Level, class Tensor>
nlohmann::ordered_json levels_json(const Study& study, const std::string& first, Tensor Level::*a, const std::string& second,
                                   Tensor Level::*b) {
  nlohmann::ordered_json levels = nlohmann::ordered_json::array();
  for (const Level& level : study.levels) {
    nlohmann::ordered_json record = level_json(table_level(level));
    record[first + "_tensor"] = rows(level.*a);
    record[second + "_tensor"] = rows(level.*b);
    levels.push_back(std::move(record));
  }
  return levels;
}

// study.json's "extrapolated": the dominant order, the first tensor's
// limit, bar and orders, the second's limit and bar ("H", "N" or "R", "K").
template <class Extrapolated>
nlohmann::ordered_json extrapolated_json(const std::string& first, const Extrapolated& a, const std::string& second,
                                         const Extrapolated& b) {
  return {{"order", a.dominant_order},       {first + "_tensor", rows(a.value)},   {first + "_error", rows(a.error)},
          {first + "_order", rows(a.order)}, {second + "_tensor", rows(b.value)}, {second + "_error", rows(b.error)}};
}

// The plausible model whose limit lies nearest the extrapolated value: the
// curve a reader sees the levels follow; null when none is plausible.
const contribution::ModelFit* drawn_model(const contribution::Extrapolation& e);

}  // namespace csolver::study_tool
