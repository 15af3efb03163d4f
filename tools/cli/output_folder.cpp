#include "cli/output_folder.h"

#include "cli/command_line.h"
#include "files/atomic_file.h"

namespace csolver::cli {

namespace fs = std::filesystem;

std::vector<std::string> files_present(const fs::path& dir, std::initializer_list<const char*> names) {
  std::vector<std::string> present;
  for (const char* name : names) {
    std::error_code error;
    if (fs::exists(dir / name, error)) present.emplace_back(name);
  }
  return present;
}

void refuse_earlier_outputs(const fs::path& dir, std::initializer_list<const char*> names, bool overwrite,
                            const std::string& what) {
  const std::vector<std::string> present = files_present(dir, names);
  if (present.empty() || overwrite) return;
  std::string list;
  for (const std::string& name : present) list += (list.empty() ? "" : ", ") + name;
  throw UsageError((dir.empty() ? std::string(".") : dir.string()) + " holds the files of an earlier " + what + " (" + list +
                   "); give --overwrite to replace them once this run is complete, or choose another directory with -o");
}

OutputFolder::OutputFolder(fs::path dir) : dir_(std::move(dir)) {
  std::error_code error;
  if (fs::exists(dir_, error)) return;
  fs::create_directories(dir_, error);
  if (error) throw OutputError("cannot create the directory " + dir_.string() + ": " + error.message());
  created_ = true;
}

OutputFolder::~OutputFolder() {
  if (!created_) return;
  std::error_code ignored;
  if (fs::is_empty(dir_, ignored)) fs::remove(dir_, ignored);
}

}  // namespace csolver::cli
