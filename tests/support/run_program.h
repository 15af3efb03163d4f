#pragma once
// Runs a front end as a user does, through the shell, with its console
// captured in files: for the tests of the programs' exit statuses and files.
#include "support/scratch.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace csolver::testing {

struct ProgramOutcome {
  int status = -1;
  std::string out, err;
};

inline std::string shell_quoted(const std::string& word) {
  std::string text(1, '\'');
  for (char c : word) {
    if (c == '\'') text.append("'\\''");
    else text.push_back(c);
  }
  text.push_back('\'');
  return text;
}

inline std::string program_command(const std::string& program, const std::vector<std::string>& args) {
  std::string command = shell_quoted(program);
  for (const std::string& a : args) {
    command.push_back(' ');
    command.append(shell_quoted(a));
  }
  return command;
}

// Runs `command` in `dir` (its working directory), console in dir/NAME.out and .err.
inline ProgramOutcome run_in(const std::filesystem::path& dir, const std::string& command, const std::string& name = "run") {
  const std::filesystem::path out = dir / (name + ".out"), err = dir / (name + ".err");
  std::string line = "cd ";
  line.append(shell_quoted(dir.string())).append(" && ").append(command).append(" > ").append(shell_quoted(out.string()));
  line.append(" 2> ").append(shell_quoted(err.string()));
  const int status = std::system(line.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(out), read_text(err)};
}

}  // namespace csolver::testing
