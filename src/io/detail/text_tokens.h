#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The text pieces that the PCD and PLY readers share: header bounds, tokens and numbers.

// A header longer than this is no real cloud's; the bound keeps allocations sane.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;

// PCL's PCD reader splits lines at spaces, tabs and carriage returns only.
constexpr const char* kPcdSeparators = " \t\r";
// PLY headers and ascii data split at any white space, as a stream's extraction does.
constexpr const char* kWhiteSpace = " \t\n\v\f\r";

// The non-empty runs of a line between separators.
std::vector<std::string> splitTokens(const std::string& line, const char* separators);

// A plain decimal number: an optional sign, digits, and for a non-integer an optional fraction
// and exponent; none of the hexadecimal, inf or nan forms. The token is not empty.
bool isDecimalNumber(const std::string& token, bool integer);

// inf, infinity or nan in any case, with an optional sign.
bool isInfinityOrNan(const std::string& token);
