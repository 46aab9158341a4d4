#include "support/pcd_test_files.h"

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
  const std::size_t compressedHeader = headerOf(compressed).size();

  std::string corruptUncompressedSize = compressed;
  corruptUncompressedSize[compressedHeader + 5] ^= 0x11;
  std::string corruptPayload = compressed;
  for (std::size_t i = compressedHeader + 8; i < corruptPayload.size(); i += 7)
    corruptPayload[i] = static_cast<char>(corruptPayload[i] ^ 0xff);
  const std::string oneByteShort = "the header promises 20 points of 16 bytes but the file holds "
                                   "319 bytes of data";

  return {
      {"zero bytes", "", "the file is empty"},
      {"plain text", "These are not the points you are looking for.\n",
       "unexpected header line 'These are not the points you are looking'"},
      {"git lfs pointer",
       "version https://git-lfs.github.com/spec/v1\n"
       "oid sha256:4d7a214614ab2935c943f9e0ff69d22eadbb8f32b1258daaa5e2ca24d17e2393\n"
       "size 146087\n",
       "a Git LFS pointer, not the cloud (run git lfs pull)"},
      {"absurd COUNT", withHeaderLine(binary, "COUNT", "COUNT 1 1 1 4000000000"),
       "COUNT entry '4000000000' is not a valid number"},
      {"absurd SIZE", withHeaderLine(binary, "SIZE", "SIZE 4 4 4 1000000000"),
       "SIZE entry '1000000000' is not a valid number"},
      {"negative WIDTH", withHeaderLine(binary, "WIDTH", "WIDTH -20"),
       "WIDTH is not a point count"},
      {"POINTS of a billion",
       withHeaderLine(withHeaderLine(binary, "WIDTH", "WIDTH 1000000000"), "POINTS",
                      "POINTS 1000000000"),
       "the header promises 1000000000 points of 16 bytes but the file holds 320 bytes of data"},
      {"ascii POINTS of a billion",
       withHeaderLine(withHeaderLine(ascii, "WIDTH", "WIDTH 1000000000"), "POINTS",
                      "POINTS 1000000000"),
       "the data holds 20 points where POINTS is 1000000000"},
      {"WIDTH x HEIGHT not POINTS", withHeaderLine(binary, "HEIGHT", "HEIGHT 2"),
       "WIDTH x HEIGHT (20 x 2) is not POINTS (20)"},
      {"binary one byte short", binary.substr(0, binary.size() - 1), oneByteShort},
      {"header without DATA", headerOf(binary).substr(0, headerOf(binary).find("DATA")),
       "the header ends before its DATA line"},
      {"corrupt uncompressed size prefix", corruptUncompressedSize,
       "the compressed data claims 4160 bytes where the header needs 320"},
      {"compressed data cut off", compressed.substr(0, compressedHeader + 4),
       "the compressed data has no size prefix"},
      {"compressed data one byte short", compressed.substr(0, compressed.size() - 1),
       "the compressed data claims " + std::to_string(compressed.size() - compressedHeader - 8) +
           " bytes but the file holds " + std::to_string(compressed.size() - compressedHeader - 9)},
      // A consistent header: only the reader's decompression can tell.
      {"corrupt compressed payload", corruptPayload, "PCL's reader failed"},
      {"fields without sizes", withHeaderLine(binary, "SIZE", "SIZE 4 4"),
       "SIZE has 2 entries for 4 fields"},
      {"unknown type", withHeaderLine(binary, "TYPE", "TYPE F F F Q"),
       "TYPE entry 'Q' does not fit SIZE 4"},
      {"repeated header line", withHeaderLine(binary, "HEIGHT", "HEIGHT 1\nHEIGHT 1"),
       "header line HEIGHT is repeated or out of order"},
      // The reader parses a first data line that starts like a header line as one.
      {"binary data that starts with COLUMNS",
       headerOf(binary) + "COLUMNS" + dataOf(binary).substr(7),
       "the data starts with a header line ('" + ("COLUMNS" + dataOf(binary).substr(7, 13)) + "')"},
      {"control character", withHeaderLine(binary, "FIELDS", "FIELDS x y z rgba\v"),
       "header line 3 holds a control character"},
      {"blank header line", withHeaderLine(binary, "VIEWPOINT", " "),
       "header line 9 holds only blanks"},
      {"coordinates as doubles",
       withHeaderLine(withHeaderLine(binary, "SIZE", "SIZE 8 8 8 4"), "TYPE", "TYPE F F F U"),
       "field 'x' is stored as F 8; coordinates must be single 4-byte floats (F 4)"},
      {"coordinates as integers", withHeaderLine(binary, "TYPE", "TYPE F I F U"),
       "field 'y' is stored as I 4; coordinates must be single 4-byte floats (F 4)"},
      {"z of two values", withHeaderLine(binary, "COUNT", "COUNT 1 1 2 1"),
       "field 'z' is stored as F 4 x 2; coordinates must be single 4-byte floats (F 4)"},
      {"no z field", withHeaderLine(binary, "FIELDS", "FIELDS x y depth rgba"),
       "the cloud has no field 'z'"},
      {"rgba as a float", withHeaderLine(binary, "TYPE", "TYPE F F F F"),
       "colour field 'rgba' is stored as F 4; colours must be packed in 4 bytes (rgb as F 4 or U "
       "4, rgba as U 4)"},
  };
}

std::string pcdHeaderOnly(std::uint64_t points) {
  return "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH " +
         std::to_string(points) + "\nHEIGHT 1\nPOINTS " + std::to_string(points) +
         "\nDATA binary\n";
}
