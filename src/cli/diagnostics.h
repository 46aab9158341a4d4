#pragma once

#include <string>

// The one channel for problems: stderr, through PCL's console at error level, each line
// "PROGRAM: text". The program names itself once, first thing.
void setProgramName(const std::string& name);

void printProblem(const std::string& text);

// The name with its control characters written as escapes (\n, \r, \t, \xHH), so that a
// name cannot move the cursor of a terminal or break the lines of a log.
std::string printableName(const std::string& name);
