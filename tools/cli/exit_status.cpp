#include "cli/exit_status.h"

#include "cli/command_line.h"
#include "contribution/errors.h"
#include "images/image_volume.h"

#include <new>

namespace csolver::cli {

int report_failure(const char* program, std::FILE* err) {
  try {
    throw;
  } catch (const UsageError& e) {
    std::fprintf(err, "%s: %s\nTry '%s --help'.\n", program, e.what(), program);
    return 2;
  } catch (const image::ImageError& e) {
    std::fprintf(err, "%s: %s\n", program, e.what());
    return 2;
  } catch (const contribution::InvalidProblem& e) {
    std::fprintf(err, "%s: %s\n", program, e.what());
    return 2;
  } catch (const std::bad_alloc&) {
    std::fprintf(err, "%s: out of memory\n", program);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(err, "%s: %s\n", program, e.what());
    return 1;
  }
}

}  // namespace csolver::cli
