#pragma once
// The shape and image arguments shared by the front ends: an analytic shape
// by name and options, or a 3-D image (TIFF stack or raw volume) with its
// selection and placement, turned into node flags at any number of grid
// intervals. contribution_input, contribution_study and contribution_pores
// read them with this code, so the same arguments give the same grids.
#include "cli/command_line.h"
#include "images/image_volume.h"
#include "model/problem_setup.h"
#include "shapes/shapes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace csolver::cli {

// Options of the shapes and of the images, for parse_command_line.
std::span<const OptionRule> shape_option_rules();
std::span<const OptionRule> image_option_rules();

// Help text of the shapes and images (the lines of contribution_input --help).
std::string shape_help();

bool is_image_kind(const std::string& name);   // tiff, raw
bool is_planar_shape(const std::string& name);  // penny, ellipse, rectangle, annulus

// A shape ready to be put on a grid of any M.
struct ShapeSpec {
  std::string name;  // sphere, ..., tiff, raw
  bool crack = false;
  std::string description;                   // for the report's free text
  shapes::Indicator volume;                   // inhomogeneities
  std::function<bool(double, double)> plane;  // cracks (plane k = 1)
  // An image's voxels, which the indicators read: owned here, so that the
  // shape can be put on grids as long as it lives.
  std::shared_ptr<const image::Mask> mask;
};

// positional[0] is the shape, positional[1] the image file of tiff and raw;
// more positional arguments are an error. `crack_wanted`: --crack was given
// (an image must then be a single page). Reads the shape's options from `o`.
ShapeSpec read_shape(const CommandLine& cl, Options& o, bool crack_wanted);

// The image's inside voxels by the selection options (--threshold, --label,
// --invert) and, for raw volumes, --dims, --type and --header-bytes.
image::Mask read_image(const std::string& kind, const std::string& file, Options& o);
// The voxel spacing (--voxel SX SY SZ, default 1 1 1).
std::array<double, 3> read_voxel_size(Options& o);
// "value >= 100", "label 3", "not nonzero", ... of the selection options.
std::string describe_selection(Options& o);

// Flags of the shape at M intervals: N^3 values (i + N (j + N k)), or the N^2
// of the crack plane (i + N j).
std::vector<std::int32_t> shape_flags(const ShapeSpec& shape, std::int32_t M);
// The node table with the coordinates input.txt lists.
NodeTable shape_node_table(const ShapeSpec& shape, std::int32_t M);

}  // namespace csolver::cli
