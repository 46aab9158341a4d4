#pragma once

#include "cli/command_line.h"
#include "evaluation/pc_error_report.h"

#include <string>
#include <vector>

// quorvane-metrics's settings: pc_error's, and where the JSON goes.
struct PcErrorSettings {
  PcErrorRun run;
  std::string json;
  // Many pairs: the list, the CSV the rows go to, and which part of the list this run takes.
  std::string pairs;
  std::string csv;
  unsigned part = 1;
  unsigned parts = 1;
  bool help = false;
};

// pc_error 0.14.1's options with its names, short forms and defaults, and --json. Values that
// this release does not measure yet (dropdups 0, lidar) are refused as bad values, with
// what is taken.
std::vector<CommandOption> pcErrorOptionTable(PcErrorSettings& settings);
