#include "system/memory.h"

#include "api/memory_estimate.h"

#include <unistd.h>

namespace csolver {

std::size_t physical_memory_bytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(page_size);
}

void require_physical_memory(std::size_t bytes, const char* what) {
  require_memory(bytes, physical_memory_bytes(), what);
}

}  // namespace csolver
