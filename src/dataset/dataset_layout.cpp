#include "dataset/dataset_layout.h"

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

Dataset datasetBelow(const fs::path& root) {
  Dataset dataset;
  dataset.originalsDirectory = root / std::string("pcd_binary_original");
  dataset.compressedDirectory = root / std::string("octree_compressed");
  dataset.decodedDirectory = root / std::string("octree_uncompressed");
  return dataset;
}

std::string listDataset(Dataset& dataset, std::vector<SkippedEntry>& skipped) {
  struct Listing {
    const fs::path& directory;
    std::optional<std::string> extension;
    std::vector<fs::path>& files;
    std::vector<SkippedEntry>* skipped;
  };
  const Listing listings[] = {
      {dataset.originalsDirectory, ".pcd", dataset.originals, &skipped},
      {dataset.decodedDirectory, ".pcd", dataset.decoded, nullptr},
      // A compressed file is named by its original, whatever dots that name holds.
      {dataset.compressedDirectory, std::nullopt, dataset.compressed, nullptr}};
  for (const Listing& listing : listings) {
    try {
      listFiles(listing.directory, listing.extension, listing.files, listing.skipped);
    } catch (const fs::filesystem_error& error) {
      return "cannot list " + listing.directory.string() + ": " + error.path1().string() + ": " +
             error.code().message();
    }
  }
  return "";
}

std::string compressedName(const std::string& originalName) {
  return originalName.substr(0, originalName.size() - std::string(".pcd").size());
}

std::vector<Pair> pairDataset(const Dataset& dataset) {
  const FileIndex compressed = indexByRelativeName(dataset.compressed, dataset.compressedDirectory);
  const FileIndex decoded = indexByRelativeName(dataset.decoded, dataset.decodedDirectory);
  std::vector<Pair> pairs;
  pairs.reserve(dataset.originals.size());
  for (const fs::path& original : dataset.originals) {
    Pair pair{&original, nullptr, nullptr, relativeName(original, dataset.originalsDirectory)};
    if (const auto found = compressed.find(compressedName(pair.name)); found != compressed.end())
      pair.compressed = &dataset.compressed[found->second];
    const auto found = decoded.find(pair.name);
    if (found != decoded.end() && original.filename() == dataset.decoded[found->second].filename())
      pair.decoded = &dataset.decoded[found->second];
    pairs.push_back(std::move(pair));
  }
  return pairs;
}
