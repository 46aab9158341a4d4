#include "evaluation/pc_error_settings.h"

#include "metrics/peaks.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {

std::function<bool(const std::string&)> setText(std::string& target) {
  return [&target](const std::string& value) {
    target = value;
    return !value.empty();
  };
}

// An integer setting that takes one of the values given.
std::function<bool(const std::string&)> setOneOf(int& target, std::vector<int> values) {
  return [&target, values](const std::string& value) {
    for (const int allowed : values)
      if (value == std::to_string(allowed)) {
        target = allowed;
        return true;
      }
    return false;
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
      {"--lidar", "-l", kSwitchValue,
       "also the reflectance errors (PLY reflectance or refc, uint8 or\n"
       "uint16; PCD intensity or reflectance, whole numbers from 0 to 65535)",
       setSwitch(run.lidar), "0 or 1"},
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
      {"--dropdups", "", "0|1|2",
       "duplicate points are merged, their colours averaged (2, default) or\n"
       "the first's kept (1), or kept apart (0)",
       setOneOf(run.dropDuplicates, {0, 1, 2}), "0, 1 or 2"},
      {"--neighborsProc", "", "0..4",
       "the colour compared among tied neighbours: 0 the nearest's, 1 their\n"
       "mean (default), 2 their mean weighted by merged duplicates, 3 the\n"
       "closest colour, 4 the farthest",
       setOneOf(run.neighborsProc, {0, 1, 2, 3, 4}), "0, 1, 2, 3 or 4"},
      {"--averageNormals", "", "0|1",
       "1 (default): D2 averages over tied neighbours' normals; 0: the\n"
       "nearest's",
       [&run](const std::string& value) {
         if (value != "0" && value != "1")
           return false;
         run.averageNormals = value == "1";
         return true;
       },
       "0 or 1"},
      {"--mseSpace", "", "0|1|8",
       "colour space of the colour errors: 0 RGB, 1 BT.709 Y'CbCr (default),\n"
       "8 YCgCo-R",
       setOneOf(run.mseSpace, {0, 1, 8}), "0, 1 or 8"},
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
      {"--pairs", "", "LIST",
       "measure every pair of LIST, a CSV of original,decoded[,normals]\n"
       "lines, with the same options, several at a time, into --csv",
       setText(settings.pairs), "a file name"},
      {"--csv", "", "FILE", "the rows of --pairs: metrics.csv's columns with the file names",
       setText(settings.csv), "a file name"},
      {"--part", "", "K/N",
       "measure the K-th of N consecutive parts of LIST; part 1 alone writes\n"
       "the header, so the parts' CSV files put in order are the whole list's",
       [&settings](const std::string& value) {
         unsigned part = 0, parts = 0;
         char slash = 0;
         std::istringstream text(value);
         if (!(text >> part >> slash >> parts) || slash != '/' || !text.eof() || part < 1 ||
             parts < part || parts > 100000)
           return false;
         settings.part = part;
         settings.parts = parts;
         return true;
       },
       "K/N with 1 <= K <= N"},
      {"--help", "-h", "", "this text", setFlag(settings.help), ""}};
}
