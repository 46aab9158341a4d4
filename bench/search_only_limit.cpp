// The physical limit of one pair: both files' bytes read into memory, one tree build over the
// decoded points and the nearest neighbour of every original point searched in Morton order,
// on up to THREADS threads, with no check, no colour, no statistics and no report. It links the
// search alone, not PCL's libraries, so that it pays for no library start-up either. It reads
// the binary x y z rgba files that quorvane-dataset writes, whose points are all finite.

#include "common/point_list.h"
#include "search/nearest_neighbour_search.h"
#include "search/search_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

// The points of a binary PCD file of x y z rgba records, read straight into the point list.
bool readPoints(const char* path, PointList& points) {
  const int file = open(path, O_RDONLY);
  struct stat status;
  if (file < 0 || fstat(file, &status) != 0)
    return false;
  char head[4096];
  const ssize_t headBytes = pread(file, head, sizeof head, 0);
  const std::string header(head, headBytes > 0 ? static_cast<std::size_t>(headBytes) : 0);
  const std::size_t data = header.find("DATA binary\n");
  if (data == std::string::npos || header.find("FIELDS x y z rgba\n") == std::string::npos) {
    close(file);
    return false;
  }
  const std::size_t offset = data + std::strlen("DATA binary\n");
  const auto bytes = static_cast<std::size_t>(status.st_size) - offset;
  points.resize(bytes / sizeof(ColorPoint));
  const bool read =
      pread(file, points.data(), bytes, static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes);
  close(file);
  return read;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: limit ORIGINAL.pcd DECODED.pcd [THREADS]\n";
    return 2;
  }
  const unsigned threads = argc == 4 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
  PointList original, decoded;
  if (!readPoints(argv[1], original) || !readPoints(argv[2], decoded)) {
    std::cerr << "limit: reads binary x y z rgba PCD files only\n";
    return 1;
  }
  const SearchTree tree = buildSearchTree(decoded, threads);
  std::atomic<std::size_t> found{0};
  visitNearestNeighbours(tree, original, threads,
                         [&](const std::uint32_t*, const Neighbour* neighbours, std::size_t count) {
                           std::size_t matched = 0;
                           for (std::size_t i = 0; i < count; ++i)
                             matched += neighbours[i].index != kNoNeighbour;
                           found += matched;
                         });
  // Printing the count keeps the searches from being optimised away.
  std::cout << found << "\n";
  return 0;
}
