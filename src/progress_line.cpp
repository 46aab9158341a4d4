#include "progress_line.h"

#include <unistd.h>

std::string printableName(const std::string& name) {
  std::string printable;
  printable.reserve(name.size());
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code != 0x7f) {
      printable += c;
    } else if (c == '\n') {
      printable += "\\n";
    } else if (c == '\r') {
      printable += "\\r";
    } else if (c == '\t') {
      printable += "\\t";
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", code);
      printable += escape;
    }
  }
  return printable;
}

ProgressLine progressLineOn(std::FILE* stream) {
  ProgressLine progress;
  if (::isatty(::fileno(stream)) == 1)
    progress.stream = stream;
  return progress;
}

void showProgress(const ProgressLine& progress, const char* program, std::size_t index,
                  std::size_t count, const std::string& name) {
  if (progress.stream == nullptr)
    return;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - progress.start;
  std::fprintf(progress.stream, "\r\033[K%s: cloud %zu of %zu, %s, %.1f s", program, index + 1,
               count, printableName(name).c_str(), elapsed.count());
  std::fflush(progress.stream);
}

void clearProgress(const ProgressLine& progress) {
  if (progress.stream == nullptr)
    return;
  std::fputs("\r\033[K", progress.stream);
  std::fflush(progress.stream);
}
