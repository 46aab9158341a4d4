#include "io/pcd_file_check.h"

#include "io/detail/pcd_data_check.h"
#include "io/detail/pcd_fields.h"
#include "io/detail/pcd_header.h"

#include <boost/filesystem.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

namespace {

PcdFileCheck failedCheck(std::string problem) {
  PcdFileCheck check;
  check.problem = std::move(problem);
  return check;
}

} // namespace

PcdFileCheck checkPcdFile(const std::string& path) {
  boost::system::error_code error;
  if (!boost::filesystem::is_regular_file(path, error))
    return failedCheck(error ? "cannot be read: " + error.message() : "is not a regular file");
  const std::uint64_t fileSize = boost::filesystem::file_size(path, error);
  if (error)
    return failedCheck("cannot be read: " + error.message());
  if (fileSize == 0)
    return failedCheck("the file is empty");
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return failedCheck(std::string("cannot be opened: ") + std::strerror(errno));

  PcdHeader header;
  std::string problem = readPcdHeader(file, header);
  if (problem.empty())
    problem = checkMappedFields(header);
  if (problem.empty())
    problem = checkData(file, header, fileSize);
  if (!problem.empty())
    return failedCheck(problem);
  PcdFileCheck check;
  check.points = header.points;
  check.hasColor = hasMappedColor(header);
  check.hasNormals = hasFloatNormals(header);
  for (const char* name : {"reflectance", "intensity"})
    for (const PcdField& field : header.fields)
      if (field.name == name)
        check.reflectanceField = name;
  if (header.dataFormat != "ascii")
    check.binaryLayout = binaryLayoutOf(header);
  return check;
}

std::optional<std::uint64_t> readPointCount(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  PcdHeader header;
  if (!file || !readPcdHeader(file, header).empty())
    return std::nullopt;
  return header.points;
}
