#include "contribution_solver/input.h"

#include "model/checks.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <limits>
#include <string_view>

namespace csolver {

InputError::InputError(const std::filesystem::path& file, std::size_t line, const std::string& message)
    : std::runtime_error(file.string() + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ": " +
                         message),
      line_(line) {}

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

// Shows what was found without flooding the terminal or writing raw bytes.
std::string quoted(std::string_view text) {
  constexpr std::size_t LIMIT = 40;
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < LIMIT; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      static const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  if (text.size() > LIMIT) out += "...";
  return out + "'";
}

// Splits a line into its first few free-format values.
struct Tokens {
  std::string_view items[4];
  int count = 0;
};

Tokens tokenize(std::string_view line, int wanted) {
  Tokens tokens;
  std::size_t pos = 0;
  while (tokens.count < wanted) {
    while (pos < line.size() && is_separator(line[pos])) ++pos;
    if (pos >= line.size()) break;
    const std::size_t start = pos;
    while (pos < line.size() && !is_separator(line[pos])) ++pos;
    tokens.items[tokens.count++] = line.substr(start, pos - start);
  }
  return tokens;
}

bool parse_integer(std::string_view token, std::int32_t& value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const char* end = token.data() + token.size();
  const auto result = std::from_chars(token.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool parse_real(std::string_view token, double& value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  // Fortran writes exponents with D as well as E.
  std::string buffer;
  if (token.find_first_of("dD") != std::string_view::npos) {
    buffer.assign(token);
    for (char& c : buffer)
      if (c == 'd' || c == 'D') c = 'e';
    token = buffer;
  }
  const char* end = token.data() + token.size();
  const auto result = std::from_chars(token.data(), end, value, std::chars_format::general);
  return result.ec == std::errc() && result.ptr == end;
}

// Lines of the input, from memory or streamed from a file in blocks, so that
// a file of millions of node records never has to be held whole.
class LineReader {
 public:
  LineReader(std::string text, const std::filesystem::path& name) : buffer_(std::move(text)), name_(name) {
    end_ = buffer_.size();
  }
  LineReader(std::FILE* file, const std::filesystem::path& name) : name_(name), file_(file) {}

  std::size_t line() const { return line_; }
  const std::filesystem::path& name() const { return name_; }

  [[noreturn]] void fail(const std::string& message) const { throw InputError(name_, line_, message); }

  // The next line without its line ending, valid until the next call; fails
  // at the end of the file.
  std::string_view next(const char* expected) {
    std::size_t newline = find_newline();
    if (pos_ >= end_) {
      line_ += 1;
      throw InputError(name_, line_, std::string("unexpected end of file, expected ") + expected);
    }
    const std::size_t stop = newline == std::string::npos ? end_ : newline;
    std::string_view line(buffer_.data() + pos_, stop - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = newline == std::string::npos ? end_ : stop + 1;
    line_ += 1;
    return line;
  }

  void skip(const char* what) { next(what); }

  // The first `wanted` values of the next line that holds any.
  Tokens values(int wanted, const char* expected) {
    for (;;) {
      const Tokens tokens = tokenize(next(expected), wanted);
      if (tokens.count > 0) return tokens;
    }
  }

  double real(const char* what) {
    const std::string expected = std::string("a real number (") + what + ")";
    const Tokens tokens = values(1, expected.c_str());
    double value = 0;
    if (!parse_real(tokens.items[0], value)) fail("found " + quoted(tokens.items[0]) + ", expected " + expected);
    return value;
  }

  std::int32_t integer(const char* what) {
    const std::string expected = std::string("an integer (") + what + ")";
    const Tokens tokens = values(1, expected.c_str());
    std::int32_t value = 0;
    if (!parse_integer(tokens.items[0], value))
      fail("found " + quoted(tokens.items[0]) + ", expected " + expected);
    return value;
  }

 private:
  // Position of the next line's end, reading more of the file while none is
  // in the buffer; npos for a last line without a newline.
  std::size_t find_newline() {
    std::size_t searched = pos_;
    for (;;) {
      const void* hit = std::memchr(buffer_.data() + searched, '\n', end_ - searched);
      if (hit) return static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.data());
      if (!file_ || !refill()) return std::string::npos;
      searched = end_ - last_read_;
    }
  }

  bool refill() {
    constexpr std::size_t BLOCK = std::size_t{1} << 20;
    // Keep the unfinished line, drop what was consumed.
    buffer_.erase(0, pos_);
    end_ -= pos_;
    pos_ = 0;
    if (buffer_.size() < end_ + BLOCK) buffer_.resize(end_ + BLOCK);
    last_read_ = std::fread(buffer_.data() + end_, 1, BLOCK, file_);
    if (std::ferror(file_)) throw InputError(name_, line_, "read error");
    end_ += last_read_;
    return last_read_ > 0;
  }

  std::string buffer_;
  std::filesystem::path name_;
  std::FILE* file_ = nullptr;
  std::size_t pos_ = 0, end_ = 0, last_read_ = 0;
  std::size_t line_ = 0;
};

struct Checked {
  double value;
  std::size_t line;
};

Checked read_real(LineReader& in, const char* what) {
  const double value = in.real(what);
  return {value, in.line()};
}

// `problem` is empty for an acceptable value, else the message.
void require(const std::string& problem, const std::filesystem::path& name, std::size_t line) {
  if (!problem.empty()) throw InputError(name, line, problem);
}

void check_matrix_constants(const std::filesystem::path& name, Checked E0, Checked n0) {
  require(young_modulus_problem("E0", E0.value), name, E0.line);
  require(poisson_ratio_problem("n0", n0.value), name, n0.line);
}

void check_inhomogeneity_constants(const std::filesystem::path& name, Checked E1, Checked n1) {
  require(young_modulus_problem("E1", E1.value, true), name, E1.line);
  require(poisson_ratio_problem("n1", n1.value), name, n1.line);
}

// All N^3 records are read and checked; a crack's table keeps only the plane
// k = 1 (index 0), the only one its solution uses, and counts the flags set
// elsewhere so that a crack put in the wrong plane can be named.
std::size_t read_node_records(LineReader& in, NodeTable& nodes) {
  const std::int32_t N = nodes.N;
  std::size_t flagged_elsewhere = 0;
  for (std::int32_t i = 0; i < N; ++i)
    for (std::int32_t j = 0; j < N; ++j)
      for (std::int32_t k = 0; k < N; ++k) {
        const Tokens tokens = in.values(4, "a node record 'x y z flag'");
        if (tokens.count < 4)
          in.fail("found " + std::to_string(tokens.count) + " value(s), expected a node record 'x y z flag'");
        double xyz[3];
        for (int c = 0; c < 3; ++c) {
          if (!parse_real(tokens.items[c], xyz[c]) || !std::isfinite(xyz[c]))
            in.fail("found " + quoted(tokens.items[c]) + ", expected a finite real coordinate");
        }
        std::int32_t flag = 0;
        if (!parse_integer(tokens.items[3], flag))
          in.fail("found " + quoted(tokens.items[3]) + ", expected an integer flag (0 or 1)");
        if (k >= nodes.planes) {
          if (flag == 1) ++flagged_elsewhere;
          continue;
        }
        const std::size_t n = nodes.index(i, j, k);
        nodes.node_x[n] = xyz[0];
        nodes.node_y[n] = xyz[1];
        nodes.node_z[n] = xyz[2];
        nodes.node_flag[n] = flag;
      }
  return flagged_elsewhere;
}

}  // namespace

namespace {
ProblemInput read_lines(LineReader& in, NodeTableCheck check_node_table) {
  const std::filesystem::path& name = in.name();
  ProblemSetup setup;
  in.skip("a caption line");
  const Checked E0 = read_real(in, "E0");
  const Checked n0 = read_real(in, "n0");
  in.skip("a caption line");
  const Checked E1 = read_real(in, "E1");
  const Checked n1 = read_real(in, "n1");
  in.skip("a caption line");
  in.skip("a caption line");
  setup.problem_type = in.integer("problem_type");
  in.skip("a caption line");
  const std::string_view text_line = in.next("the function text");
  setup.function_text = std::string(text_line.substr(0, FUNCTION_TEXT_LENGTH));
  setup.function_text.resize(FUNCTION_TEXT_LENGTH, ' ');
  in.skip("a caption line");

  check_matrix_constants(name, E0, n0);
  if (!setup.is_crack()) check_inhomogeneity_constants(name, E1, n1);
  setup.E0 = E0.value;
  setup.n0 = n0.value;
  setup.E1 = E1.value;
  setup.n1 = n1.value;
  derive_constants(setup);

  setup.M = in.integer("M, the number of intervals");
  // N^3 node records must be countable in 32 bits.
  constexpr std::int32_t LARGEST_M = 1289;  // 1290^3 < 2^31 <= 1291^3
  if (setup.M < 1 || setup.M > LARGEST_M)
    in.fail("found M = " + std::to_string(setup.M) + ", expected 1 <= M <= " + std::to_string(LARGEST_M));
  setup.N = setup.M + 1;
  setup.h = grid_step(setup.M);
  in.skip("a caption line");

  const std::int32_t planes = setup.is_crack() ? 1 : setup.N;
  if (check_node_table) check_node_table(setup.N, planes);
  NodeTable nodes(setup.N, planes, setup.h, true);
  const std::size_t flagged_elsewhere = read_node_records(in, nodes);
  in.skip("a caption line before tol");
  setup.tol = in.real("tol, the convergence tolerance");
  require(tolerance_problem(setup.tol), name, in.line());
  return {std::move(setup), std::move(nodes), flagged_elsewhere};
}

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
}  // namespace

ProblemInput parse_problem(const std::string& text, const std::filesystem::path& name,
                           NodeTableCheck check_node_table) {
  LineReader in(text, name);
  return read_lines(in, check_node_table);
}

ProblemInput read_problem(const std::filesystem::path& file, NodeTableCheck check_node_table) {
  const std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(file.c_str(), "rb"));
  if (!stream) throw InputError(file, 0, "cannot open the file (it must exist in the working directory)");
  LineReader in(stream.get(), file);
  return read_lines(in, check_node_table);
}

}  // namespace csolver
