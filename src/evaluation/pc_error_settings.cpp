#include "evaluation/pc_error_settings.h"

#include "metrics/peaks.h"

#include <cerrno>
#include <cstdlib>

namespace {

std::function<bool(const std::string&)> setText(std::string& target) {
  return [&target](const std::string& value) {
    target = value;
    return !value.empty();
  };
}

// An integer setting that takes only the values this release measures.
std::function<bool(const std::string&)> setMeasured(int& target, int measured) {
  return [&target, measured](const std::string& value) {
    if (value != std::to_string(measured))
      return false;
    target = measured;
    return true;
  };
}

} // namespace

std::vector<CommandOption> pcErrorOptionTable(PcErrorSettings& settings) {
  PcErrorRun& run = settings.run;
  return {
      {"--fileA", "-a", "FILE", "the original cloud, PLY or PCD", setText(run.fileA),
       "a file name"},
      {"--fileB", "-b", "FILE", "the decoded cloud, PLY or PCD", setText(run.fileB), "a file name"},
      {"--inputNorm", "-n", "FILE", "the original's normals, if not in its own file",
       setText(run.normals), "a file name"},
      {"--singlePass", "-s", kSwitchValue, "measure from the original to the decoded cloud only",
       setSwitch(run.singlePass), "0 or 1"},
      {"--hausdorff", "-d", kSwitchValue, "also the Hausdorff distances", setSwitch(run.hausdorff),
       "0 or 1"},
      {"--color", "-c", kSwitchValue, "also the colour errors", setSwitch(run.color), "0 or 1"},
      {"--lidar", "-l", kSwitchValue, "reflectance: not measured by this release",
       [&run](const std::string& value) {
         run.lidar = false;
         return value == "0";
       },
       "0 (reflectance is not measured yet)"},
      {"--resolution", "-r", "PEAK",
       "the peak of D1 and D2's PSNR: a number, vox10 ... vox20 (2^n - 1)\n"
       "or lidar-1mm (30000); default: pc_error's, the largest distance\n"
       "from an original point to its nearest other one",
       [&run](const std::string& value) {
         const std::optional<double> peak = parsePeak(value);
         run.resolution = peak.value_or(0.0);
         return peak.has_value();
       },
       kPeakForms},
      {"--dropdups", "", "2", "duplicate points are averaged (pc_error's 2)",
       setMeasured(run.dropDuplicates, 2), "2 (0 and 1 are not measured yet)"},
      {"--neighborsProc", "", "1", "tied neighbours' colours are averaged (pc_error's 1)",
       setMeasured(run.neighborsProc, 1), "1 (0, 2, 3 and 4 are not measured yet)"},
      {"--averageNormals", "", "1", "tied neighbours' normals are averaged (pc_error's 1)",
       [&run](const std::string& value) { return value == "1" && (run.averageNormals = true); },
       "1 (0 is not measured yet)"},
      {"--mseSpace", "", "1", "colours are compared in BT.709 Y'CbCr (pc_error's 1)",
       setMeasured(run.mseSpace, 1), "1 (0 and 8 are not measured yet)"},
      {"--nbThreads", "", "N",
       "threads (default: every hardware thread; the numbers are the same\n"
       "for every count)",
       [&run](const std::string& value) {
         char* end = nullptr;
         errno = 0;
         const long threads = std::strtol(value.c_str(), &end, 10);
         if (value.empty() || *end != '\0' || errno != 0 || threads < 1 || threads > 1024)
           return false;
         run.threads = static_cast<unsigned>(threads);
         return true;
       },
       "a whole number from 1 to 1024"},
      {"--json", "", "FILE", "also write every value to FILE as JSON", setText(settings.json),
       "a file name"},
      {"--help", "-h", "", "this text", setFlag(settings.help), ""}};
}
