#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The line on a terminal that tells which cloud a run is at; never shown on a file or a pipe,
// so that logs stay as they are.
struct ProgressLine {
  std::FILE* stream = nullptr; // null when not shown
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// A progress line on stream when it is a terminal.
ProgressLine progressLineOn(std::FILE* stream);

// How far a run is: the clouds written of all, and the original points of those of all.
struct ProgressCounts {
  std::size_t cloudsDone = 0;
  std::size_t clouds = 0;
  std::uint64_t pointsDone = 0;
  std::uint64_t points = 0;
};

// The stage a large cloud's comparison is at: its name, its number from 1 and how many there are.
struct ProgressStage {
  const char* name = nullptr; // none shown when null
  int number = 0;
  int stages = 0;
};

// "PROGRAM: cloud K of N, NAME, S s", K counted from 1, S since the start; with the points
// known, ", P of T points done" before the time, and once some are done an estimate of the time
// left from the rate so far, ", about L left"; with a stage, ", STAGE (k of n)" last.
std::string progressText(const char* program, std::size_t index, const ProgressCounts& counts,
                         const std::string& name, double seconds,
                         const ProgressStage& stage = ProgressStage());

// Draws progressText on the line.
void showProgress(const ProgressLine& progress, const char* program, std::size_t index,
                  const ProgressCounts& counts, const std::string& name,
                  const ProgressStage& stage = ProgressStage());

void clearProgress(const ProgressLine& progress);
