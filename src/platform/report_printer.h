// The printer seam: a report described without any toolkit (a title, lines of facts, a table,
// a chart of series over time, each with its units named) and a back end that makes a PDF
// file of it. The real back end draws with the toolkit's PDF writer; SimReportPrinter keeps
// what it was given, for tests. A printer is called off the event loop (it touches nothing
// but the file it writes), one report at a time.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ReportSeries {
    std::string name;   // "Fleet rate"
    std::string units;  // "bbl/min"
    std::vector<double> values;  // one per ReportChart::seconds
    double top = 1.0;  // the axis runs from 0 to top
    int ticks = 2;     // its labels, both ends included, in equal steps
};

struct ReportChart {
    std::string title;
    std::vector<double> seconds;  // since the start; a step of more than 2 s is a gap
    std::vector<ReportSeries> series;  // the first on the left-hand axis, the second on the right
    double minuteStep = 1.0;  // the time axis' step between labels, in minutes
};

struct ReportDocument {
    std::string title;
    std::vector<std::string> lines;  // "Job: PAD 4", one fact a line
    std::vector<std::string> tableHeader;
    std::vector<std::vector<std::string>> tableRows;
    ReportChart chart;
};

class ReportPrinter {
  public:
    virtual ~ReportPrinter() = default;
    // Writes the report as a PDF file at path; false with a reason in error when it could not
    // (nothing is left under path then).
    virtual bool writePdf(const ReportDocument& report, const std::string& path,
                          std::string& error) = 0;
};

// The printer in use; nullptr until start-up (or a test) installs one: no PDF can be made.
ReportPrinter* reportPrinter();
void setReportPrinter(ReportPrinter* printer);

// Keeps every report and path it was given and writes nothing; fails when told to.
class SimReportPrinter : public ReportPrinter {
  public:
    std::vector<ReportDocument> reports;
    std::vector<std::string> paths;
    bool fails = false;
    bool writePdf(const ReportDocument& report, const std::string& path, std::string& error) override;
};

}  // namespace platform
