#include "pcd_test_files.h"

#include <stdexcept>

std::string validPcdText(PcdStorage storage) {
  TempDirectory directory;
  const auto file = directory.path / "valid.pcd";
  writeCloud(file, *randomCloud(20, 3), storage);
  return readTextFile(file);
}

std::string withHeaderLine(std::string text, const std::string& keyword, const std::string& line) {
  const auto start = text.find("\n" + keyword + " ");
  if (start == std::string::npos)
    throw std::invalid_argument("no header line " + keyword);
  const auto end = text.find('\n', start + 1);
  return text.replace(start + 1, end - start - 1, line);
}

namespace {

std::string dataOf(const std::string& text) {
  const auto dataLine = text.find("\nDATA ");
  return text.substr(text.find('\n', dataLine + 1) + 1);
}

std::string headerOf(const std::string& text) {
  return text.substr(0, text.size() - dataOf(text).size());
}

} // namespace

std::vector<DamagedPcd> damagedPcdFiles() {
  const std::string binary = validPcdText(PcdStorage::Binary);
  const std::string compressed = validPcdText(PcdStorage::BinaryCompressed);
  const std::string ascii = validPcdText(PcdStorage::Ascii);

  std::string corruptPrefix = compressed;
  corruptPrefix[headerOf(compressed).size() + 1] ^= 0x5a;
  std::string corruptUncompressedSize = compressed;
  corruptUncompressedSize[headerOf(compressed).size() + 6] ^= 0x11;
  std::string corruptPayload = compressed;
  for (std::size_t i = headerOf(compressed).size() + 8; i < corruptPayload.size(); i += 7)
    corruptPayload[i] = static_cast<char>(corruptPayload[i] ^ 0xff);

  return {
      {"zero bytes", ""},
      {"plain text", "These are not the points you are looking for.\n"},
      {"git lfs pointer",
       "version https://git-lfs.github.com/spec/v1\n"
       "oid sha256:4d7a214614ab2935c943f9e0ff69d22eadbb8f32b1258daaa5e2ca24d17e2393\n"
       "size 146087\n"},
      {"absurd COUNT", withHeaderLine(binary, "COUNT", "COUNT 1 1 1 4000000000")},
      {"absurd SIZE", withHeaderLine(binary, "SIZE", "SIZE 4 4 4 1000000000")},
      {"negative WIDTH", withHeaderLine(binary, "WIDTH", "WIDTH -20")},
      {"POINTS of a billion", withHeaderLine(withHeaderLine(binary, "WIDTH", "WIDTH 1000000000"),
                                             "POINTS", "POINTS 1000000000")},
      {"ascii POINTS of a billion",
       withHeaderLine(withHeaderLine(ascii, "WIDTH", "WIDTH 1000000000"), "POINTS",
                      "POINTS 1000000000")},
      {"WIDTH x HEIGHT not POINTS", withHeaderLine(binary, "HEIGHT", "HEIGHT 2")},
      {"truncated binary", binary.substr(0, binary.size() - 100)},
      {"header without DATA", headerOf(binary).substr(0, headerOf(binary).find("DATA"))},
      {"corrupt compressed size prefix", corruptPrefix},
      {"corrupt uncompressed size prefix", corruptUncompressedSize},
      {"compressed data cut off", compressed.substr(0, headerOf(compressed).size() + 4)},
      {"corrupt compressed payload", corruptPayload},
      {"fields without sizes", withHeaderLine(binary, "SIZE", "SIZE 4 4")},
      {"unknown type", withHeaderLine(binary, "TYPE", "TYPE F F F Q")},
      // The reader parses a first data line that starts like a header line as one.
      {"binary data that starts with COLUMNS",
       headerOf(binary) + "COLUMNS" + dataOf(binary).substr(7)},
      {"trailing blank", withHeaderLine(binary, "SIZE", "SIZE 4 4 4 4 ")},
      {"windows line ends", withHeaderLine(binary, "FIELDS", "FIELDS x y z rgba\r")},
      {"blank header line", withHeaderLine(binary, "VIEWPOINT", " ")},
  };
}
