#pragma once

#include <boost/filesystem/path.hpp>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// An entry that a listing passes over, and why.
struct SkippedEntry {
  boost::filesystem::path path;
  std::string reason;
};

// Appends every regular file below directory, at any depth, whose extension equals
// extension (".pcd", or "" for names without a dot), or every regular file when extension is
// none, in enumeration order. A link to a folder is not followed (it can loop, or reach one
// folder twice). When skipped is given, it receives such links and the entries with the
// extension that are neither regular files nor folders (FIFOs, devices, broken links). A
// missing directory adds nothing; other file-system failures throw
// boost::filesystem::filesystem_error naming the entry that could not be read.
void listFiles(const boost::filesystem::path& directory,
               const std::optional<std::string>& extension,
               std::vector<boost::filesystem::path>& files,
               std::vector<SkippedEntry>* skipped = nullptr);

// The path of a listed file below the directory it was listed from, as a string.
std::string relativeName(const boost::filesystem::path& file,
                         const boost::filesystem::path& directory);

// The position of the first file of each relative name.
using FileIndex = std::unordered_map<std::string, std::size_t>;
FileIndex indexByRelativeName(const std::vector<boost::filesystem::path>& files,
                              const boost::filesystem::path& directory);
