#pragma once
// The command lines of the front ends: options from a table of rules, each
// taking numbers, a text or nothing, and a reader that remembers which options
// a front end used, so that one that does not apply is reported, not ignored.
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver::cli {

// A bad command line: the front end prints it with a hint and exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Kind { number, text, flag };

struct OptionRule {
  const char* name;
  Kind kind;
  int max_count;  // numbers taken after the option (Kind::number)
};

struct CommandLine {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<double>> numbers;
  std::map<std::string, std::string> texts;
  std::set<std::string> flags;
  bool help = false;     // --help or -h
  bool version = false;  // --version
};

// Splits `args` by the rules (several tables may be joined). An unknown
// option, one given twice, or one without its value throws UsageError. A
// negative number is a value, not an option.
CommandLine parse_command_line(const std::vector<std::string>& args, std::span<const OptionRule> rules);

// A finite number written in full (from_chars), or nothing.
std::optional<double> parse_number(const std::string& token);
// The shortest text that reads back as `value`.
std::string format_number(double value);

// Option values with defaults; every option asked for is marked as used.
class Options {
 public:
  // `subject` names what the options are read for in messages ("shape sphere").
  Options(const CommandLine& cl, std::string subject) : cl_(cl), subject_(std::move(subject)) {}

  std::vector<double> numbers(const std::string& name, const std::vector<double>& fallback, std::size_t count);
  double number(const std::string& name, double fallback);
  double positive(const std::string& name, double fallback);
  // A whole number in [lowest, highest].
  long whole(const std::string& name, long fallback, long lowest, long highest);
  std::array<double, 3> point(const std::string& name, const std::array<double, 3>& fallback);
  std::array<double, 3> positive_point(const std::string& name, const std::array<double, 3>& fallback);
  bool has(const std::string& name);
  std::optional<std::string> text(const std::string& name);

  // Throws for an option given but never asked for, unless `always` lists it.
  void reject_unused(const std::set<std::string>& always = {}) const;

  const CommandLine& command_line() const { return cl_; }

 private:
  const CommandLine& cl_;
  std::string subject_;
  std::set<std::string> used_;
};

}  // namespace csolver::cli
