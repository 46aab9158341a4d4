#pragma once

#include <istream>
#include <string>
#include <vector>

// CSV as RFC 4180 writes it: fields separated by commas, records by CRLF or LF, a field in
// double quotes holding commas, quotes (doubled) and line breaks.

// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);

// Reads the next record's fields; false at the end of the input, or with the problem set when
// a quoted field is never closed or is followed by more than a separator.
bool readCsvRecord(std::istream& csv, std::vector<std::string>& fields, std::string& problem);
