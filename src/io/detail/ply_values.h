#pragma once

#include "io/detail/ply_header.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <istream>
#include <string>
#include <vector>

// PLY's scalar values as the data holds them: a token of ascii data, the bytes of binary data in
// either byte order, and binary data read a piece at a time.

// A value as the property's type holds it: floats rounded once, from the text, to single
// precision, doubles to double; integers exactly. False when the token is not such a value.
bool parseValue(const std::string& token, PlyType type, double& value);

// A binary value of the type from its bytes in the file's order (swap when it is not the
// machine's).
double binaryValue(const unsigned char* bytes, PlyType type, bool swap);

// Reads binary data a piece at a time through one buffer.
class BinaryInput {
public:
  explicit BinaryInput(std::istream& file) : file_(file) {}

  // The next bytes, or null when the file ends first.
  const unsigned char* next(std::size_t bytes) {
    if (end_ - start_ < bytes) {
      std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
      if (buffer_.size() < bytes)
        buffer_.resize(std::max<std::size_t>(bytes, kBlockBytes));
      file_.read(reinterpret_cast<char*>(buffer_.data() + end_),
                 static_cast<std::streamsize>(buffer_.size() - end_));
      end_ += static_cast<std::size_t>(file_.gcount());
      if (end_ < bytes)
        return nullptr;
    }
    const unsigned char* bytesRead = buffer_.data() + start_;
    start_ += bytes;
    return bytesRead;
  }

private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 18;
  std::istream& file_;
  std::vector<unsigned char> buffer_ = std::vector<unsigned char>(kBlockBytes);
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};
