#include "file_listing.h"

#include <boost/filesystem/operations.hpp>

void listFiles(const boost::filesystem::path& directory, const std::string& extension,
               std::vector<boost::filesystem::path>& files) {
  namespace fs = boost::filesystem;
  if (!fs::exists(directory) || !fs::is_directory(directory))
    return;
  const fs::path wanted(extension);
  for (fs::recursive_directory_iterator entry(directory), end; entry != end; ++entry) {
    const fs::path& path = entry->path();
    if (fs::is_regular_file(path) && path.extension() == wanted)
      files.push_back(path);
  }
}
