#pragma once

#include "io/detail/pcd_header.h"

#include <cstdint>
#include <istream>
#include <string>

// The checks of a PCD file's data against its header: that it fits in the file, that every
// ascii line holds one value of each field's type, that a compressed body's size prefix is
// sane, and that binary data does not start like a header line.
std::string checkData(std::istream& file, const PcdHeader& header, std::uint64_t fileSize);
