#pragma once
// What the library throws. Non-convergence is not an error: it is reported in
// the result (conv_flag and the status of each load case).
#include <stdexcept>

namespace contribution {

// A problem that cannot be solved as given (bad materials, an empty shape,
// arrays of the wrong size); the message says what was found and expected.
class InvalidProblem : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The problem needs more memory than the machine has.
class ResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The progress callback asked the solve to stop.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("the solve was cancelled") {}
};

}  // namespace contribution
