// quorvane-eval: compares every original cloud of ./quorvane with its compressed file and its
// decoded cloud, and writes the console log and errors.csv.

#include "cloud_comparison.h"
#include "error_report.h"
#include "file_listing.h"

#include <boost/filesystem.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;
using FileList = std::vector<fs::path>;

const char* const kReportName = "errors.csv";

// The file's path below its dataset directory, whose string form is prefixLength long.
std::string relativeName(const fs::path& file, std::size_t prefixLength) {
  const std::string text = file.string();
  return text.substr(prefixLength + 1, text.size());
}

const fs::path* findCompressed(const FileList& compressed, std::size_t prefixLength,
                               const std::string& baseName) {
  for (const fs::path& candidate : compressed)
    if (relativeName(candidate, prefixLength) == baseName)
      return &candidate;
  return nullptr;
}

const fs::path* findReconstructed(const FileList& reconstructed, std::size_t prefixLength,
                                  const fs::path& original, const std::string& originalName) {
  for (const fs::path& candidate : reconstructed)
    if (original.filename() == candidate.filename() &&
        relativeName(candidate, prefixLength) == originalName)
      return &candidate;
  return nullptr;
}

void reportFileSystemError(const std::string& action, const fs::filesystem_error& error) {
  std::cerr << "quorvane-eval: " << action;
  if (!error.path1().empty())
    std::cerr << " " << error.path1();
  std::cerr << ": " << error.code().message() << std::endl;
}

// Writes the ratio piece; returns false when a size could not be read.
bool writeCompressionRatio(std::ostream& report, const fs::path& original,
                           const fs::path* compressed) {
  if (compressed == nullptr) {
    writeRatioMissing(std::cout, report);
    return true;
  }
  try {
    const double originalSize = static_cast<double>(fs::file_size(original));
    const double compressedSize = static_cast<double>(fs::file_size(*compressed));
    writeRatioFound(std::cout, report, static_cast<float>(compressedSize / originalSize));
    return true;
  } catch (const fs::filesystem_error& error) {
    reportFileSystemError("cannot read the size of", error);
    writeRatioMissing(std::cout, report);
    return false;
  }
}

struct Dataset {
  fs::path originalsDirectory;
  fs::path reconstructedDirectory;
  fs::path compressedDirectory;
  FileList originals;
  FileList reconstructed;
  FileList compressed;
};

Dataset datasetBelow(const fs::path& root) {
  Dataset dataset;
  dataset.originalsDirectory = root / std::string("pcd_binary_original");
  dataset.reconstructedDirectory = root / std::string("octree_uncompressed");
  dataset.compressedDirectory = root / std::string("octree_compressed");
  return dataset;
}

// Returns false, after a message, when a directory could not be listed.
bool listDataset(Dataset& dataset) {
  struct Listing {
    const fs::path& directory;
    const char* extension;
    FileList& files;
  };
  const Listing listings[] = {{dataset.originalsDirectory, ".pcd", dataset.originals},
                              {dataset.reconstructedDirectory, ".pcd", dataset.reconstructed},
                              {dataset.compressedDirectory, "", dataset.compressed}};
  for (const Listing& listing : listings) {
    try {
      listFiles(listing.directory, listing.extension, listing.files);
    } catch (const fs::filesystem_error& error) {
      reportFileSystemError("cannot list " + listing.directory.string() + ":", error);
      return false;
    }
  }
  return true;
}

// Writes one original's console record and report row; returns false on any error.
bool evaluateOriginal(const Dataset& dataset, const fs::path& original, std::ostream& report) {
  const std::string originalName =
      relativeName(original, dataset.originalsDirectory.string().size());
  const std::string baseName = originalName.substr(0, originalName.size() - 4);
  writeCloudOpening(std::cout, report, original);

  const fs::path* compressed =
      findCompressed(dataset.compressed, dataset.compressedDirectory.string().size(), baseName);
  bool succeeded = writeCompressionRatio(report, original, compressed);

  const fs::path* reconstructed =
      findReconstructed(dataset.reconstructed, dataset.reconstructedDirectory.string().size(),
                        original, originalName);
  if (reconstructed == nullptr) {
    writeStatisticsMissing(std::cout, report);
    return succeeded;
  }
  const CloudErrorStats stats = loadAndCompare(original.string(), reconstructed->string());
  writeStatisticsFound(std::cout, report, stats);
  return succeeded && stats.cloudsLoaded;
}

// Reports the first failed write to the report; the console log goes on regardless.
bool checkReport(const std::ostream& report, bool& reported) {
  if (report || reported)
    return static_cast<bool>(report);
  std::cerr << "quorvane-eval: cannot write " << kReportName << ": " << std::strerror(errno)
            << std::endl;
  reported = true;
  return false;
}

} // namespace

int main(int, char**) {
  Dataset dataset = datasetBelow(fs::path("quorvane"));
  errno = 0;
  std::ofstream report(kReportName);
  if (!report) {
    std::cerr << "quorvane-eval: cannot open " << kReportName << ": " << std::strerror(errno)
              << std::endl;
    return 1;
  }
  if (!listDataset(dataset))
    return 1;

  bool writeFailureReported = false;
  writeReportHeader(report);
  bool succeeded = checkReport(report, writeFailureReported);
  for (const fs::path& original : dataset.originals) {
    succeeded = evaluateOriginal(dataset, original, report) && succeeded;
    succeeded = checkReport(report, writeFailureReported) && succeeded;
  }
  return succeeded ? 0 : 1;
}
