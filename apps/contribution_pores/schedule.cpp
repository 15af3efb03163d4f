#include "contribution_pores/schedule.h"

#include "contribution_pores/stop_signal.h"
#include "contribution_solver/clock.h"

namespace csolver::pores {

namespace {

std::string duration(double seconds) {
  char text[32];
  if (seconds < 60) std::snprintf(text, sizeof text, "%.1f s", seconds);
  else if (seconds < 3600) std::snprintf(text, sizeof text, "%dm%02ds", static_cast<int>(seconds / 60), static_cast<int>(seconds) % 60);
  else std::snprintf(text, sizeof text, "%dh%02dm", static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60) % 60);
  return text;
}

}  // namespace

Recorder::Recorder(std::FILE* out, JournalWriter& journal, const Population& population,
                   std::vector<std::optional<PoreResult>>& slots, std::size_t to_solve)
    : out_(out), journal_(journal), population_(population), slots_(slots), to_solve_(to_solve), start_(monotonic_seconds()) {}

void Recorder::record(const PoreResult& r, int rank) {
  journal_.append(r);
  slots_.at(r.index) = r;
  ++done_;
  const double elapsed = monotonic_seconds() - start_;
  // Finished pores per second of this session, whatever the number of
  // processes: a fair guess once a few pores are in.
  const double left = done_ < to_solve_ ? elapsed / static_cast<double>(done_) * static_cast<double>(to_solve_ - done_) : 0;
  const std::string outcome = r.status == PoreStatus::failed ? "FAILED: " + r.message
                              : r.conv_flag == 1              ? std::string("converged")
                                                              : std::string("NOT converged");
  const std::string where = rank > 0 ? " (rank " + std::to_string(rank) + ")" : "";
  // Counted over the whole population, so that a resumed run goes on counting.
  const std::size_t total = slots_.size(), overall = total - to_solve_ + done_;
  std::fprintf(out_, " [%*zu/%zu] pore %u: %lld voxels, M %d, %.2f s, %s%s; elapsed %s, about %s left\n",
               static_cast<int>(std::to_string(total).size()), overall, total, r.label,
               static_cast<long long>(population_.selection.kept.at(r.index).voxels), r.M, r.seconds, outcome.c_str(),
               where.c_str(), duration(elapsed).c_str(), duration(left).c_str());
  std::fflush(out_);
}

bool solve_serially(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
                    Recorder& recorder) {
  const SolveSettings settings{options.materials, options.threads, options.measure_plans, options.contrast,
                               options.precision};
  for (std::size_t index : order) {
    if (stop_signal() != 0) return false;
    const PoreTask task = build_task(population, options, index);
    const PoreResult result = solve_task(task, settings, stop_flag());
    if (result.status == PoreStatus::cancelled) return false;
    recorder.record(result, 0);
  }
  return true;  // every pore is in, whatever arrived since
}

}  // namespace csolver::pores
