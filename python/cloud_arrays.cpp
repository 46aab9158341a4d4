#include "cloud_arrays.h"

#include <cstring>
#include <sstream>

namespace py = pybind11;

namespace {

std::string shapeOf(const py::array& array) {
  std::ostringstream text;
  text << '(';
  for (py::ssize_t axis = 0; axis < array.ndim(); ++axis)
    text << (axis ? ", " : "") << array.shape(axis);
  text << (array.ndim() == 1 ? ",)" : ")");
  return text.str();
}

std::string dtypeName(const py::array& array) {
  return py::str(array.dtype());
}

bool hasDtype(const py::array& array, const py::dtype& dtype) {
  return array.dtype().equal(dtype);
}

py::array asArray(const py::object& value, const char* name) {
  if (py::isinstance<py::array>(value))
    return py::reinterpret_borrow<py::array>(value);
  try {
    return py::module_::import("numpy").attr("asarray")(value);
  } catch (const py::error_already_set&) {
    throw py::value_error(std::string(name) + " is not an array");
  }
}

// An N x 3 array of one of the dtypes given (numpy names, for the message).
py::array checkMatrix(const py::object& value, const char* name, py::ssize_t rows,
                      std::initializer_list<py::dtype> dtypes, const char* dtypeNames) {
  py::array array = asArray(value, name);
  if (array.ndim() != 2 || array.shape(1) != 3)
    throw py::value_error(std::string(name) + " must be an N x 3 array, not of shape " +
                          shapeOf(array));
  bool known = false;
  for (const py::dtype& dtype : dtypes)
    known = known || hasDtype(array, dtype);
  if (!known)
    throw py::value_error(std::string(name) + " must be " + dtypeNames + ", not " +
                          dtypeName(array));
  if (rows >= 0 && array.shape(0) != rows)
    throw py::value_error(std::string(name) + " has " + std::to_string(array.shape(0)) +
                          " rows where points has " + std::to_string(rows));
  return array;
}

template <typename Number> Number numberAt(const MatrixView& view, py::ssize_t row, int column) {
  Number value;
  std::memcpy(&value, view.data + row * view.rowStride + column * view.columnStride, sizeof value);
  return value;
}

float coordinateAt(const MatrixView& view, py::ssize_t row, int column) {
  return view.type == 'f' ? numberAt<float>(view, row, column)
                          : static_cast<float>(numberAt<double>(view, row, column));
}

} // namespace

ArrayCloud makeArrayCloud(const py::object& points, const py::object& colors,
                          const py::object& normals, const py::object& reflectance) {
  ArrayCloud cloud;
  const auto floats = {py::dtype::of<float>(), py::dtype::of<double>()};
  cloud.points = checkMatrix(points, "points", -1, floats, "float32 or float64");
  const py::ssize_t rows = cloud.points.shape(0);
  cloud.colors = colors.is_none() ? py::object(py::none())
                                  : checkMatrix(colors, "colors", rows,
                                                {py::dtype::of<std::uint8_t>()}, "uint8");
  cloud.normals = normals.is_none()
                      ? py::object(py::none())
                      : checkMatrix(normals, "normals", rows, floats, "float32 or float64");
  cloud.reflectance = py::none();
  if (!reflectance.is_none()) {
    py::array array = asArray(reflectance, "reflectance");
    if (array.ndim() != 1)
      throw py::value_error("reflectance must be an array of N values, not of shape " +
                            shapeOf(array));
    if (!hasDtype(array, py::dtype::of<std::uint8_t>()) &&
        !hasDtype(array, py::dtype::of<std::uint16_t>()))
      throw py::value_error("reflectance must be uint8 or uint16, not " + dtypeName(array));
    if (array.shape(0) != rows)
      throw py::value_error("reflectance has " + std::to_string(array.shape(0)) +
                            " values where points has " + std::to_string(rows));
    cloud.reflectance = array;
  }
  return cloud;
}

