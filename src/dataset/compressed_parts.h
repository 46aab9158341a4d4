#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <map>
#include <string>

// How each compressed file of a tree divides between geometry and colour, as its codec counted
// the bytes: quorvane-dataset writes it beside the tree's folders, quorvane-eval reads it for the
// rate of each part.

// The table's file below a tree's root.
constexpr const char* kCompressedPartsName = "compressed_parts.csv";

// One compressed file's bytes: all of them, and those that code the colours; the rest code the
// geometry and the stream's headers.
struct CompressedParts {
  std::uint64_t compressedBytes = 0;
  std::uint64_t colorBytes = 0;
};

// By the original's name below the originals' folder.
using CompressedPartsTable = std::map<std::string, CompressedParts>;

// The table in a file of "file,compressed_bytes,geometry_bytes,colour_bytes" records; records
// that are not of that form are passed over, and a missing or unreadable file gives none.
CompressedPartsTable readCompressedParts(const boost::filesystem::path& file);

// Writes the table, by name; false when the file cannot be written.
bool writeCompressedParts(const boost::filesystem::path& file, const CompressedPartsTable& table);

// The parts of a compressed file of this size, when the table knows them for that size (a file
// written since by another codec is not the one the table describes).
const CompressedParts* compressedPartsOf(const CompressedPartsTable& table, const std::string& name,
                                         std::uint64_t compressedBytes);
