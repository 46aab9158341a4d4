// The Python module quorvane: pc_error's metrics of clouds given as numpy arrays or files, and
// Bjøntegaard deltas, from the library that the programs use.

#include "cloud_arrays.h"

#include "bd/bjontegaard.h"
#include "evaluation/pair_list.h"
#include "evaluation/pc_error_report.h"
#include "evaluation/pc_error_settings.h"

#include <pcl/console/print.h>
#include <pybind11/stl.h>

#include <thread>

#include <unistd.h>

namespace py = pybind11;

namespace {

// One option of quorvane-metrics's table set from Python, so that both accept the same values.
void setOption(const std::vector<CommandOption>& table, const std::string& name,
               const std::string& keyword, const std::string& value) {
  for (const CommandOption& option : table)
    if (option.name == name) {
      if (!option.take(value))
        throw py::value_error(keyword + " must be " + option.takes + ", not " + value);
      return;
    }
}

std::string textOf(const py::handle& value) {
  if (py::isinstance<py::bool_>(value))
    return value.cast<bool>() ? "1" : "0";
  return py::str(value);
}

bool isPath(const py::handle& value) {
  return py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__");
}

std::string pathOf(const py::handle& value) {
  return py::str(py::module_::import("os").attr("fspath")(value));
}

// A file read with the GIL released; FileNotFoundError or ValueError naming it.
LoadedPoints readFile(const std::string& path, NormalReading normals,
                      ReflectanceReading reflectance = ReflectanceReading::Read) {
  if (access(path.c_str(), R_OK) != 0) {
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
  LoadedPoints loaded;
  {
    py::gil_scoped_release released;
    loaded = loadMeasurablePoints(path, normals, reflectance);
  }
  if (!loaded.problem.empty())
    throw py::value_error(path + ": " + loaded.problem);
  return loaded;
}

ArrayCloud cloudOf(const py::handle& value) {
  if (py::isinstance<ArrayCloud>(value))
    return value.cast<ArrayCloud>();
  return makeArrayCloud(py::reinterpret_borrow<py::object>(value), py::none(), py::none(),
                        py::none());
}

// One side of the pair: a file's points, or a cloud's arrays (with separate normals for A).
struct PairSide {
  std::string path;
  ArrayCloud cloud;
  py::object normals = py::none();
};

PairSide sideOf(const py::handle& value) {
  PairSide side;
  if (isPath(value))
    side.path = pathOf(value);
  else
    side.cloud = cloudOf(value);
  return side;
}

// The side's points, made measurable; arrays are read without the GIL.
LoadedPoints loadSide(const PairSide& side, NormalReading normals, ReflectanceReading reflectance,
                      const char* name) {
  if (!side.path.empty())
    return readFile(side.path, normals, reflectance);
  const MatrixView points = viewOf(side.cloud.points);
  std::optional<MatrixView> colors, normalRows;
  std::optional<VectorView> reflectanceRows;
  if (!side.cloud.colors.is_none())
    colors = viewOf(side.cloud.colors.cast<py::array>());
  if (!side.cloud.reflectance.is_none() && reflectance == ReflectanceReading::Read)
    reflectanceRows = reflectanceViewOf(side.cloud.reflectance.cast<py::array>());
  const py::object& givenNormals = side.normals.is_none() ? side.cloud.normals : side.normals;
  if (normals == NormalReading::Read && !givenNormals.is_none())
    normalRows = viewOf(givenNormals.cast<py::array>());
  LoadedPoints loaded;
  {
    py::gil_scoped_release released;
    readRows(points, colors ? &*colors : nullptr, normalRows ? &*normalRows : nullptr,
             reflectanceRows ? &*reflectanceRows : nullptr, loaded);
    loaded.problem = keepMeasurablePoints(loaded);
  }
  if (!loaded.problem.empty())
    throw py::value_error(std::string(name) + ": " + loaded.problem);
  return loaded;
}

py::object valueOf(const PcErrorValue& value) {
  if (!value.applies)
    return py::none();
  if (value.name.find("points") != std::string::npos)
    return py::int_(static_cast<long long>(value.value));
  return py::float_(value.value);
}

py::dict metrics(const py::object& a, const py::object& b, const py::object& normals,
                 const py::object& resolution, const py::object& color, bool hausdorff,
                 const py::object& lidar, const py::object& dropdups,
                 const py::object& neighborsProc, const py::object& averageNormals,
                 const py::object& mseSpace, bool singlePass, const py::object& threads) {
  PcErrorSettings settings;
  PcErrorRun& run = settings.run;
  const std::vector<CommandOption> table = pcErrorOptionTable(settings);
  if (!resolution.is_none())
    setOption(table, "--resolution", "resolution", textOf(resolution));
  if (!lidar.is_none())
    setOption(table, "--lidar", "lidar", textOf(lidar));
  setOption(table, "--dropdups", "dropdups", textOf(dropdups));
  setOption(table, "--neighborsProc", "neighbors_proc", textOf(neighborsProc));
  setOption(table, "--averageNormals", "average_normals", textOf(averageNormals));
  setOption(table, "--mseSpace", "mse_space", textOf(mseSpace));
  run.threads = std::max(1u, std::thread::hardware_concurrency());
  if (!threads.is_none())
    setOption(table, "--nbThreads", "threads", textOf(threads));
  run.hausdorff = hausdorff;
  run.singlePass = singlePass;
  run.color = color.is_none() || color.cast<bool>();

  PairSide original = sideOf(a);
  const PairSide decoded = sideOf(b);
  PairMeasurement measured;
  if (!normals.is_none() && isPath(normals)) {
    const std::string path = pathOf(normals);
    measured.normals = readFile(path, NormalReading::Read, ReflectanceReading::Skip);
    if (measured.normals.attributes.normals.empty())
      throw py::value_error(path + " has no normals (nx ny nz, or normal_x normal_y normal_z)");
  } else if (!normals.is_none()) {
    if (!original.path.empty())
      throw py::value_error("normals as an array go with a as an array or Cloud, not a file");
    original.normals =
        py::isinstance<ArrayCloud>(normals) ? normals.cast<ArrayCloud>().normals : normals;
    if (original.normals.is_none())
      throw py::value_error("normals is a Cloud without normals");
    const ArrayCloud checked =
        makeArrayCloud(original.cloud.points, py::none(), original.normals, py::none());
    original.normals = checked.normals;
  }
  const ReflectanceReading reflectance =
      !lidar.is_none() && !run.lidar ? ReflectanceReading::Skip : ReflectanceReading::Read;
  measured.original = loadSide(original, NormalReading::Read, reflectance, "a");
  measured.decoded = loadSide(decoded, NormalReading::Skip, reflectance, "b");
  if (!measured.normals.points.empty() || !measured.normals.attributes.normals.empty()) {
    if (measured.normals.points.size() != measured.original.points.size())
      throw py::value_error("normals has " + std::to_string(measured.normals.points.size()) +
                            " points where a has " +
                            std::to_string(measured.original.points.size()));
    measured.original.attributes.normals = std::move(measured.normals.attributes.normals);
    measured.normals = LoadedPoints();
  }
  if (measured.original.points.empty())
    throw py::value_error("a has no point with finite coordinates");
  if (measured.decoded.points.empty())
    throw py::value_error("b has no point with finite coordinates");
  const bool colors = measured.original.attributes.hasColor && measured.decoded.attributes.hasColor;
  if (!color.is_none() && color.cast<bool>() && !colors)
    throw py::value_error(std::string("color=True but ") +
                          (measured.original.attributes.hasColor ? "b" : "a") + " has no colors");
  // lidar=None measures reflectance when both clouds have it; lidar=True requires it.
  for (const auto& [cloud, name] :
       {std::pair<const LoadedPoints*, const char*>{&measured.original, "a"},
        {&measured.decoded, "b"}})
    if (run.lidar && cloud->attributes.reflectance.empty())
      throw py::value_error(std::string("lidar=True but ") + name + " has no reflectance" +
                            (cloud->attributes.reflectanceProblem.empty()
                                 ? ""
                                 : ": " + cloud->attributes.reflectanceProblem));
  if (lidar.is_none())
    run.lidar = !measured.original.attributes.reflectance.empty() &&
                !measured.decoded.attributes.reflectance.empty();
  {
    py::gil_scoped_release released;
    measureLoadedPair(measured, run, run.threads);
  }
  if (measured.comparison.problem)
    throw py::value_error(measured.comparison.problem->reason);
  py::dict values;
  for (const PcErrorValue& value :
       pcErrorValues(run, *measured.comparison.metrics, measured.peak, measured.colorsCompared))
    values[py::str(value.name)] = valueOf(value);
  return values;
}

std::vector<RatePoint> curveOf(const py::handle& points, const char* name) {
  std::vector<RatePoint> curve;
  for (const py::handle point : py::iter(points)) {
    const auto pair = py::cast<std::vector<double>>(point);
    if (pair.size() != 2)
      throw py::value_error(std::string(name) + " holds (bits per point, PSNR) pairs");
    curve.push_back({pair[0], pair[1]});
  }
  return curve;
}

Interpolation interpolationOf(const std::string& method) {
  if (method == "pchip")
    return Interpolation::PiecewiseCubic;
  if (method == "cubic")
    return Interpolation::CubicFit;
  throw py::value_error("method must be \"pchip\" or \"cubic\", not \"" + method + "\"");
}

// A delta of quorvane-bd's (bjontegaardRate or bjontegaardQuality) on Python's curves;
// ValueError with the reason where there is none.
using DeltaOf = BjontegaardDelta (*)(const std::vector<RatePoint>&, const std::vector<RatePoint>&,
                                     Interpolation);

double deltaOf(DeltaOf delta, const py::object& anchor, const py::object& test,
               const std::string& method) {
  const BjontegaardDelta result =
      delta(curveOf(anchor, "anchor"), curveOf(test, "test"), interpolationOf(method));
  if (!result.value)
    throw py::value_error(result.reason);
  return *result.value;
}

const char* const kMetricsDoc = R"(Measures a pair as MPEG's pc_error 0.14.1 does, with its options.

a is the original and b the decoded cloud: each a Cloud, a PLY or PCD file's path, or an
N x 3 array of points. D2 takes a's normals from `normals` (an N x 3 array, a Cloud or a
file, as pc_error's -n), else from a's own; without any, the D2 values are None.

resolution: the peak of the D1 and D2 PSNRs, a number or a name ("vox10" ... "vox20",
  "lidar-1mm"); None gives pc_error's own (the largest distance from an original point to
  its nearest other one).
color: None compares colours when both clouds have them; True requires them.
lidar: None compares reflectance (pc_error's -l: MSE, PSNR with the peak 65535, Hausdorff)
  when both clouds have it; True requires it; False leaves it out.
hausdorff, single_pass, dropdups (0, 1 or 2), neighbors_proc (0 to 4), average_normals,
  mse_space (0 RGB, 1 BT.709, 8 YCgCo-R): as pc_error's options of those names.
threads: None uses every hardware thread; the numbers are the same for every count.

Returns a dict of every value quorvane-metrics gives for the same options, under the names
of its --json output ("d1_psnr", "d2_psnr", "hausdorff", "y_psnr", ...; "_ab" and "_ba" for
the two directions). A value that the options or the clouds leave out is None; the PSNR of a
lossless pair is inf. Raises ValueError with the reason for bad input.)";

} // namespace

