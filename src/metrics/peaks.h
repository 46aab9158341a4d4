#pragma once

#include <optional>
#include <string>

// The peak of a PSNR as a command line gives it: a finite number above 0, or a name from MPEG's
// common test conditions: vox10 ... vox20 for voxelized content of that many bits (2^n - 1,
// 1023 for vox10), lidar-1mm for LiDAR and fused scenes at 1 mm (30000). None for anything else.
std::optional<double> parsePeak(const std::string& text);

// What parsePeak takes, for messages and help texts.
constexpr const char* kPeakForms = "a number above 0, vox10 ... vox20 or lidar-1mm";
