#pragma once

#include <chrono>
#include <cstddef>
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

// Draws "PROGRAM: cloud K of N, NAME, S s", K counted from 1, S since the start.
void showProgress(const ProgressLine& progress, const char* program, std::size_t index,
                  std::size_t count, const std::string& name);

void clearProgress(const ProgressLine& progress);
