#include "cli/progress_line.h"

#include "cli/diagnostics.h"

#include <unistd.h>

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
