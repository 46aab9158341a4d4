#pragma once

#include <boost/filesystem/path.hpp>

#include <string>
#include <unordered_map>
#include <vector>

// Appends every regular file below directory, at any depth, whose extension equals
// extension (".pcd", or "" for names without a dot), in enumeration order. Entries with the
// extension that are neither regular files nor directories (FIFOs, devices, broken links) go
// to unlisted when it is given. A missing directory adds nothing; other file-system failures
// throw boost::filesystem::filesystem_error naming the entry that could not be read.
void listFiles(const boost::filesystem::path& directory, const std::string& extension,
               std::vector<boost::filesystem::path>& files,
               std::vector<boost::filesystem::path>* unlisted = nullptr);

// The path of a listed file below the directory it was listed from, as a string.
std::string relativeName(const boost::filesystem::path& file,
                         const boost::filesystem::path& directory);

// The relative name of an original's compressed file: the original's without ".pcd".
std::string compressedName(const std::string& originalName);

// The position of the first file of each relative name.
using FileIndex = std::unordered_map<std::string, std::size_t>;
FileIndex indexByRelativeName(const std::vector<boost::filesystem::path>& files,
                              const boost::filesystem::path& directory);
