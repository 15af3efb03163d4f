#include "contribution_pores/schedule.h"

#include "contribution_pores/stop_signal.h"
#include "contribution_solver/clock.h"

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

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

InProcessTeam in_process_team(const PoresOptions& options) {
  const int threads = options.threads > 0 ? options.threads : std::max(1, omp_get_max_threads());
  if (solves_side_by_side(options.ladder)) return {threads, 1};
  return {1, threads};
}

namespace {

// A pore being solved: its task and its levels' outcomes as they come in.
struct PoreInFlight {
  PoreTask task;
  std::vector<std::optional<LevelOutcome>> levels;
  std::size_t left = 0;
};

struct LevelJob {
  PoreInFlight* pore;
  std::size_t level;
};

// Workers take levels from the queue and put back their outcomes; the
// calling thread builds the tasks, keeps the queue filled, and records each
// pore once its last level is in, so the journal and the console are
// written by one thread only.
class LevelPool {
 public:
  LevelPool(int workers, int threads, const SolveSettings& settings) : threads_in_all_(threads), settings_(settings) {
    for (int w = 0; w < workers; ++w) threads_.emplace_back([this] { work(); });
  }
  ~LevelPool() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
      queue_.clear();
    }
    wake_workers_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  LevelPool(const LevelPool&) = delete;
  LevelPool& operator=(const LevelPool&) = delete;

  std::size_t queued() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
  }

  // The finest (costliest) level first, so that the small ones fill the
  // gaps at the end.
  void add(PoreTask task) {
    auto pore = std::make_unique<PoreInFlight>();
    const std::size_t count = task_levels(task).size();
    pore->task = std::move(task);
    pore->levels.resize(count);
    pore->left = count;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (std::size_t l = count; l-- > 0;) queue_.push_back({pore.get(), l});
      flights_.push_back(std::move(pore));
    }
    wake_workers_.notify_all();
  }

  // No pore will be added: the last levels may take the threads left idle.
  void no_more_pores() {
    const std::lock_guard<std::mutex> lock(mutex_);
    no_more_pores_ = true;
  }

  // Waits until a pore is complete, or (want_work) the queue runs short,
  // or a short while has passed (to poll the stop signal).
  std::vector<std::unique_ptr<PoreInFlight>> wait_for_pores(bool want_work) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_caller_.wait_for(lock, std::chrono::milliseconds(100), [&] {
      return complete_count() > 0 || (want_work && queue_.size() < threads_.size());
    });
    std::vector<std::unique_ptr<PoreInFlight>> complete;
    for (auto it = flights_.begin(); it != flights_.end();)
      if ((*it)->left == 0) {
        complete.push_back(std::move(*it));
        it = flights_.erase(it);
      } else {
        ++it;
      }
    return complete;
  }

  bool idle() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return flights_.empty();
  }

 private:
  std::size_t complete_count() const {
    std::size_t n = 0;
    for (const auto& f : flights_) n += f->left == 0 ? 1 : 0;
    return n;
  }

  void work() {
    SolveSettings settings = settings_;
    for (;;) {
      LevelJob job{};
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_workers_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (closing_) return;
        job = queue_.front();
        queue_.pop_front();
        // At the tail of the run (nothing queued, nothing to come) a level
        // takes the threads no other level is using, so that the last pore
        // of a population is not solved on one thread while the others wait.
        settings.threads = queue_.empty() && no_more_pores_ ? std::max(1, threads_in_all_ - solving_) : settings_.threads;
        solving_ += settings.threads;
      }
      LevelOutcome outcome = solve_level(job.pore->task, job.level, settings, stop_flag());
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        solving_ -= settings.threads;
        job.pore->levels[job.level] = std::move(outcome);
        --job.pore->left;
      }
      wake_caller_.notify_one();
    }
  }

  const int threads_in_all_;
  const SolveSettings settings_;
  std::mutex mutex_;
  int solving_ = 0;  // threads of the levels being solved
  bool no_more_pores_ = false;
  std::condition_variable wake_workers_, wake_caller_;
  std::deque<LevelJob> queue_;
  std::list<std::unique_ptr<PoreInFlight>> flights_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

bool solve_one_at_a_time(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
                         const SolveSettings& settings, Recorder& recorder) {
  for (std::size_t index : order) {
    if (stop_signal() != 0) return false;
    const PoreTask task = build_task(population, options, index);
    const PoreResult result = solve_task(task, settings, stop_flag());
    if (result.status == PoreStatus::cancelled) return false;
    recorder.record(result, 0);
  }
  return true;  // every pore is in, whatever arrived since
}

// A complete pore's result: every level is in.
PoreResult result_of(const PoreInFlight& pore) {
  std::vector<LevelOutcome> outcomes;
  for (const std::optional<LevelOutcome>& o : pore.levels) outcomes.push_back(o.value());
  return combine_levels(pore.task, outcomes);
}

}  // namespace

bool solves_side_by_side(const std::vector<std::int32_t>& ladder) {
  return ladder.size() > 1 && ladder.back() <= SIDE_BY_SIDE_LARGEST_M;
}

PoreResult solve_levels_side_by_side(const PoreTask& task, const SolveSettings& settings) {
  if (!task.failure.empty()) return failed_result(task);
  const std::size_t levels = task_levels(task).size();
  SolveSettings one_thread = settings;
  one_thread.threads = 1;
  LevelPool pool(static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(settings.threads, 1)), levels)),
                 std::max(settings.threads, 1), one_thread);
  pool.add(task);
  pool.no_more_pores();
  for (;;) {
    const std::vector<std::unique_ptr<PoreInFlight>> done = pool.wait_for_pores(false);
    if (!done.empty()) return result_of(*done.front());
  }
}

bool solve_in_process(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
                      Recorder& recorder) {
  const InProcessTeam team = in_process_team(options);
  const SolveSettings settings{options.materials, team.threads_per_solve, options.measure_plans, options.contrast,
                               options.precision};
  if (team.solves == 1) return solve_one_at_a_time(population, options, order, settings, recorder);
  LevelPool pool(team.solves, team.solves * team.threads_per_solve, settings);
  std::size_t next = 0;
  bool stopped = false;
  while (next < order.size() || !pool.idle()) {
    // Keep every worker fed: one more pore's levels whenever the queue runs short.
    if (stop_signal() != 0) stopped = true;
    if (stopped) next = order.size();  // hand out nothing more; let the running levels end
    while (next < order.size() && pool.queued() < static_cast<std::size_t>(team.solves)) {
      PoreTask task = build_task(population, options, order[next++]);
      if (!task.failure.empty()) recorder.record(failed_result(task), 0);
      else pool.add(std::move(task));
    }
    if (next == order.size()) pool.no_more_pores();
    for (const std::unique_ptr<PoreInFlight>& pore : pool.wait_for_pores(next < order.size())) {
      const PoreResult result = result_of(*pore);
      if (result.status == PoreStatus::cancelled) stopped = true;
      else recorder.record(result, 0);
    }
  }
  return !stopped;
}

}  // namespace csolver::pores
