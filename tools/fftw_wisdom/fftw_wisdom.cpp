#include "fftw_wisdom/fftw_wisdom.h"

#include "files/atomic_file.h"

#include <fftw3.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

namespace csolver {

namespace fs = std::filesystem;

namespace {

// Wisdom runs to kilobytes; anything far larger is not ours.
constexpr std::uintmax_t LARGEST_WISDOM = 16u << 20;

// "fftw-3.3.10-sse2-avx2" with anything but letters, digits, '.', '-' and
// '_' replaced, for a file name.
std::string version_tag() {
  std::string tag = fftw_version;
  for (char& c : tag) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return tag;
}

bool read_small_file(const fs::path& file, std::string& text) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return false;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error || size > LARGEST_WISDOM) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

fs::path fftw_wisdom_path() {
  fs::path cache;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && fs::path(xdg).is_absolute()) {
    cache = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || !fs::path(home).is_absolute()) return {};
    cache = fs::path(home) / ".cache";
  }
  return cache / "contribution_solver" / ("fftw-wisdom-" + version_tag());
}

bool load_fftw_wisdom(const fs::path& file) {
  try {
    std::string text;
    if (file.empty() || !read_small_file(file, text)) return false;
    // FFTW checks the version and configuration the wisdom was made with and
    // keeps its own wisdom unchanged when any entry does not parse.
    return fftw_import_wisdom_from_string(text.c_str()) != 0;
  } catch (...) {
    return false;
  }
}

bool save_fftw_wisdom(const fs::path& file) {
  try {
    if (file.empty()) return false;
    const std::unique_ptr<char, decltype(&fftw_free)> exported(fftw_export_wisdom_to_string(), &fftw_free);
    if (!exported) return false;
    const std::string text = exported.get();
    std::string present;
    if (read_small_file(file, present) && present == text) return true;  // nothing new
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) return false;
    write_file_atomically(file, text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace csolver
