#include "common/csv_records.h"

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos)
    return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"')
      quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

bool readCsvRecord(std::istream& csv, std::vector<std::string>& fields, std::string& problem) {
  fields.clear();
  problem.clear();
  if (csv.peek() == std::char_traits<char>::eof())
    return false;
  std::string field;
  bool quoted = false; // inside a quoted field
  bool closed = false; // a quoted field's closing quote was read
  for (int c; (c = csv.get()) != std::char_traits<char>::eof();) {
    if (quoted) {
      if (c != '"') {
        field += static_cast<char>(c);
      } else if (csv.peek() == '"') {
        field += static_cast<char>(csv.get());
      } else {
        quoted = false;
        closed = true;
      }
      continue;
    }
    if (c == ',') {
      fields.push_back(field);
      field.clear();
      closed = false;
    } else if (c == '\n' || (c == '\r' && csv.peek() == '\n')) {
      if (c == '\r')
        csv.get();
      fields.push_back(field);
      return true;
    } else if (closed) {
      problem = "a quoted field is followed by more than a comma";
      return false;
    } else if (c == '"' && field.empty()) {
      quoted = true;
    } else {
      field += static_cast<char>(c);
    }
  }
  if (quoted) {
    problem = "a quoted field is never closed";
    return false;
  }
  fields.push_back(field);
  return true;
}
