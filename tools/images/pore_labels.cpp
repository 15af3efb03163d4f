#include "images/pore_labels.h"

#include <limits>
#include <string>

namespace csolver::image {

namespace {

// A run of inside voxels along x, [x0, x1), with its provisional id.
struct Run {
  std::int32_t x0, x1;
  std::uint32_t id;
};

// Runs of one z slice, row by row: row y holds runs[row_start[y] .. row_start[y + 1]).
struct SliceRuns {
  std::vector<Run> runs;
  std::vector<std::size_t> row_start;
};

// Equivalence classes of provisional ids. parent[id] <= id always (a union
// hangs the larger root under the smaller), so each class's root is its
// smallest id, which is its first run in raster order.
class RunForest {
 public:
  RunForest() : parent_(1, 0) {}  // id 0 is the background

  std::uint32_t add() {
    if (parent_.size() > std::numeric_limits<std::uint32_t>::max() - 1)
      throw ImageError("the image has more than 2^32 - 2 runs of inside voxels; it cannot be labelled with 32-bit labels");
    const auto id = static_cast<std::uint32_t>(parent_.size());
    parent_.push_back(id);
    return id;
  }

  std::uint32_t root(std::uint32_t id) {
    while (parent_[id] != id) {
      parent_[id] = parent_[parent_[id]];  // path halving keeps parent <= id
      id = parent_[id];
    }
    return id;
  }

  void unite(std::uint32_t a, std::uint32_t b) {
    a = root(a);
    b = root(b);
    if (a < b) parent_[b] = a;
    else if (b < a) parent_[a] = b;
  }

  // Replaces each entry by its final label: roots in increasing id order get
  // 1, 2, ..., which is raster order of each class's first voxel. A non-root
  // points to a smaller id, whose entry is already its final label.
  std::uint32_t relabel() {
    std::uint32_t count = 0;
    for (std::size_t id = 1; id < parent_.size(); ++id) parent_[id] = parent_[id] == id ? ++count : parent_[parent_[id]];
    return count;
  }

  const std::vector<std::uint32_t>& map() const { return parent_; }

 private:
  std::vector<std::uint32_t> parent_;
};

// Unites each run of `row` with the runs of an earlier row it touches. Runs
// touch when their x ranges overlap, or, with `reach` = 1 (edge and corner
// neighbours), when they come within one voxel.
void unite_with_row(const Run* row, const Run* row_end, const Run* other, const Run* other_end, std::int32_t reach,
                    RunForest& forest) {
  for (; row != row_end; ++row) {
    while (other != other_end && other->x1 + reach <= row->x0) ++other;
    // `other` stays where it is: the next run of `row` may touch it too.
    for (const Run* q = other; q != other_end && q->x0 < row->x1 + reach; ++q) forest.unite(row->id, q->id);
  }
}

}  // namespace

Labels label_pores(const Mask& mask, Connectivity connectivity) {
  const std::size_t voxels = static_cast<std::size_t>(mask.nx) * static_cast<std::size_t>(mask.ny) * static_cast<std::size_t>(mask.nz);
  if (mask.nx < 1 || mask.ny < 1 || mask.nz < 1 || mask.inside.size() != voxels)
    throw ImageError("label_pores: the mask's size does not match " + std::to_string(mask.nx) + " x " +
                     std::to_string(mask.ny) + " x " + std::to_string(mask.nz));
  Labels labels;
  labels.nx = mask.nx;
  labels.ny = mask.ny;
  labels.nz = mask.nz;
  labels.connectivity = connectivity;
  labels.label.assign(voxels, 0);

  const bool corners = connectivity == Connectivity::twenty_six;
  const std::int32_t reach = corners ? 1 : 0;
  RunForest forest;
  SliceRuns previous, current;
  previous.row_start.assign(static_cast<std::size_t>(mask.ny) + 1, 0);
  current.row_start.assign(static_cast<std::size_t>(mask.ny) + 1, 0);

  // First pass: runs get provisional ids in raster order, written into the
  // label image, and are united with the runs of the earlier neighbour rows:
  // (y - 1, z) and (y, z - 1), and with corners also (y - 1, z - 1) and (y + 1, z - 1).
  for (std::int32_t z = 0; z < mask.nz; ++z) {
    current.runs.clear();
    for (std::int32_t y = 0; y < mask.ny; ++y) {
      current.row_start[static_cast<std::size_t>(y)] = current.runs.size();
      const std::size_t row_offset = labels.index(0, y, z);
      const std::uint8_t* in = mask.inside.data() + row_offset;
      std::uint32_t* out = labels.label.data() + row_offset;
      for (std::int32_t x = 0; x < mask.nx;) {
        if (!in[x]) {
          ++x;
          continue;
        }
        const std::int32_t x0 = x;
        while (x < mask.nx && in[x]) ++x;
        const std::uint32_t id = forest.add();
        current.runs.push_back({x0, x, id});
        for (std::int32_t t = x0; t < x; ++t) out[t] = id;
      }
      const std::size_t first = current.row_start[static_cast<std::size_t>(y)];
      const Run* row = current.runs.data() + first;
      const Run* row_end = current.runs.data() + current.runs.size();
      if (row == row_end) continue;
      auto unite_with = [&](const SliceRuns& slice, std::int32_t other_y) {
        if (other_y < 0 || other_y >= mask.ny) return;
        const Run* other = slice.runs.data() + slice.row_start[static_cast<std::size_t>(other_y)];
        const Run* other_end = slice.runs.data() + slice.row_start[static_cast<std::size_t>(other_y) + 1];
        unite_with_row(row, row_end, other, other_end, reach, forest);
      };
      if (y > 0) {
        // Row y - 1 of this slice is complete: its end is where row y begins.
        const Run* other = current.runs.data() + current.row_start[static_cast<std::size_t>(y) - 1];
        unite_with_row(row, row_end, other, row, reach, forest);
      }
      if (z > 0) {
        unite_with(previous, y);
        if (corners) {
          unite_with(previous, y - 1);
          unite_with(previous, y + 1);
        }
      }
    }
    current.row_start[static_cast<std::size_t>(mask.ny)] = current.runs.size();
    std::swap(previous, current);
  }

  // Second pass: provisional ids to final labels.
  labels.count = forest.relabel();
  const std::vector<std::uint32_t>& final_label = forest.map();
  std::uint32_t* label = labels.label.data();
#pragma omp parallel for schedule(static)
  for (std::int64_t v = 0; v < static_cast<std::int64_t>(voxels); ++v)
    if (label[v] != 0) label[v] = final_label[label[v]];
  return labels;
}

}  // namespace csolver::image
