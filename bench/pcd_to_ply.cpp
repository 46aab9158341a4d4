// Writes a PCD cloud's finite points as an ascii PLY file, the form MPEG's pc_error reads:
// float x y z, uchar red green blue when the file has colour, and float nx ny nz when it has
// normals. Coordinates and normals are written with nine significant digits, so that every
// float reads back exactly.
//   bench_pcd_to_ply INPUT.pcd OUTPUT.ply

#include "cloud_loading.h"

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: bench_pcd_to_ply INPUT.pcd OUTPUT.ply\n";
    return 2;
  }
  const LoadedCloud loaded = loadMeasurableCloud(argv[1], NormalReading::Read);
  if (!loaded.problem.empty()) {
    std::cerr << argv[1] << ": " << loaded.problem << "\n";
    return 1;
  }
  std::FILE* file = std::fopen(argv[2], "w");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  const bool color = loaded.attributes.hasColor;
  const bool normals = !loaded.attributes.normals.empty();
  std::fprintf(file, "ply\nformat ascii 1.0\nelement vertex %zu\n", loaded.cloud.size());
  std::fprintf(file, "property float x\nproperty float y\nproperty float z\n");
  if (color)
    std::fprintf(file, "property uchar red\nproperty uchar green\nproperty uchar blue\n");
  if (normals)
    std::fprintf(file, "property float nx\nproperty float ny\nproperty float nz\n");
  std::fprintf(file, "end_header\n");
  for (std::size_t i = 0; i < loaded.cloud.size(); ++i) {
    const auto& point = loaded.cloud[i];
    std::fprintf(file, "%.9g %.9g %.9g", point.x, point.y, point.z);
    if (color)
      std::fprintf(file, " %d %d %d", point.r, point.g, point.b);
    if (normals) {
      const auto& normal = loaded.attributes.normals[i];
      std::fprintf(file, " %.9g %.9g %.9g", normal.x(), normal.y(), normal.z());
    }
    std::fprintf(file, "\n");
  }
  return std::fclose(file) == 0 ? 0 : 1;
}
