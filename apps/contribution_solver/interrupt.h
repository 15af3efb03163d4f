#pragma once
// SIGINT and SIGTERM end a run at once with a message, removing the
// temporary result file being written, if any; the previous results stay as
// they were, since result files only ever appear by rename.
#include <filesystem>

namespace csolver {

void install_interrupt_handlers();

// The temporary file the handler must remove (one at a time); cleared again
// once it has been renamed or removed.
void register_temporary_file(const std::filesystem::path& path);
void clear_temporary_file();

}  // namespace csolver
