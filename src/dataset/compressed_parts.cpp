#include "dataset/compressed_parts.h"

#include "common/csv_records.h"

#include <boost/filesystem/fstream.hpp>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

std::optional<std::uint64_t> countOf(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  errno = 0;
  const unsigned long long count = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0)
    return std::nullopt;
  return count;
}

} // namespace

CompressedPartsTable readCompressedParts(const boost::filesystem::path& file) {
  CompressedPartsTable table;
  boost::filesystem::ifstream csv(file, std::ios::binary);
  std::vector<std::string> fields;
  std::string problem;
  while (readCsvRecord(csv, fields, problem)) {
    if (fields.size() != 4)
      continue;
    const auto all = countOf(fields[1]), geometry = countOf(fields[2]), color = countOf(fields[3]);
    if (all && geometry && color && *geometry + *color == *all && *color <= *all)
      table[fields[0]] = CompressedParts{*all, *color};
  }
  return table;
}

bool writeCompressedParts(const boost::filesystem::path& file, const CompressedPartsTable& table) {
  boost::filesystem::ofstream csv(file, std::ios::binary | std::ios::trunc);
  csv << "file,compressed_bytes,geometry_bytes,colour_bytes\n";
  for (const auto& [name, parts] : table)
    csv << csvField(name) << ',' << parts.compressedBytes << ','
        << parts.compressedBytes - parts.colorBytes << ',' << parts.colorBytes << '\n';
  return static_cast<bool>(csv.flush());
}

const CompressedParts* compressedPartsOf(const CompressedPartsTable& table, const std::string& name,
                                         std::uint64_t compressedBytes) {
  const auto found = table.find(name);
  if (found == table.end() || found->second.compressedBytes != compressedBytes)
    return nullptr;
  return &found->second;
}
