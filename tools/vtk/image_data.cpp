#include "vtk/image_data.h"

#include <bit>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>

namespace csolver::vtk {

namespace {

template <class T>
PointArray typed(std::string name, int components, const std::vector<T>& values, const char* type) {
  PointArray a{std::move(name), components, type, std::string(values.size() * sizeof(T), '\0'), {}};
  if (!values.empty()) std::memcpy(a.bytes.data(), values.data(), a.bytes.size());
  return a;
}

std::size_t type_size(const std::string& type) {
  if (type == "Float64") return 8;
  if (type == "Float32" || type == "Int32" || type == "UInt32") return 4;
  if (type == "UInt8") return 1;
  throw std::invalid_argument("VTK array type " + type + " is not one this writer knows");
}

// Attribute text: names are ours, but an XML special character must not break the file.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

PointArray float64_array(std::string name, int components, const std::vector<double>& values,
                         std::vector<std::string> component_names) {
  PointArray a = typed(std::move(name), components, values, "Float64");
  a.component_names = std::move(component_names);
  return a;
}
PointArray float32_array(std::string name, int components, const std::vector<float>& values) {
  return typed(std::move(name), components, values, "Float32");
}
PointArray int32_array(std::string name, const std::vector<std::int32_t>& values) {
  return typed(std::move(name), 1, values, "Int32");
}
PointArray uint32_array(std::string name, const std::vector<std::uint32_t>& values) {
  return typed(std::move(name), 1, values, "UInt32");
}

std::string image_data_file(const ImageGeometry& g, const std::vector<PointArray>& arrays) {
  for (std::int32_t n : g.points)
    if (n < 1) throw std::invalid_argument("a VTK image needs at least one point along every axis");
  std::set<std::string> names;
  for (const PointArray& a : arrays) {
    if (a.name.empty() || !names.insert(a.name).second)
      throw std::invalid_argument("VTK point arrays need distinct, non-empty names; found '" + a.name + "' twice or empty");
    if (a.components < 1) throw std::invalid_argument("VTK point array " + a.name + " has no components");
    const std::size_t expected = g.count() * static_cast<std::size_t>(a.components) * type_size(a.type);
    if (a.bytes.size() != expected)
      throw std::invalid_argument("VTK point array " + a.name + " holds " + std::to_string(a.bytes.size()) +
                                  " bytes, expected " + std::to_string(expected));
    if (!a.component_names.empty() && a.component_names.size() != static_cast<std::size_t>(a.components))
      throw std::invalid_argument("VTK point array " + a.name + ": one component name per component, or none");
  }
  std::ostringstream x;
  x.precision(17);
  const char* order = std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian";
  std::ostringstream extent;
  extent << "0 " << g.points[0] - 1 << " 0 " << g.points[1] - 1 << " 0 " << g.points[2] - 1;
  x << "<?xml version=\"1.0\"?>\n"
    << "<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"" << order << "\" header_type=\"UInt64\">\n"
    << "  <ImageData WholeExtent=\"" << extent.str() << "\" Origin=\"" << g.origin[0] << ' ' << g.origin[1] << ' '
    << g.origin[2] << "\" Spacing=\"" << g.spacing[0] << ' ' << g.spacing[1] << ' ' << g.spacing[2] << "\">\n"
    << "    <Piece Extent=\"" << extent.str() << "\">\n"
    << "      <PointData>\n";
  std::uint64_t offset = 0;
  for (const PointArray& a : arrays) {
    x << "        <DataArray type=\"" << a.type << "\" Name=\"" << escaped(a.name) << "\" NumberOfComponents=\""
      << a.components << '"';
    for (std::size_t c = 0; c < a.component_names.size(); ++c)
      x << " ComponentName" << c << "=\"" << escaped(a.component_names[c]) << '"';
    x << " format=\"appended\" offset=\"" << offset << "\"/>\n";
    offset += sizeof(std::uint64_t) + a.bytes.size();
  }
  x << "      </PointData>\n"
    << "      <CellData/>\n"
    << "    </Piece>\n"
    << "  </ImageData>\n"
    << "  <AppendedData encoding=\"raw\">\n   _";
  std::string file = x.str();
  file.reserve(file.size() + offset + 64);
  for (const PointArray& a : arrays) {
    const std::uint64_t length = a.bytes.size();
    file.append(reinterpret_cast<const char*>(&length), sizeof length);
    file += a.bytes;
  }
  file += "\n  </AppendedData>\n</VTKFile>\n";
  return file;
}

}  // namespace csolver::vtk
