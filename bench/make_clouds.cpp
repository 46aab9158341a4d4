// Writes synthetic coloured clouds for the benchmark and the stress run: a scanned-looking
// surface in scanner order, or the same points in shuffled storage order; a cloud of one
// position repeated; or a scan whose invalid (NaN) pixels are stored as the origin instead.

#include <pcl/io/pcd_io.h>
#include <pcl/point_types.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <random>
#include <string>

namespace {

struct Settings {
  std::size_t points = 10000;
  // The side of the square the surface spans, in metres: more points on the same side make a
  // denser cloud, a side growing as the square root of the points keeps the density.
  float extent = 2.0f;
  std::size_t count = 1;
  bool shuffled = false;
  bool identical = false;
  std::string zeroedFrom;
  unsigned seed = 1;
  std::string output = ".";
};

// Rows of a height field swept like a scanner sweeps, with colours that follow the surface.
pcl::PointCloud<pcl::PointXYZRGBA> scannedSurface(std::size_t points, float extent,
                                                  std::mt19937& random) {
  const auto columns = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(points))));
  std::normal_distribution<float> noise(0.0f, 0.0005f);
  std::uniform_int_distribution<int> jitter(-6, 6);
  pcl::PointCloud<pcl::PointXYZRGBA> cloud;
  cloud.reserve(points);
  for (std::size_t i = 0; i < points; ++i) {
    const float u = static_cast<float>(i % columns) / static_cast<float>(columns);
    const float v = static_cast<float>(i / columns) / static_cast<float>(columns);
    pcl::PointXYZRGBA point;
    point.x = extent * u + noise(random);
    point.y = extent * v + noise(random);
    point.z = 0.2f * std::sin(6.0f * u) * std::cos(4.0f * v) + noise(random);
    const auto channel = [&](float value) {
      return static_cast<std::uint8_t>(
          std::clamp(static_cast<int>(value) + jitter(random), 0, 255));
    };
    point.r = channel(255.0f * u);
    point.g = channel(255.0f * v);
    point.b = channel(128.0f + 600.0f * point.z);
    point.a = 255;
    cloud.push_back(point);
  }
  return cloud;
}

bool parse(int argc, char** argv, Settings& settings) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--points")
      settings.points = std::stoul(value);
    else if (option == "--extent" && std::stof(value) > 0.0f)
      settings.extent = std::stof(value);
    else if (option == "--count")
      settings.count = std::stoul(value);
    else if (option == "--order" && (value == "scan" || value == "shuffled"))
      settings.shuffled = value == "shuffled";
    else if (option == "--kind" && (value == "surface" || value == "identical"))
      settings.identical = value == "identical";
    else if (option == "--nan-to-zero")
      settings.zeroedFrom = value;
    else if (option == "--seed")
      settings.seed = static_cast<unsigned>(std::stoul(value));
    else if (option == "--output")
      settings.output = value;
    else
      return false;
  }
  return argc % 2 == 1;
}

} // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!parse(argc, argv, settings)) {
    std::cerr
        << "usage: make_clouds [--points N] [--extent METRES] [--count K] [--order scan|shuffled] "
           "[--kind surface|identical] [--nan-to-zero SCAN.pcd] [--seed S] [--output DIR]\n";
    return 2;
  }
  boost::filesystem::create_directories(settings.output);
  std::mt19937 random(settings.seed);
  for (std::size_t i = 0; i < settings.count; ++i) {
    auto cloud = scannedSurface(settings.points, settings.extent, random);
    if (settings.identical)
      std::fill(cloud.begin(), cloud.end(), cloud[0]);
    if (!settings.zeroedFrom.empty()) {
      if (pcl::PCDReader().read(settings.zeroedFrom, cloud) < 0)
        return 1;
      for (auto& point : cloud)
        if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
          point.x = point.y = point.z = 0.0f;
      cloud.is_dense = true;
    }
    if (settings.shuffled)
      std::shuffle(cloud.begin(), cloud.end(), random);
    char name[64];
    std::snprintf(name, sizeof name, "cloud_%05zu.pcd", i);
    const std::string file = (boost::filesystem::path(settings.output) / name).string();
    if (pcl::PCDWriter().writeBinary(file, cloud) < 0) {
      std::cerr << "make_clouds: cannot write " << file << "\n";
      return 1;
    }
  }
  return 0;
}
