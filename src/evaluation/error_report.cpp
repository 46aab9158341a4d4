#include "evaluation/error_report.h"

void writeReportHeader(std::ostream& report) {
  report << "file;compressionrate;distance error;error var;color error" << std::endl;
}

void writeCloudOpening(std::ostream& console, std::ostream& report,
                       const boost::filesystem::path& original) {
  report << original << ";";
  console << "cloud: " << original << " ";
}

void writeRatioFound(std::ostream& console, std::ostream& report, float ratio) {
  console << " compressionratio:" << ratio << " ";
  report << ratio << ";";
}

void writeRatioMissing(std::ostream& console, std::ostream& report) {
  console << " :compressed file not found: ";
  report << "1.0"
         << ";";
}

void writeStatisticsFound(std::ostream& console, std::ostream& report,
                          const CloudErrorStats& stats) {
  console << "error dist: " << stats.meanDistance << " var: " << stats.varianceDistance
          << " color: " << stats.meanColor << " color var: " << stats.varianceColor << std::endl;
  report << stats.meanDistance << ";" << stats.varianceDistance << ";" << stats.meanColor << ";"
         << stats.varianceColor << std::endl;
}

void writeStatisticsMissing(std::ostream& console, std::ostream& report) {
  console << ": reconstructed file not found for cloud: " << std::endl;
  report << "-;-;-;-" << std::endl;
}
