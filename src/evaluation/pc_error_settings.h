#pragma once

#include "cli/command_line.h"
#include "evaluation/pc_error_report.h"

#include <string>
#include <vector>

// quorvane-metrics's settings: pc_error's, and where the JSON goes.
struct PcErrorSettings {
  PcErrorRun run;
  std::string json;
  bool help = false;
};

// pc_error 0.14.1's options with its names, short forms and defaults, and --json. Values that
// this release does not measure yet (dropdups 0 and 1, lidar) are refused as bad values, with
// what is taken.
std::vector<CommandOption> pcErrorOptionTable(PcErrorSettings& settings);
