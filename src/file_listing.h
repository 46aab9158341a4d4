#pragma once

#include <boost/filesystem/path.hpp>

#include <string>
#include <vector>

// Appends every regular file below directory, at any depth, whose extension equals
// extension (".pcd", or "" for names without a dot), in enumeration order. A missing
// directory adds nothing; other file-system failures throw boost::filesystem::filesystem_error.
void listFiles(const boost::filesystem::path& directory, const std::string& extension,
               std::vector<boost::filesystem::path>& files);
