#include "dataset/dataset_building.h"

#include "codecs/draco_codec.h"
#include "codecs/octree_codec.h"
#include "io/cloud_loading.h"
#include "io/ply_loading.h"

#include <pcl/common/io.h>
#include <pcl/io/pcd_io.h>

#include <boost/filesystem.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include <sys/stat.h>

namespace fs = boost::filesystem;

namespace {

bool isInside(const fs::path& candidate, const fs::path& directory) {
  auto inner = candidate.begin();
  for (auto outer = directory.begin(); outer != directory.end(); ++outer, ++inner)
    if (inner == candidate.end() || *inner != *outer)
      return false;
  return true;
}

std::optional<std::pair<dev_t, ino_t>> identityOf(const fs::path& file) {
  struct stat status;
  if (::stat(file.c_str(), &status) != 0)
    return std::nullopt;
  return std::make_pair(status.st_dev, status.st_ino);
}

// PCL's binary writer refuses a cloud without points, so an empty one gets its header alone.
template <typename Point>
bool writeBinary(const fs::path& file, const pcl::PointCloud<Point>& cloud) {
  if (!cloud.empty())
    return pcl::PCDWriter().writeBinary(file.string(), cloud) >= 0;
  std::ofstream stream(file.string(), std::ios::binary);
  stream << pcl::PCDWriter::generateHeader(cloud, 0) << "DATA binary\n";
  return static_cast<bool>(stream);
}

// The cloud with its normals, one for each point, in a point type that holds both.
template <typename Point>
pcl::PointCloud<Point> withNormals(const ColorCloud& cloud, const Normals& normals) {
  pcl::PointCloud<Point> points;
  pcl::copyPointCloud(cloud, points);
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].normal_x = normals[i][0];
    points[i].normal_y = normals[i][1];
    points[i].normal_z = normals[i][2];
  }
  return points;
}

// Writes the cloud with its colours, or with x, y and z alone, and with its normals when there
// are any.
bool writeBinaryCloud(const fs::path& file, const ColorCloud& cloud, bool withColor,
                      const Normals& normals = Normals()) {
  fs::create_directories(file.parent_path());
  if (!normals.empty())
    return withColor ? writeBinary(file, withNormals<pcl::PointXYZRGBNormal>(cloud, normals))
                     : writeBinary(file, withNormals<pcl::PointNormal>(cloud, normals));
  if (withColor)
    return writeBinary(file, cloud);
  pcl::PointCloud<pcl::PointXYZ> positions;
  pcl::copyPointCloud(cloud, positions);
  return writeBinary(file, positions);
}

bool writeBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream stream(file.string(), std::ios::binary);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream.flush());
}

// Writes the three files of one cloud; returns the reason when that is not possible, or when
// a file to write is one of the sources.
std::string writePair(const Dataset& dataset, const std::string& name, const SourceFiles& sources,
                      const LoadedCloud& original, const RoundTrip& trip, bool decodedHasColor) {
  const fs::path originalFile = dataset.originalsDirectory / name;
  const fs::path compressedFile = dataset.compressedDirectory / compressedName(name);
  const fs::path decodedFile = dataset.decodedDirectory / name;
  for (const fs::path& target : {originalFile, compressedFile, decodedFile}) {
    const auto identity = identityOf(target);
    if (identity && sources.count(*identity) != 0)
      return "writing " + target.string() + " would write over a source cloud";
  }
  if (!writeBinaryCloud(originalFile, original.cloud, original.attributes.hasColor,
                        original.attributes.normals) ||
      !writeBytes(compressedFile, trip.compressedBytes) ||
      !writeBinaryCloud(decodedFile, trip.decoded, decodedHasColor))
    return std::string("cannot write its files: ") + std::strerror(errno);
  return "";
}

