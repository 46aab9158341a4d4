#include "dataset/file_listing.h"

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

void listFiles(const fs::path& directory, const std::optional<std::string>& extension,
               std::vector<fs::path>& files, std::vector<SkippedEntry>* skipped) {
  if (!fs::exists(directory) || !fs::is_directory(directory))
    return;
  const std::optional<fs::path> wanted =
      extension ? std::optional<fs::path>(*extension) : std::nullopt;
  boost::system::error_code error;
  fs::recursive_directory_iterator entry(directory, error);
  // A failure names the directory that could not be opened or read.
  fs::path reading = directory;
  for (const fs::recursive_directory_iterator end; !error && entry != end; entry.increment(error)) {
    const fs::path& path = entry->path();
    reading = path;
    // The iterator does not descend into a linked folder; it is only to be named.
    boost::system::error_code linkError;
    if (entry->symlink_status().type() == fs::symlink_file && fs::is_directory(path, linkError)) {
      if (skipped != nullptr)
        skipped->push_back({path, "a linked folder, not followed"});
      continue;
    }
    if (wanted && path.extension() != *wanted)
      continue;
    if (fs::is_regular_file(path))
      files.push_back(path);
    else if (skipped != nullptr && !fs::is_directory(path))
      skipped->push_back({path, "not a regular file"});
  }
  if (error)
    throw fs::filesystem_error("cannot list", reading, error);
}

std::string relativeName(const fs::path& file, const fs::path& directory) {
  const std::string text = file.string();
  const std::string prefix = directory.string();
  // The listing joins with one separator unless the directory already ends in one.
  const bool joined = !prefix.empty() && prefix.back() != fs::path::preferred_separator;
  return text.substr(std::min(text.size(), prefix.size() + (joined ? 1 : 0)));
}

FileIndex indexByRelativeName(const std::vector<fs::path>& files, const fs::path& directory) {
  FileIndex index;
  index.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i)
    index.emplace(relativeName(files[i], directory), i);
  return index;
}