MatrixView viewOf(const py::array& array) {
  MatrixView view;
  view.data = static_cast<const char*>(array.data());
  view.rows = array.shape(0);
  view.rowStride = array.strides(0);
  view.columnStride = array.strides(1);
  view.type = hasDtype(array, py::dtype::of<float>())    ? 'f'
              : hasDtype(array, py::dtype::of<double>()) ? 'd'
                                                         : 'b';
  return view;
}

VectorView reflectanceViewOf(const py::array& array) {
  VectorView view;
  view.data = static_cast<const char*>(array.data());
  view.stride = array.strides(0);
  view.type = hasDtype(array, py::dtype::of<std::uint8_t>()) ? 'b' : 'h';
  return view;
}

void readRows(const MatrixView& points, const MatrixView* colors, const MatrixView* normals,
              const VectorView* reflectance, LoadedPoints& loaded) {
  const auto rows = static_cast<std::size_t>(points.rows);
  loaded.points.resize(rows);
  loaded.attributes.hasColor = colors != nullptr;
  for (py::ssize_t row = 0; row < points.rows; ++row) {
    ColorPoint& point = loaded.points[static_cast<std::size_t>(row)];
    for (int axis = 0; axis < 3; ++axis)
      point.position[axis] = coordinateAt(points, row, axis);
    point.r = colors ? numberAt<std::uint8_t>(*colors, row, 0) : 0;
    point.g = colors ? numberAt<std::uint8_t>(*colors, row, 1) : 0;
    point.b = colors ? numberAt<std::uint8_t>(*colors, row, 2) : 0;
  }
  if (reflectance != nullptr) {
    loaded.attributes.reflectance.resize(rows);
    for (std::size_t row = 0; row < rows; ++row) {
      const char* value = reflectance->data + static_cast<py::ssize_t>(row) * reflectance->stride;
      std::uint16_t number = 0;
      if (reflectance->type == 'b')
        number = static_cast<std::uint8_t>(*value);
      else
        std::memcpy(&number, value, sizeof number);
      loaded.attributes.reflectance[row] = number;
    }
  }
  if (normals == nullptr)
    return;
  loaded.attributes.normals.resize(rows);
  for (py::ssize_t row = 0; row < normals->rows; ++row)
    for (int axis = 0; axis < 3; ++axis)
      loaded.attributes.normals[static_cast<std::size_t>(row)][axis] =
          coordinateAt(*normals, row, axis);
}

ArrayCloud arraysOf(const LoadedPoints& loaded) {
  const auto rows = static_cast<py::ssize_t>(loaded.points.size());
  py::array_t<float> points({rows, py::ssize_t(3)});
  auto xyz = points.mutable_unchecked<2>();
  for (py::ssize_t row = 0; row < rows; ++row)
    for (int axis = 0; axis < 3; ++axis)
      xyz(row, axis) = loaded.points[static_cast<std::size_t>(row)].position[axis];
  py::object colors = py::none();
  if (loaded.attributes.hasColor) {
    py::array_t<std::uint8_t> rgb({rows, py::ssize_t(3)});
    auto values = rgb.mutable_unchecked<2>();
    for (py::ssize_t row = 0; row < rows; ++row) {
      const ColorPoint& point = loaded.points[static_cast<std::size_t>(row)];
      values(row, 0) = point.r;
      values(row, 1) = point.g;
      values(row, 2) = point.b;
    }
    colors = rgb;
  }
  py::object normals = py::none();
  if (!loaded.attributes.normals.empty()) {
    py::array_t<float> directions({rows, py::ssize_t(3)});
    auto values = directions.mutable_unchecked<2>();
    for (py::ssize_t row = 0; row < rows; ++row)
      for (int axis = 0; axis < 3; ++axis)
        values(row, axis) = loaded.attributes.normals[static_cast<std::size_t>(row)][axis];
    normals = directions;
  }
  py::object reflectance = py::none();
  if (!loaded.attributes.reflectance.empty()) {
    py::array_t<std::uint16_t> values(rows);
    auto out = values.mutable_unchecked<1>();
    for (py::ssize_t row = 0; row < rows; ++row)
      out(row) = loaded.attributes.reflectance[static_cast<std::size_t>(row)];
    reflectance = values;
  }
  return {points, colors, normals, reflectance};
}
