// Writes a PCD cloud's finite points as a binary (little-endian) PLY file, the form MPEG's
// pc_error reads: float x y z, uchar red green blue when the file has colour, and float
// nx ny nz when it has normals. Prints how many normals are not finite.
//   bench_pcd_to_ply INPUT.pcd OUTPUT.ply

#include "io/cloud_loading.h"

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
  std::fprintf(file, "ply\nformat binary_little_endian 1.0\nelement vertex %zu\n",
               loaded.cloud.size());
  std::fprintf(file, "property float x\nproperty float y\nproperty float z\n");
  if (color)
    std::fprintf(file, "property uchar red\nproperty uchar green\nproperty uchar blue\n");
  if (normals)
    std::fprintf(file, "property float nx\nproperty float ny\nproperty float nz\n");
  std::fprintf(file, "end_header\n");
  for (std::size_t i = 0; i < loaded.cloud.size(); ++i) {
    const auto& point = loaded.cloud[i];
    std::fwrite(point.data, sizeof(float), 3, file);
    if (color) {
      const unsigned char rgb[3] = {point.r, point.g, point.b};
      std::fwrite(rgb, 1, 3, file);
    }
    if (normals)
      std::fwrite(loaded.attributes.normals[i].data(), sizeof(float), 3, file);
  }
  std::size_t nonFinite = 0;
  for (const auto& normal : loaded.attributes.normals)
    nonFinite += normal.allFinite() ? 0 : 1;
  std::cout << nonFinite << " normals not finite\n";
  return std::fclose(file) == 0 ? 0 : 1;
}
