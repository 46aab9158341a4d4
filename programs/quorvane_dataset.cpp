// quorvane-dataset: builds a quorvane/ dataset tree from a folder of clouds with PCL's octree
// codec or Google's Draco, so that quorvane-eval can measure how well the codec kept them.

#include "cli/command_line.h"
#include "cli/diagnostics.h"
#include "codecs/codec_profiles.h"
#include "dataset/compressed_parts.h"
#include "dataset/dataset_building.h"
#include "dataset/file_listing.h"

#include <pcl/console/print.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;

struct Options {
  const CodecProfile* profile = nullptr;
  const Codec* codec = nullptr;
  int dracoSpeed = kDefaultDracoSpeed;
  fs::path output = ".";
  bool help = false;
  bool listProfiles = false;
  bool sequences = false;
  Codec chosenCodec = Codec::Octree;
};

bool takeWholeNumber(const std::string& value, int lowest, int highest, int& number) {
  if (value.empty() || value.size() > 2 ||
      value.find_first_not_of("0123456789") != std::string::npos)
    return false;
  number = std::stoi(value);
  return number >= lowest && number <= highest;
}

std::vector<CommandOption> optionTable(Options& options) {
  return {{"--codec", "", "NAME",
           "octree (PCL's octree codec) or draco (Google's Draco); its default profile is\n" +
               defaultCodecProfile(Codec::Octree).name + " or " +
               defaultCodecProfile(Codec::Draco).name + " (default: octree)",
           [&options](const std::string& value) {
             for (Codec codec : {Codec::Octree, Codec::Draco})
               if (value == codecName(codec)) {
                 options.chosenCodec = codec;
                 options.codec = &options.chosenCodec;
                 return true;
               }
             return false;
           },
           "octree or draco"},
          {"--profile", "", "NAME", "the codec profile (default: the codec's default)",
           [&options](const std::string& value) {
             options.profile = findCodecProfile(value);
             return options.profile != nullptr;
           },
           "one of the profiles below"},
          {"--draco-speed", "", "N",
           "Draco's encoder and decoder speed, 0 (smallest) to 10 (fastest)\n(default: " +
               std::to_string(kDefaultDracoSpeed) + ")",
           [&options](const std::string& value) {
             return takeWholeNumber(value, 0, 10, options.dracoSpeed);
           },
           "a whole number from 0 to 10"},
          {"--output", "", "DIR", "where quorvane/ is written (default: the current directory)",
           [&options](const std::string& value) {
             options.output = value;
             return !value.empty();
           },
           "a folder"},
          {"--sequences", "", "",
           "every folder of INPUT_DIR that holds clouds is a sequence: its clouds are\n"
           "coded in name order through one encoder and one decoder, so that PCL's\n"
           "octree codec codes frames against the one before (I-frames as often as\n"
           "the profile says); Draco, which has no inter-frame coding, codes each\n"
           "frame alone",
           setFlag(options.sequences), ""},
          {"--list-profiles", "", "", "print the profiles' names, one a line",
           setFlag(options.listProfiles), ""},
          {"--help", "-h", "", "this text", setFlag(options.help), ""}};
}

// The synopsis and what the program does, printed before its options.
const std::string kUsage =
    "usage: quorvane-dataset [--codec NAME] [--profile NAME] [--output DIR] INPUT_DIR\n"
    "       quorvane-dataset --list-profiles\n\n"
    "Compresses every *.pcd and *.ply cloud below INPUT_DIR with PCL's octree codec or\n"
    "Draco and writes DIR/quorvane/pcd_binary_original (binary PCD, with the cloud's\n"
    "colour and normals), octree_compressed (the codec's stream) and octree_uncompressed\n"
    "(the decoded cloud), ready for quorvane-eval. DIR defaults to the current\n"
    "directory. A cloud without colour, and every decoded cloud of a profile without\n"
    "colour, is written without a colour field. Prints each cloud's sizes and the\n"
    "seconds spent encoding and decoding it, then the totals. DIR/quorvane/" +
    std::string(kCompressedPartsName) +
    "\n"
    "gives the bytes of each compressed file that code geometry and colour.\n\n";

