#pragma once
// FFTW's planning kept between runs: the wisdom of this FFTW version in the
// user's cache directory, so that the transforms are measured once per
// machine rather than once per run. A cache only: a missing, unreadable,
// corrupt or foreign file is ignored and a file that cannot be written is
// skipped, silently; neither is ever a reason for a run to fail. For the
// front ends: the library itself never touches files or the environment.
#include <filesystem>

namespace csolver {

// $XDG_CACHE_HOME/contribution_solver/fftw-wisdom-<FFTW version>, with
// $HOME/.cache in place of an unset or relative $XDG_CACHE_HOME; empty when
// neither gives a directory.
std::filesystem::path fftw_wisdom_path();

// Adds the wisdom in `file` to FFTW's, if it was written by this FFTW
// version and configuration; returns whether it was. Never throws.
bool load_fftw_wisdom(const std::filesystem::path& file = fftw_wisdom_path());

// Replaces `file` atomically by FFTW's wisdom (what was loaded plus what was
// planned since), creating its directory; returns whether it was written.
// Never throws.
bool save_fftw_wisdom(const std::filesystem::path& file = fftw_wisdom_path());

}  // namespace csolver
