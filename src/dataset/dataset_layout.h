#pragma once

#include "dataset/file_listing.h"

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <string>
#include <vector>

// A quorvane/ tree: the originals, the compressed files and the decoded clouds, each folder
// listed recursively.
struct Dataset {
  boost::filesystem::path originalsDirectory;
  boost::filesystem::path compressedDirectory;
  boost::filesystem::path decodedDirectory;
  std::vector<boost::filesystem::path> originals;
  std::vector<boost::filesystem::path> compressed;
  std::vector<boost::filesystem::path> decoded;
};

// The relative name of an original's compressed file: the original's without its last
// ".pcd", whatever other dots it holds.
std::string compressedName(const std::string& originalName);

// The three folders below root, not yet listed.
Dataset datasetBelow(const boost::filesystem::path& root);

// Lists the three folders: the originals and decoded clouds by ".pcd", every compressed file.
// What the originals' listing passes over goes to skipped. Returns the problem, naming the
// folder and the entry, when a folder cannot be listed.
std::string listDataset(Dataset& dataset, std::vector<SkippedEntry>& skipped);

// The files of one original, pointing into its dataset's lists.
struct Pair {
  const boost::filesystem::path* original;
  const boost::filesystem::path* compressed = nullptr;
  const boost::filesystem::path* decoded = nullptr;
  // The original's path below the originals' folder.
  std::string name;
};

// One pair for every original, in listing order. An original R pairs with the compressed file
// R without ".pcd" and with the decoded cloud R; the first of equal names wins.
std::vector<Pair> pairDataset(const Dataset& dataset);
