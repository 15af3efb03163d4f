#pragma once
// SIGINT and SIGTERM end a run at once with a message, removing the
// temporary result file being written, if any; the previous results stay as
// they were, since result files only ever appear by rename.

namespace csolver {

void install_interrupt_handlers();

}  // namespace csolver
