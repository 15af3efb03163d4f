#pragma once
// How the front ends end on a failure: "program: message" on the error
// stream and the exit status they share: 2 for what the user fixes in the
// command or its inputs (a bad command line, an unusable image, a problem the
// library refuses), 1 for any other failure (a write, memory).
#include <cstdio>

namespace csolver::cli {

// Call inside a catch block: rethrows the exception in flight, reports it and
// returns its exit status. A front end catches its own kinds of failure first.
int report_failure(const char* program, std::FILE* err);

}  // namespace csolver::cli