// The profiles, printed after the options.
std::string profilesText() {
  std::string text =
      "\nprofiles, in families (a family is one rate-distortion curve: the profile's name\n"
      "without its rate point, low/med/high or dB/qB):\n"
      "  fixed-*: PCL's octree profiles, low, medium and high resolution, online or\n"
      "    offline, with or without colour\n"
      "  octree-offline-*-dB: PCL's octree codec keeping one point a voxel, the voxel's\n"
      "    side the largest side of the cloud's bounding box over 2^B, colour in 8 bits\n"
      "  draco-*-qB: Draco, positions quantised to B bits over the bounding box, colour\n"
      "    in 8 bits\n";
  for (const CodecProfile& profile : codecProfiles())
    text += "  " + profile.name +
            (&profile == &defaultCodecProfile(profile.codec) ? "  (default)" : "") + "\n";
  return text;
}

} // namespace

int main(int argc, char** argv) {
  setProgramName("quorvane-dataset");
  Options options;
  const std::vector<CommandOption> table = optionTable(options);
  CommandLine line;
  const auto check = [&options](const CommandLine& parsed) -> std::string {
    if (!options.help && !options.listProfiles && parsed.positional.size() != 1)
      return "expected one INPUT_DIR";
    if (options.codec != nullptr && options.profile != nullptr &&
        options.profile->codec != *options.codec)
      return "profile " + options.profile->name + " is one of " +
             codecName(options.profile->codec) + "'s, not " + codecName(*options.codec) + "'s";
    return "";
  };
  if (const auto status =
          readCommandLine(argc, argv, {kUsage, table, profilesText()}, options.help, check, line))
    return *status;
  if (options.listProfiles) {
    for (const CodecProfile& profile : codecProfiles())
      std::cout << profile.name << "\n";
    return 0;
  }
  const CodecProfile& profile =
      options.profile != nullptr ? *options.profile : defaultCodecProfile(options.chosenCodec);
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
    listSourceClouds(input, sources, skipped);
  } catch (const fs::filesystem_error& listingError) {
    printProblem("cannot list " + input.string() + ": " + listingError.path1().string() + ": " +
                 listingError.code().message());
    return 1;
  }
  // A sequence's frames go through its coders in name order.
  if (options.sequences)
    std::sort(sources.begin(), sources.end());
  Dataset dataset;
  std::string problem = prepareDataset(input, options.output, dataset);
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
  std::set<std::string> names;
  const fs::path partsFile = dataset.originalsDirectory.parent_path() / kCompressedPartsName;
  CompressedPartsTable parts = readCompressedParts(partsFile);
  // A sequence's coders, by its folder.
  std::map<fs::path, OctreeStream> streams;
  for (const fs::path& source : sources) {
    const std::string name = datasetName(source, input);
    if (!names.insert(name).second) {
      printProblem("skipped " + printableName(source.string()) + ": another cloud of the input " +
                   "is written as " + printableName(name) + " already");
      succeeded = false;
      continue;
    }
    OctreeStream* stream = options.sequences ? &streams[source.parent_path()] : nullptr;
    const BuiltPair built =
        buildPair(source, name, dataset, sourceFiles, profile, options.dracoSpeed, stream);
    parts.erase(name);
    if (!built.problem.empty()) {
      printProblem("skipped " + printableName(source.string()) + ": " + built.problem);
      succeeded = false;
      continue;
    }
    if (built.colorBytes)
      parts[name] = CompressedParts{built.compressedBytes, *built.colorBytes};
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
  if (!writeCompressedParts(partsFile, parts)) {
    printProblem("cannot write " + printableName(partsFile.string()));
    succeeded = false;
  }
  std::cout << "total: " << encoded << " clouds encoded in " << encoding << " s, decoded in "
            << decoding << " s" << std::endl;
  return succeeded ? 0 : 1;
}
