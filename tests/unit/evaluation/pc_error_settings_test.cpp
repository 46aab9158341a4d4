#include "evaluation/pc_error_settings.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
  PcErrorSettings settings;
  CommandLine line;
};

Parsed parse(std::vector<std::string> arguments) {
  Parsed parsed;
  const std::vector<CommandOption> table = pcErrorOptionTable(parsed.settings);
  arguments.insert(arguments.begin(), "quorvane-metrics");
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  parsed.line = parseCommandLine(static_cast<int>(argv.size()), argv.data(), table);
  return parsed;
}

} // namespace

// The spellings that scripts calling pc_error write, each to the same settings.
TEST(PcErrorOptionTable, TakesEverySpellingThatScriptsWrite) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"-a", "A.ply", "-b", "B.ply", "-c", "-d", "-r", "1023"},
           {"--fileA=A.ply", "--fileB=B.ply", "--color=1", "--hausdorff", "--resolution=1023"},
           {"--fileA", "A.ply", "--fileB", "B.ply", "--color", "1", "--hausdorff", "1", "-r",
            "vox10"},
           {"-a", "A.ply", "-c", "1", "-b", "B.ply", "-d", "--resolution", "1023"}}) {
    const Parsed parsed = parse(arguments);
    ASSERT_EQ(parsed.line.problem, "") << arguments[0];
    EXPECT_TRUE(parsed.line.positional.empty());
    EXPECT_EQ(parsed.settings.run.fileA, "A.ply");
    EXPECT_EQ(parsed.settings.run.fileB, "B.ply");
    EXPECT_TRUE(parsed.settings.run.color);
    EXPECT_TRUE(parsed.settings.run.hausdorff);
    EXPECT_FALSE(parsed.settings.run.singlePass);
    EXPECT_EQ(parsed.settings.run.resolution, 1023.0);
  }
  // A switch takes the next word only when it is 0 or 1; =0 turns it off.
  Parsed parsed = parse({"-c", "0", "--hausdorff=0", "-s", "B.ply"});
  EXPECT_FALSE(parsed.settings.run.color);
  EXPECT_FALSE(parsed.settings.run.hausdorff);
  EXPECT_TRUE(parsed.settings.run.singlePass);
  EXPECT_EQ(parsed.line.positional, std::vector<std::string>{"B.ply"});
  EXPECT_EQ(parse({"-r", "lidar-1mm"}).settings.run.resolution, 30000.0);
  EXPECT_EQ(parse({"--nbThreads=3"}).settings.run.threads, 3u);
}

TEST(PcErrorOptionTable, RefusesBadValuesWithWhatItTakes) {
  EXPECT_EQ(parse({"--color=2"}).line.problem, "--color takes 0 or 1, not '2'");
  EXPECT_EQ(parse({"-r", "0"}).line.problem,
            "--resolution takes a number above 0, vox10 ... vox20 or lidar-1mm, not '0'");
  EXPECT_EQ(parse({"-r", "vox9"}).line.problem,
            "--resolution takes a number above 0, vox10 ... vox20 or lidar-1mm, not 'vox9'");
  EXPECT_EQ(parse({"--dropdups=3"}).line.problem, "--dropdups takes 0, 1 or 2, not '3'");
  EXPECT_EQ(parse({"--dropdups", "0"}).settings.run.dropDuplicates, 0);
  EXPECT_EQ(parse({"--nbThreads", "0"}).line.problem,
            "--nbThreads takes a whole number from 1 to 1024, not '0'");
  EXPECT_EQ(parse({"--colour"}).line.problem, "unknown option --colour");
  EXPECT_EQ(parse({"--dropdups=2", "--neighborsProc=1", "--averageNormals=1", "--mseSpace=1"})
                .line.problem,
            "");
}
