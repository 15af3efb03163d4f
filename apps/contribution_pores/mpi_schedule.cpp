#include "contribution_pores/mpi_schedule.h"

#include "contribution_pores/mpi_tags.h"
#include "contribution_pores/stop_signal.h"

#include <mpi.h>
#include <omp.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <stdexcept>
#include <set>
#include <thread>

namespace csolver::pores {

namespace {

namespace tags = mpi_tags;

// The fixed part of a task message; the node flags follow as one byte each.
// Ranks of one run are the same executable, so the layout is shared as is.
constexpr std::size_t MAX_LEVELS = MAX_LADDER_LEVELS;

struct TaskHeader {
  std::uint64_t index;
  std::uint32_t label;
  std::int32_t M;
  double E0, n0, E1, n1, tol;
  std::int32_t threads;  // --threads, 0 for the worker's own choice
  std::int32_t measure_plans;
  contribution::FormulationRule formulation_rule;
  contribution::MeanFieldEstimate mean_field_estimate;
  std::int32_t mixed_precision;
  std::int32_t level_count;  // grids of the task, their M in levels
  std::int32_t levels[MAX_LEVELS];
};

// Waits for a message without spinning: Open MPI's blocking receive polls
// at full speed, which on a shared node takes a core from the solving
// ranks. A millisecond's latency is nothing beside a pore's seconds.
MPI_Status wait_for_message(int source) {
  MPI_Status status{};
  for (;;) {
    int arrived = 0;
    MPI_Iprobe(source, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &status);
    if (arrived) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int message_bytes(const MPI_Status& status) {
  int count = 0;
  MPI_Get_count(&status, MPI_BYTE, &count);
  return count;
}

std::vector<char> receive_bytes(const MPI_Status& status) {
  std::vector<char> bytes(static_cast<std::size_t>(message_bytes(status)));
  MPI_Recv(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
           MPI_STATUS_IGNORE);
  return bytes;
}

std::vector<char> encode_task(const PoreTask& task, const PoresOptions& o) {
  TaskHeader header{task.index, task.label, task.M, o.materials.E0, o.materials.n0, o.materials.E1,
                          o.materials.n1, o.materials.tol, o.threads, o.measure_plans ? 1 : 0,
                          o.contrast.formulation_rule, o.contrast.mean_field_estimate,
                          o.precision == contribution::Precision::mixed ? 1 : 0,
                          static_cast<std::int32_t>(task.levels.size()), {}};
  if (task.levels.size() > MAX_LEVELS) throw std::logic_error("a pore task of more grids than a message holds");
  for (std::size_t l = 0; l < task.levels.size(); ++l) header.levels[l] = task.levels[l];
  std::vector<char> bytes(sizeof header + task.flags.size());
  std::memcpy(bytes.data(), &header, sizeof header);
  for (std::size_t n = 0; n < task.flags.size(); ++n) bytes[sizeof header + n] = static_cast<char>(task.flags[n]);
  return bytes;
}

// The CPUs this process may run on.
int available_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

class MpiDistributor : public Distributor {
 public:
  MpiDistributor(const MpiWorld& world, std::FILE* out) : world_(world), out_(out) {
    for (int r = 1; r < world.size; ++r) live_.insert(r);
  }

  std::string describe() const override {
    return "on " + std::to_string(world_.size - 1) + " worker ranks (rank 0 hands them out and writes)";
  }

  bool solve(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
             Recorder& recorder) override {
    std::size_t next = 0, recorded = 0;
    bool stopping = false;
    threads_option_ = options.threads;
    // Every message is an ask or a result; each is answered with a task
    // while there is work, and with stop afterwards.
    while (!live_.empty()) {
      const MPI_Status status = wait_for_message(MPI_ANY_SOURCE);
      const int worker = status.MPI_SOURCE;
      const std::vector<char> bytes = receive_bytes(status);
      if (status.MPI_TAG == tags::ask) {
        note_threads(worker, bytes);
      } else if (status.MPI_TAG == tags::result) {
        const PoreResult result = decode_result(std::string(bytes.begin(), bytes.end()));
        // A worker that was signalled cancels its pore: the whole run stops.
        if (result.status == PoreStatus::cancelled) {
          stopping = true;
        } else {
          recorder.record(result, worker);
          ++recorded;
        }
      }
      if (stop_signal() != 0) stopping = true;
      bool sent = false;
      while (!stopping && !sent && next < order.size()) {
        const PoreTask task = build_task(population, options, order[next++]);
        if (!task.failure.empty()) {
          recorder.record(failed_result(task), 0);
          ++recorded;
          continue;
        }
        const std::vector<char> message = encode_task(task, options);
        MPI_Send(message.data(), static_cast<int>(message.size()), MPI_BYTE, worker, tags::task, MPI_COMM_WORLD);
        sent = true;
      }
      if (!sent) stop(worker);
    }
    return recorded == order.size();
  }

  void release_workers() override {
    // Each live worker has one message outstanding (its first ask): take it,
    // then answer stop.
    while (!live_.empty()) {
      const MPI_Status status = wait_for_message(MPI_ANY_SOURCE);
      receive_bytes(status);
      stop(status.MPI_SOURCE);
    }
  }

 private:
  void stop(int worker) {
    MPI_Send(nullptr, 0, MPI_BYTE, worker, tags::stop, MPI_COMM_WORLD);
    live_.erase(worker);
  }

  // Each worker's first ask says how many threads it solves with unless
  // --threads says otherwise.
  void note_threads(int worker, const std::vector<char>& bytes) {
    int threads = 0;
    if (bytes.size() == sizeof threads) std::memcpy(&threads, bytes.data(), sizeof threads);
    if (threads_option_ > 0) threads = threads_option_;
    std::fprintf(out_, " rank %d ready: %d thread%s per pore%s\n", worker, threads, threads == 1 ? "" : "s",
                 threads_option_ > 0 ? " (--threads)" : "");
    std::fflush(out_);
  }

  MpiWorld world_;
  std::FILE* out_;
  int threads_option_ = 0;
  std::set<int> live_;
};

}  // namespace

MpiWorld world_of() {
  MpiWorld world;
  MPI_Comm_rank(MPI_COMM_WORLD, &world.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &world.size);
  char name[MPI_MAX_PROCESSOR_NAME];
  int length = 0;
  MPI_Get_processor_name(name, &length);
  world.node.assign(name, static_cast<std::size_t>(length));

  // The ranks sharing this node share its cores. Rank 0 only hands out work
  // and sleeps between messages, so the solving ranks of the node divide
  // the CPUs among themselves. A rank confined to fewer CPUs than the node
  // has (srun --cpus-per-task, mpirun --map-by ...:PE=n) uses those.
  MPI_Comm node;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
  int node_ranks = 1, is_master = world.rank == 0 ? 1 : 0, masters_here = 0;
  MPI_Comm_size(node, &node_ranks);
  MPI_Allreduce(&is_master, &masters_here, 1, MPI_INT, MPI_SUM, node);
  MPI_Comm_free(&node);
  const int workers_here = std::max(1, node_ranks - masters_here);
  const int cpus = available_cpus();
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  world.automatic_threads = cpus < online ? cpus : std::max(1, cpus / workers_here);
  return world;
}

std::unique_ptr<Distributor> make_distributor(const MpiWorld& world, std::FILE* out) {
  return std::make_unique<MpiDistributor>(world, out);
}

int serve_as_worker(const MpiWorld& world) {
  install_stop_handlers();
  // OMP_NUM_THREADS, when set, is the user's word.
  const bool omp_set = std::getenv("OMP_NUM_THREADS") != nullptr;
  const int automatic = omp_set ? omp_get_max_threads() : world.automatic_threads;
  MPI_Send(&automatic, static_cast<int>(sizeof automatic), MPI_BYTE, 0, tags::ask, MPI_COMM_WORLD);
  for (;;) {
    const MPI_Status status = wait_for_message(0);
    const std::vector<char> bytes = receive_bytes(status);
    if (status.MPI_TAG == tags::stop) return 0;
    TaskHeader header{};
    std::memcpy(&header, bytes.data(), sizeof header);
    PoreTask task;
    task.index = header.index;
    task.label = header.label;
    task.M = header.M;
    task.levels.assign(header.levels, header.levels + std::clamp<std::int32_t>(header.level_count, 0, MAX_LEVELS));
    task.flags.assign(bytes.begin() + static_cast<std::ptrdiff_t>(sizeof header), bytes.end());
    SolveSettings settings;
    settings.materials.E0 = header.E0;
    settings.materials.n0 = header.n0;
    settings.materials.E1 = header.E1;
    settings.materials.n1 = header.n1;
    settings.materials.tol = header.tol;
    settings.threads = header.threads > 0 ? header.threads : automatic;
    settings.measure_plans = header.measure_plans != 0;
    settings.contrast = {header.formulation_rule, header.mean_field_estimate};
    settings.precision =
        header.mixed_precision != 0 ? contribution::Precision::mixed : contribution::Precision::double_precision;
    PoreResult result;
    if (stop_signal() != 0) {
      result.index = task.index;
      result.label = task.label;
      result.status = PoreStatus::cancelled;
    } else {
      // A worker of several threads shares them among the ladder's levels,
      // as a serial run does.
      result = settings.threads > 1 && solves_side_by_side(task.levels) ? solve_levels_side_by_side(task, settings)
                                                                          : solve_task(task, settings, stop_flag());
    }
    const std::string record = encode_result(result);
    MPI_Send(record.data(), static_cast<int>(record.size()), MPI_BYTE, 0, tags::result, MPI_COMM_WORLD);
  }
}

}  // namespace csolver::pores
