#pragma once
// Analytic shapes on the program's regular grid, and writing them as an
// input.txt. Membership is decided at the ideal node positions (2i - M)/M,
// which are exactly symmetric about the origin, with a small relative
// tolerance, so that symmetric shapes give symmetric node sets; the node
// records carry -1 + i h as the program lays the grid out.
#include "model/problem_setup.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace csolver::shapes {

using Point = std::array<double, 3>;
using Indicator = std::function<bool(const Point&)>;

// Relative tolerance of the surface test.
inline constexpr double SURFACE_TOLERANCE = 1e-9;

double ideal_coordinate(std::int32_t i, std::int32_t M);

// Rotation by angles (degrees) about x, then y, then z: body frame to grid.
std::array<std::array<double, 3>, 3> rotation(const Point& angles_degrees);

struct Ellipsoid {
  Point semi_axes{0.5, 0.5, 0.5};
  Point center{0, 0, 0};
  Point angles_degrees{0, 0, 0};
};
Indicator inside(const Ellipsoid& e);

// The shapes below share the placement of Ellipsoid: body frame centred at
// `center`, rotated by `angles_degrees` (about x, then y, then z).

// Box with half-edges along the body axes.
struct Cuboid {
  Point half_edges{0.5, 0.5, 0.5};
  Point center{0, 0, 0};
  Point angles_degrees{0, 0, 0};
};
Indicator inside(const Cuboid& c);

// Circular cylinder with its axis along body z.
struct Cylinder {
  double radius = 0.5, half_length = 0.5;
  Point center{0, 0, 0};
  Point angles_degrees{0, 0, 0};
};
Indicator inside(const Cylinder& c);

// Ring torus about body z: `major` from the axis to the tube's centre line,
// `minor` the tube radius.
struct Torus {
  double major = 0.5, minor = 0.2;
  Point center{0, 0, 0};
  Point angles_degrees{0, 0, 0};
};
Indicator inside(const Torus& t);

// |u/a|^(2p) + |v/b|^(2p) + |w/c|^(2p) <= 1 in body coordinates (u, v, w):
// p = 1 is the ellipsoid, large p approaches the cuboid.
struct Supersphere {
  Point semi_axes{0.5, 0.5, 0.5};
  double power = 2;
  Point center{0, 0, 0};
  Point angles_degrees{0, 0, 0};
};
Indicator inside(const Supersphere& s);

// A planar crack in the plane k = 1: ellipse with semi-axes a (along x before
// rotation) and b, centre (cx, cy), rotated in the plane by angle_degrees.
struct PlanarEllipse {
  double a = 0.5, b = 0.5;
  double cx = 0, cy = 0;
  double angle_degrees = 0;
};
std::function<bool(double, double)> inside(const PlanarEllipse& e);

// Rectangle with half-sides a (along x before rotation) and b.
struct PlanarRectangle {
  double a = 0.5, b = 0.5;
  double cx = 0, cy = 0;
  double angle_degrees = 0;
};
std::function<bool(double, double)> inside(const PlanarRectangle& r);

// Ring between two concentric circles.
struct PlanarAnnulus {
  double outer = 0.5, inner = 0.25;
  double cx = 0, cy = 0;
};
std::function<bool(double, double)> inside(const PlanarAnnulus& r);

// Flags of the grid of M intervals, 1 where `inside` holds at the ideal node
// positions: N^3 values (i + N (j + N k)), or N^2 of the crack plane (i + N j).
std::vector<std::int32_t> volume_flags(std::int32_t M, const Indicator& inside);
std::vector<std::int32_t> crack_flags(std::int32_t M, const std::function<bool(double, double)>& inside);

// Grid of M intervals with the node coordinates of input.txt (-1 + i h) and
// flag 1 where `inside` holds.
NodeTable volume_node_table(std::int32_t M, const Indicator& inside);
// Grid of M intervals with flag 1 at the crack nodes of the plane k = 1.
NodeTable crack_node_table(std::int32_t M, const std::function<bool(double, double)>& inside);

struct Materials {
  double E0 = 1, n0 = 0.3, E1 = 1, n1 = 0.3;
  double tol = 1e-6;
};

// input.txt text for the given problem, formatted into one buffer with
// std::to_chars; a coordinate value met before is copied, not formatted again.
std::string input_text(const NodeTable& nodes, const Materials& materials, bool crack, const std::string& text);

}  // namespace csolver::shapes