BuiltPair buildPairUnguarded(const fs::path& sourceFile, const std::string& name,
                             const Dataset& dataset, const SourceFiles& sources,
                             const CodecProfile& profile, int dracoSpeed, OctreeStream* stream) {
  BuiltPair built;
  const bool ply = sourceFile.extension() == ".ply";
  const LoadedCloud source =
      ply ? readPlyFile(sourceFile.string()) : readPcdFile(sourceFile.string());
  if (!source.problem.empty()) {
    built.problem = std::string(ply ? "not a readable PLY cloud: " : "not a readable PCD cloud: ") +
                    source.problem;
    return built;
  }
  const ColorCloud& original = source.cloud;
  const bool hasColor = source.attributes.hasColor;
  const RoundTrip trip = profile.codec == Codec::Octree
                             ? octreeRoundTrip(original, profile, stream)
                             : dracoRoundTrip(original, profile, dracoSpeed);
  built.problem = trip.problem;
  if (built.problem.empty())
    built.problem = writePair(dataset, name, sources, source, trip, hasColor && profile.color);
  if (!built.problem.empty())
    return built;
  built.originalPoints = original.size();
  built.decodedPoints = trip.decoded.size();
  built.compressedBytes = trip.compressedBytes.size();
  built.colorBytes = trip.colorBytes;
  built.originalBytes = fs::file_size(dataset.originalsDirectory / name);
  built.encodingSeconds = trip.encodingSeconds;
  built.decodingSeconds = trip.decodingSeconds;
  return built;
}

} // namespace

std::string prepareDataset(const fs::path& input, const fs::path& output, Dataset& dataset) {
  const fs::path root = output / "quorvane";
  const fs::path canonicalRoot = fs::weakly_canonical(root);
  const fs::path canonicalInput = fs::canonical(input);
  if (isInside(canonicalRoot, canonicalInput))
    return "the output " + root.string() + " lies inside the input " + input.string() +
           "; choose another --output";
  if (isInside(canonicalInput, canonicalRoot))
    return "the input " + input.string() + " lies inside the output " + root.string() +
           ", whose files would be written over it; choose another --output";
  dataset = datasetBelow(root);
  for (const fs::path& folder :
       {dataset.originalsDirectory, dataset.compressedDirectory, dataset.decodedDirectory}) {
    boost::system::error_code error;
    fs::create_directories(folder, error);
    if (error)
      return "cannot create " + folder.string() + ": " + error.message();
  }
  return "";
}

void listSourceClouds(const fs::path& input, std::vector<fs::path>& sources,
                      std::vector<SkippedEntry>& skipped) {
  std::vector<fs::path> files;
  std::vector<SkippedEntry> passedOver;
  listFiles(input, std::nullopt, files, &passedOver);
  const auto isCloud = [](const fs::path& path) {
    return path.extension() == ".pcd" || path.extension() == ".ply";
  };
  for (const fs::path& file : files)
    if (isCloud(file))
      sources.push_back(file);
  // Linked folders are named whatever they are called; other entries only with a cloud's name.
  for (const SkippedEntry& entry : passedOver) {
    boost::system::error_code error;
    if (isCloud(entry.path) ||
        (fs::is_symlink(entry.path, error) && fs::is_directory(entry.path, error)))
      skipped.push_back(entry);
  }
}

std::string datasetName(const fs::path& source, const fs::path& input) {
  const std::string name = relativeName(source, input);
  if (source.extension() != ".ply")
    return name;
  return name.substr(0, name.size() - std::string(".ply").size()) + ".pcd";
}

SourceFiles identitiesOf(const std::vector<fs::path>& files) {
  SourceFiles identities;
  for (const fs::path& file : files)
    if (const auto identity = identityOf(file))
      identities.insert(*identity);
  return identities;
}

BuiltPair buildPair(const fs::path& source, const std::string& name, const Dataset& dataset,
                    const SourceFiles& sources, const CodecProfile& profile, int dracoSpeed,
                    OctreeStream* stream) {
  BuiltPair failed;
  try {
    return buildPairUnguarded(source, name, dataset, sources, profile, dracoSpeed, stream);
  } catch (const fs::filesystem_error& error) {
    failed.problem = error.code().message() + " (" + error.path1().string() + ")";
  } catch (const std::bad_alloc&) {
    failed.problem = "out of memory";
  }
  return failed;
}
