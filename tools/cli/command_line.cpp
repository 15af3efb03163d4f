#include "cli/command_line.h"

#include <array>
#include <charconv>
#include <cmath>

namespace csolver::cli {

std::optional<double> parse_number(const std::string& token) {
  double value = 0;
  const char* end = token.data() + token.size();
  const auto result = std::from_chars(token.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string format_number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

namespace {
const OptionRule* find_option(std::span<const OptionRule> rules, const std::string& name) {
  for (const OptionRule& rule : rules)
    if (name == rule.name) return &rule;
  return nullptr;
}
}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args, std::span<const OptionRule> rules) {
  CommandLine cl;
  for (std::size_t a = 0; a < args.size(); ++a) {
    const std::string& token = args[a];
    if (token == "--help" || token == "-h") {
      cl.help = true;
      continue;
    }
    if (token == "--version") {
      cl.version = true;
      continue;
    }
    const bool looks_like_option = token.size() > 1 && token[0] == '-' && !parse_number(token);
    if (!looks_like_option) {
      cl.positional.push_back(token);
      continue;
    }
    const OptionRule* rule = find_option(rules, token);
    if (!rule) throw UsageError("unknown option '" + token + "'");
    if (cl.numbers.count(token) || cl.texts.count(token) || cl.flags.count(token))
      throw UsageError("option " + token + " is given twice");
    if (rule->kind == Kind::flag) {
      cl.flags.insert(token);
    } else if (rule->kind == Kind::text) {
      if (a + 1 >= args.size()) throw UsageError("option " + token + " needs a value");
      // An empty directory name would mean "here" to some calls and fail in others.
      if (token == "-o" && args[a + 1].empty()) throw UsageError("option -o needs a directory name, got an empty one");
      cl.texts[token] = args[++a];
    } else {
      std::vector<double>& values = cl.numbers[token];
      while (static_cast<int>(values.size()) < rule->max_count && a + 1 < args.size()) {
        const std::optional<double> value = parse_number(args[a + 1]);
        if (!value) break;
        values.push_back(*value);
        ++a;
      }
      if (values.empty())
        throw UsageError("option " + token + " needs a number" +
                         (a + 1 < args.size() ? ", got '" + args[a + 1] + "'" : std::string()));
    }
  }
  return cl;
}

std::vector<double> Options::numbers(const std::string& name, const std::vector<double>& fallback,
                                     std::size_t count) {
  used_.insert(name);
  const auto found = cl_.numbers.find(name);
  if (found == cl_.numbers.end()) return fallback;
  if (found->second.size() != count)
    throw UsageError(name + " takes " + std::to_string(count) + (count == 1 ? " number" : " numbers") + " for " +
                     subject_ + ", got " + std::to_string(found->second.size()));
  return found->second;
}

double Options::number(const std::string& name, double fallback) { return numbers(name, {fallback}, 1)[0]; }

double Options::positive(const std::string& name, double fallback) {
  const double value = number(name, fallback);
  if (!(value > 0)) throw UsageError(name + " must be positive, got " + format_number(value));
  return value;
}

long Options::whole(const std::string& name, long fallback, long lowest, long highest) {
  const double value = number(name, static_cast<double>(fallback));
  if (value != std::floor(value) || value < static_cast<double>(lowest) || value > static_cast<double>(highest))
    throw UsageError(name + " must be a whole number from " + std::to_string(lowest) + " to " +
                     std::to_string(highest) + ", got " + format_number(value));
  return static_cast<long>(value);
}

std::array<double, 3> Options::point(const std::string& name, const std::array<double, 3>& fallback) {
  const std::vector<double> v = numbers(name, {fallback[0], fallback[1], fallback[2]}, 3);
  return {v[0], v[1], v[2]};
}

std::array<double, 3> Options::positive_point(const std::string& name, const std::array<double, 3>& fallback) {
  const std::array<double, 3> p = point(name, fallback);
  for (double value : p)
    if (!(value > 0)) throw UsageError(name + " must be positive, got " + format_number(value));
  return p;
}

bool Options::has(const std::string& name) {
  used_.insert(name);
  return cl_.numbers.count(name) || cl_.texts.count(name) || cl_.flags.count(name);
}

std::optional<std::string> Options::text(const std::string& name) {
  used_.insert(name);
  const auto found = cl_.texts.find(name);
  return found == cl_.texts.end() ? std::nullopt : std::optional<std::string>(found->second);
}

void Options::reject_unused(const std::set<std::string>& always) const {
  auto check = [&](const std::string& name) {
    if (!used_.count(name) && !always.count(name)) throw UsageError("option " + name + " does not apply to " + subject_);
  };
  for (const auto& entry : cl_.numbers) check(entry.first);
  for (const auto& entry : cl_.texts) check(entry.first);
  for (const std::string& name : cl_.flags) check(name);
}

}  // namespace csolver::cli
