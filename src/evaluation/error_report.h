#pragma once

#include "metrics/error_statistics.h"

#include <boost/filesystem/path.hpp>

#include <ostream>

// The pieces of one original's console record and report row, in the order the driver
// writes them: the opening, one ratio piece, one statistics piece.

void writeReportHeader(std::ostream& report);

void writeCloudOpening(std::ostream& console, std::ostream& report,
                       const boost::filesystem::path& original);

void writeRatioFound(std::ostream& console, std::ostream& report, float ratio);

void writeRatioMissing(std::ostream& console, std::ostream& report);

// Ends the record and the row.
void writeStatisticsFound(std::ostream& console, std::ostream& report,
                          const CloudErrorStats& stats);

// Ends the record and the row.
void writeStatisticsMissing(std::ostream& console, std::ostream& report);
