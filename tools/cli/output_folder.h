#pragma once
// A front end's output folder: another run's files in it are never
// destroyed unasked. Without --overwrite a folder holding any of a run's
// files is refused (exit status 2); with it, the old files are replaced only
// as the new ones are complete (each is written under a temporary name and
// renamed).
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace csolver::cli {

// Those of `names` that `dir` holds.
std::vector<std::string> files_present(const std::filesystem::path& dir, std::initializer_list<const char*> names);

// Throws UsageError naming the files found, unless `overwrite`. `what` names
// the earlier run ("study", "population run").
void refuse_earlier_outputs(const std::filesystem::path& dir, std::initializer_list<const char*> names, bool overwrite,
                            const std::string& what);

// Creates `dir` if missing and remembers whether it did, so that a run that
// fails before writing anything leaves no empty folder behind.
class OutputFolder {
 public:
  explicit OutputFolder(std::filesystem::path dir);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  // The run has written its first file: the folder stays whatever happens.
  void keep() { created_ = false; }
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path dir_;
  bool created_ = false;
};

}  // namespace csolver::cli
