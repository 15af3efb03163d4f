#include "shapes/shapes.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>
#include <cmath>
#include <numbers>

namespace csolver::shapes {

double ideal_coordinate(std::int32_t i, std::int32_t M) {
  return static_cast<double>(2 * static_cast<std::int64_t>(i) - M) / static_cast<double>(M);
}

std::array<std::array<double, 3>, 3> rotation(const Point& angles) {
  const double deg = std::numbers::pi / 180;
  const double cx = std::cos(angles[0] * deg), sx = std::sin(angles[0] * deg);
  const double cy = std::cos(angles[1] * deg), sy = std::sin(angles[1] * deg);
  const double cz = std::cos(angles[2] * deg), sz = std::sin(angles[2] * deg);
  // R = Rz Ry Rx
  return {{{cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx},
           {sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx},
           {-sy, cy * sx, cy * cx}}};
}

namespace {
using Rotation = std::array<std::array<double, 3>, 3>;

// Body coordinates of grid point p: R^T (p - center).
Point body_coordinates(const Rotation& R, const Point& center, const Point& p) {
  const double d[3] = {p[0] - center[0], p[1] - center[1], p[2] - center[2]};
  Point body{};
  for (std::size_t a = 0; a < 3; ++a) body[a] = R[0][a] * d[0] + R[1][a] * d[1] + R[2][a] * d[2];
  return body;
}
}  // namespace

Indicator inside(const Cuboid& c) {
  const Rotation R = rotation(c.angles_degrees);
  return [R, c](const Point& p) {
    const Point u = body_coordinates(R, c.center, p);
    for (std::size_t a = 0; a < 3; ++a)
      if (std::abs(u[a]) / c.half_edges[a] > 1 + SURFACE_TOLERANCE) return false;
    return true;
  };
}

Indicator inside(const Cylinder& c) {
  const Rotation R = rotation(c.angles_degrees);
  return [R, c](const Point& p) {
    const Point u = body_coordinates(R, c.center, p);
    const double radial = (u[0] * u[0] + u[1] * u[1]) / (c.radius * c.radius);
    return radial <= 1 + SURFACE_TOLERANCE && std::abs(u[2]) / c.half_length <= 1 + SURFACE_TOLERANCE;
  };
}

Indicator inside(const Torus& t) {
  const Rotation R = rotation(t.angles_degrees);
  return [R, t](const Point& p) {
    const Point u = body_coordinates(R, t.center, p);
    const double from_centre_line = std::hypot(u[0], u[1]) - t.major;
    return (from_centre_line * from_centre_line + u[2] * u[2]) / (t.minor * t.minor) <= 1 + SURFACE_TOLERANCE;
  };
}

Indicator inside(const Supersphere& s) {
  const Rotation R = rotation(s.angles_degrees);
  return [R, s](const Point& p) {
    const Point u = body_coordinates(R, s.center, p);
    double level = 0;
    for (std::size_t a = 0; a < 3; ++a) level += std::pow(std::abs(u[a]) / s.semi_axes[a], 2 * s.power);
    return level <= 1 + SURFACE_TOLERANCE;
  };
}

Indicator inside(const Ellipsoid& e) {
  const auto R = rotation(e.angles_degrees);
  return [R, e](const Point& p) {
    const double d[3] = {p[0] - e.center[0], p[1] - e.center[1], p[2] - e.center[2]};
    double level = 0;
    for (int a = 0; a < 3; ++a) {
      // Body coordinate a: row a of R^T, i.e. column a of R.
      const double body = R[0][a] * d[0] + R[1][a] * d[1] + R[2][a] * d[2];
      const double scaled = body / e.semi_axes[static_cast<std::size_t>(a)];
      level += scaled * scaled;
    }
    return level <= 1 + SURFACE_TOLERANCE;
  };
}

std::function<bool(double, double)> inside(const PlanarEllipse& e) {
  const double angle = e.angle_degrees * std::numbers::pi / 180;
  const double c = std::cos(angle), s = std::sin(angle);
  return [=](double x, double y) {
    const double dx = x - e.cx, dy = y - e.cy;
    const double u = (c * dx + s * dy) / e.a;
    const double v = (-s * dx + c * dy) / e.b;
    return u * u + v * v <= 1 + SURFACE_TOLERANCE;
  };
}

std::function<bool(double, double)> inside(const PlanarRectangle& r) {
  const double angle = r.angle_degrees * std::numbers::pi / 180;
  const double c = std::cos(angle), s = std::sin(angle);
  return [=](double x, double y) {
    const double dx = x - r.cx, dy = y - r.cy;
    return std::abs(c * dx + s * dy) / r.a <= 1 + SURFACE_TOLERANCE &&
           std::abs(-s * dx + c * dy) / r.b <= 1 + SURFACE_TOLERANCE;
  };
}

std::function<bool(double, double)> inside(const PlanarAnnulus& r) {
  return [=](double x, double y) {
    const double rr = (x - r.cx) * (x - r.cx) + (y - r.cy) * (y - r.cy);
    return rr <= r.outer * r.outer * (1 + SURFACE_TOLERANCE) && rr >= r.inner * r.inner * (1 - SURFACE_TOLERANCE);
  };
}

namespace {
NodeTable grid(std::int32_t M, std::int32_t planes) {
  const double h = grid_step(M);
  NodeTable nodes(M + 1, planes, h, true);
  for (std::int32_t k = 0; k < planes; ++k)
    for (std::int32_t j = 0; j <= M; ++j)
      for (std::int32_t i = 0; i <= M; ++i) {
        const std::size_t n = nodes.index(i, j, k);
        nodes.node_x[n] = -1 + i * h;
        nodes.node_y[n] = -1 + j * h;
        nodes.node_z[n] = -1 + k * h;
      }
  return nodes;
}
}  // namespace

std::vector<std::int32_t> volume_flags(std::int32_t M, const Indicator& in) {
  const auto N = static_cast<std::size_t>(M) + 1;
  std::vector<std::int32_t> flags(N * N * N);
  std::size_t n = 0;
  for (std::int32_t k = 0; k <= M; ++k)
    for (std::int32_t j = 0; j <= M; ++j)
      for (std::int32_t i = 0; i <= M; ++i, ++n)
        flags[n] = in({ideal_coordinate(i, M), ideal_coordinate(j, M), ideal_coordinate(k, M)}) ? 1 : 0;
  return flags;
}

std::vector<std::int32_t> crack_flags(std::int32_t M, const std::function<bool(double, double)>& in) {
  const auto N = static_cast<std::size_t>(M) + 1;
  std::vector<std::int32_t> flags(N * N);
  std::size_t n = 0;
  for (std::int32_t j = 0; j <= M; ++j)
    for (std::int32_t i = 0; i <= M; ++i, ++n) flags[n] = in(ideal_coordinate(i, M), ideal_coordinate(j, M)) ? 1 : 0;
  return flags;
}

NodeTable volume_node_table(std::int32_t M, const Indicator& in) {
  NodeTable nodes = grid(M, M + 1);
  nodes.node_flag = volume_flags(M, in);
  return nodes;
}

NodeTable crack_node_table(std::int32_t M, const std::function<bool(double, double)>& in) {
  NodeTable nodes = grid(M, M + 1);
  const std::vector<std::int32_t> plane = crack_flags(M, in);
  std::copy(plane.begin(), plane.end(), nodes.node_flag.begin());
  return nodes;
}

namespace {
void append_number(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_integer(std::string& out, std::int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Formatted coordinates of one axis, by grid index: on the regular grid each
// axis has only N distinct values, so most records copy their text.
class CoordinateCache {
 public:
  explicit CoordinateCache(std::int32_t N) : value_(static_cast<std::size_t>(N)), text_(static_cast<std::size_t>(N)) {}
  void append(std::string& out, std::int32_t index, double value) {
    const auto n = static_cast<std::size_t>(index);
    // Bitwise comparison: a NaN or a different value is formatted afresh.
    if (text_[n].empty() || std::memcmp(&value_[n], &value, sizeof value) != 0) {
      text_[n].clear();
      append_number(text_[n], value);
      value_[n] = value;
    }
    out += text_[n];
  }

 private:
  std::vector<double> value_;
  std::vector<std::string> text_;
};
}  // namespace

std::string input_text(const NodeTable& nodes, const Materials& m, bool crack, const std::string& text) {
  std::string out;
  // About 40 characters a record; one allocation instead of dozens.
  out.reserve(nodes.node_flag.size() * 40 + 512 + text.size());
  auto line = [&out](const std::string& s) {
    out += s;
    out += '\n';
  };
  auto value = [&out](double v, const char* caption) {
    append_number(out, v);
    out += "  ";
    out += caption;
    out += '\n';
  };
  line("Matrix material");
  value(m.E0, "E0");
  value(m.n0, "n0");
  line("Inhomogeneity material");
  value(m.E1, "E1");
  value(m.n1, "n1");
  line("");
  line("Problem type (0 = crack, 1 = inhomogeneity)");
  line(crack ? "0" : "1");
  line("Inhomogeneity function");
  line(text);
  line("Number of discretization intervals M");
  line(std::to_string(nodes.N - 1));
  line("Nodes: x y z flag");
  CoordinateCache xs(nodes.N), ys(nodes.N), zs(nodes.N);
  for (std::int32_t i = 0; i < nodes.N; ++i)
    for (std::int32_t j = 0; j < nodes.N; ++j)
      for (std::int32_t k = 0; k < nodes.N; ++k) {
        const std::size_t n = nodes.index(i, j, k);
        xs.append(out, i, nodes.node_x[n]);
        out += ' ';
        ys.append(out, j, nodes.node_y[n]);
        out += ' ';
        zs.append(out, k, nodes.node_z[n]);
        out += ' ';
        append_integer(out, nodes.node_flag[n]);
        out += '\n';
      }
  line("Tolerance");
  value(m.tol, "tol");
  return out;
}

}  // namespace csolver::shapes
