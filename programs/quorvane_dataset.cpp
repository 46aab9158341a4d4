// quorvane-dataset: builds a quorvane/ dataset tree from a folder of PCD clouds with PCL's
// octree codec, so that quorvane-eval can measure how well the codec preserved them.

#include "command_line.h"
#include "dataset_building.h"
#include "diagnostics.h"
#include "file_listing.h"
#include "octree_codec.h"

#include <pcl/console/print.h>

#include <boost/filesystem.hpp>

#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;

struct Options {
  const CodecProfile* profile = &defaultCodecProfile();
  fs::path output = ".";
  bool help = false;
  bool listProfiles = false;
};

std::vector<CommandOption> optionTable(Options& options) {
  return {{"--profile", "", "NAME", "the codec profile (default: " + options.profile->name + ")",
           [&options](const std::string& value) {
             options.profile = findCodecProfile(value);
             return options.profile != nullptr;
           },
           "one of the profiles below"},
          {"--output", "", "DIR", "where quorvane/ is written (default: the current directory)",
           [&options](const std::string& value) {
             options.output = value;
             return !value.empty();
           },
           "a folder"},
          {"--list-profiles", "", "", "print the profiles' names, one a line",
           setFlag(options.listProfiles), ""},
          {"--help", "-h", "", "this text", setFlag(options.help), ""}};
}

void printUsage(std::ostream& stream, const std::vector<CommandOption>& table) {
  stream << "usage: quorvane-dataset [--profile NAME] [--output DIR] INPUT_DIR\n"
            "       quorvane-dataset --list-profiles\n\n"
            "Compresses every *.pcd below INPUT_DIR with PCL's octree codec and writes\n"
            "DIR/quorvane/pcd_binary_original, octree_compressed and octree_uncompressed,\n"
            "ready for quorvane-eval. DIR defaults to the current directory. A cloud without\n"
            "colour, and every decoded cloud of a profile without colour, is written without\n"
            "a colour field. Prints each cloud's sizes and the seconds spent encoding and\n"
            "decoding it, then the totals.\n\n";
  printOptions(stream, table);
  stream << "\nprofiles (resolution, online or offline, with or without colour):\n";
  for (const CodecProfile& profile : codecProfiles())
    stream << "  " << profile.name << (&profile == &defaultCodecProfile() ? "  (default)" : "")
           << "\n";
}

} // namespace

int main(int argc, char** argv) {
  setProgramName("quorvane-dataset");
  Options options;
  const std::vector<CommandOption> table = optionTable(options);
  const CommandLine line = parseCommandLine(argc, argv, table);
  std::string problem = line.problem;
  if (problem.empty() && !options.help && !options.listProfiles && line.positional.size() != 1)
    problem = "expected one INPUT_DIR";
  if (!problem.empty()) {
    printProblem(problem + " (see --help)");
    printUsage(std::cerr, table);
    return 2;
  }
  if (options.help) {
    printUsage(std::cout, table);
    return 0;
  }
  if (options.listProfiles) {
    for (const CodecProfile& profile : codecProfiles())
      std::cout << profile.name << "\n";
    return 0;
  }
  pcl::console::setVerbosityLevel(pcl::console::L_ERROR);
  const fs::path input = line.positional.front();
  boost::system::error_code error;
  if (!fs::is_directory(input, error)) {
    printProblem(input.string() + " is not a readable directory" +
                 (error ? ": " + error.message() : std::string()));
    return 1;
  }
  std::vector<fs::path> sources;
  std::vector<SkippedEntry> skipped;
  try {
    listFiles(input, ".pcd", sources, &skipped);
  } catch (const fs::filesystem_error& listingError) {
    printProblem("cannot list " + input.string() + ": " + listingError.path1().string() + ": " +
                 listingError.code().message());
    return 1;
  }
  Dataset dataset;
  problem = prepareDataset(input, options.output, dataset);
  if (!problem.empty()) {
    printProblem(problem);
    return 1;
  }

  bool succeeded = skipped.empty();
  for (const SkippedEntry& entry : skipped)
    printProblem("skipped " + printableName(entry.path.string()) + ": " + entry.reason);
  const SourceFiles sourceFiles = identitiesOf(sources);
  double encoding = 0.0, decoding = 0.0;
  std::size_t encoded = 0;
  for (const fs::path& source : sources) {
    const std::string name = relativeName(source, input);
    const BuiltPair built = buildPair(source, name, dataset, sourceFiles, options.profile->profile);
    if (!built.problem.empty()) {
      printProblem("skipped " + printableName(source.string()) + ": " + built.problem);
      succeeded = false;
      continue;
    }
    std::cout << name << ": " << built.originalPoints << " points in, " << built.decodedPoints
              << " out, " << built.compressedBytes << " bytes compressed, ratio "
              << static_cast<double>(built.compressedBytes) /
                     static_cast<double>(built.originalBytes)
              << ", encoded in " << built.encodingSeconds << " s, decoded in "
              << built.decodingSeconds << " s" << std::endl;
    ++encoded;
    encoding += built.encodingSeconds;
    decoding += built.decodingSeconds;
  }
  std::cout << "total: " << encoded << " clouds encoded in " << encoding << " s, decoded in "
            << decoding << " s" << std::endl;
  return succeeded ? 0 : 1;
}
