#pragma once

#include <string>

// The one channel for problems: stderr, through PCL's console at error level, each line
// "PROGRAM: text". The program names itself once, first thing.
void setProgramName(const std::string& name);

void printProblem(const std::string& text);
