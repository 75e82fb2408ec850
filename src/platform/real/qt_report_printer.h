// The real printer: a report drawn on a US Letter page with the toolkit's PDF writer (title,
// facts in two columns, the chart, the table, further pages as the table needs). It runs on a
// worker thread: it uses nothing of the toolkit's that belongs to the GUI thread.
#pragma once

#include "platform/report_printer.h"

namespace platform {

class QtReportPrinter : public ReportPrinter {
  public:
    bool writePdf(const ReportDocument& report, const std::string& path, std::string& error) override;
};

}  // namespace platform
