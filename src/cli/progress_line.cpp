#include "cli/progress_line.h"

#include "cli/diagnostics.h"

#include <cmath>

#include <unistd.h>

ProgressLine progressLineOn(std::FILE* stream) {
  ProgressLine progress;
  if (::isatty(::fileno(stream)) == 1)
    progress.stream = stream;
  return progress;
}

namespace {

// A count of points as people read it: 950, 12.3 k, 4.56 M.
std::string pointCount(std::uint64_t points) {
  char text[32];
  if (points < 10000)
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(points));
  else if (points < 1000000)
    std::snprintf(text, sizeof text, "%.1f k", static_cast<double>(points) / 1e3);
  else
    std::snprintf(text, sizeof text, "%.2f M", static_cast<double>(points) / 1e6);
  return text;
}

std::string duration(double seconds) {
  char text[32];
  if (seconds < 60.0)
    std::snprintf(text, sizeof text, "%.0f s", seconds);
  else if (seconds < 3600.0)
    std::snprintf(text, sizeof text, "%.0f min %.0f s", std::floor(seconds / 60.0),
                  std::fmod(std::floor(seconds), 60.0));
  else
    std::snprintf(text, sizeof text, "%.0f h %.0f min", std::floor(seconds / 3600.0),
                  std::floor(std::fmod(seconds, 3600.0) / 60.0));
  return text;
}

} // namespace

std::string progressText(const char* program, std::size_t index, const ProgressCounts& counts,
                         const std::string& name, double seconds, const ProgressStage& stage) {
  std::string text = std::string(program) + ": cloud " + std::to_string(index + 1) + " of " +
                     std::to_string(counts.clouds) + ", " + printableName(name);
  if (counts.points > 0)
    text +=
        ", " + pointCount(counts.pointsDone) + " of " + pointCount(counts.points) + " points done";
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, ", %.1f s", seconds);
  text += elapsed;
  if (counts.pointsDone > 0 && counts.points > counts.pointsDone)
    text += ", about " +
            duration(seconds * static_cast<double>(counts.points - counts.pointsDone) /
                     static_cast<double>(counts.pointsDone)) +
            " left";
  if (stage.name != nullptr)
    text += ", " + std::string(stage.name) + " (" + std::to_string(stage.number) + " of " +
            std::to_string(stage.stages) + ")";
  return text;
}

void showProgress(const ProgressLine& progress, const char* program, std::size_t index,
                  const ProgressCounts& counts, const std::string& name,
                  const ProgressStage& stage) {
  if (progress.stream == nullptr)
    return;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - progress.start;
  std::fprintf(progress.stream, "\r\033[K%s",
               progressText(program, index, counts, name, elapsed.count(), stage).c_str());
  std::fflush(progress.stream);
}

void clearProgress(const ProgressLine& progress) {
  if (progress.stream == nullptr)
    return;
  std::fputs("\r\033[K", progress.stream);
  std::fflush(progress.stream);
}