PYBIND11_MODULE(_quorvane, module) {
  // PCL's warnings (a cloud without a colour field) are not problems; real ones raise.
  pcl::console::setVerbosityLevel(pcl::console::L_ERROR);
  module.doc() = "pc_error's point cloud metrics and Bjøntegaard deltas, from numpy arrays or "
                 "PLY and PCD files.";
  py::class_<ArrayCloud>(module, "Cloud", R"(A point cloud as numpy arrays, kept as given.

points: N x 3, float32 or float64. colors: N x 3 uint8, or None. normals: N x 3 float32 or
float64, or None. reflectance: N values, uint8 or uint16, or None. Points with a non-finite
coordinate are dropped when the cloud is measured.)")
      .def(py::init(&makeArrayCloud), py::arg("points"), py::arg("colors") = py::none(),
           py::arg("normals") = py::none(), py::arg("reflectance") = py::none())
      .def_readonly("points", &ArrayCloud::points)
      .def_readonly("colors", &ArrayCloud::colors)
      .def_readonly("normals", &ArrayCloud::normals)
      .def_readonly("reflectance", &ArrayCloud::reflectance)
      .def("__len__", [](const ArrayCloud& cloud) { return cloud.points.shape(0); })
      .def("__repr__", [](const ArrayCloud& cloud) {
        std::string text = "Cloud(" + std::to_string(cloud.points.shape(0)) + " points";
        if (!cloud.colors.is_none())
          text += ", colors";
        if (!cloud.normals.is_none())
          text += ", normals";
        if (!cloud.reflectance.is_none())
          text += ", reflectance";
        return text + ")";
      });
  module.def(
      "read_cloud",
      [](const py::object& path) {
        return arraysOf(readFile(pathOf(path), NormalReading::Read, ReflectanceReading::Read));
      },
      py::arg("path"),
      R"(Reads a PCD or PLY file as the programs read it: the points with finite coordinates,
as float32, their colours, normals and reflectance (uint16) when the file has them.)");
  module.def("metrics", &metrics, kMetricsDoc, py::arg("a"), py::arg("b"), py::kw_only(),
             py::arg("normals") = py::none(), py::arg("resolution") = py::none(),
             py::arg("color") = py::none(), py::arg("hausdorff") = true,
             py::arg("lidar") = py::none(), py::arg("dropdups") = 2, py::arg("neighbors_proc") = 1,
             py::arg("average_normals") = true, py::arg("mse_space") = 1,
             py::arg("single_pass") = false, py::arg("threads") = py::none());
  module.def(
      "bd_rate",
      [](const py::object& anchor, const py::object& test, const std::string& method) {
        return deltaOf(&bjontegaardRate, anchor, test, method);
      },
      py::arg("anchor"), py::arg("test"), py::kw_only(), py::arg("method") = "pchip",
      R"(The Bjøntegaard delta rate of test against anchor, in percent (negative when test
needs fewer bits), as quorvane-bd computes it. Each curve is a sequence of at least four
(bits per point, PSNR) pairs. method: "pchip" (piecewise cubic, as current common test
conditions) or "cubic" (the classic cubic fit).)");
  module.def(
      "bd_psnr",
      [](const py::object& anchor, const py::object& test, const std::string& method) {
        return deltaOf(&bjontegaardQuality, anchor, test, method);
      },
      py::arg("anchor"), py::arg("test"), py::kw_only(), py::arg("method") = "pchip",
      R"(The Bjøntegaard delta PSNR of test against anchor, in dB (positive when test is
better), as quorvane-bd computes it; the curves and method as for bd_rate.)");
}
