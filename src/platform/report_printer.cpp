#include "platform/report_printer.h"

namespace platform {

namespace {
ReportPrinter* g_printer = nullptr;
}

ReportPrinter* reportPrinter() {
    return g_printer;
}

void setReportPrinter(ReportPrinter* printer) {
    g_printer = printer;
}

bool SimReportPrinter::writePdf(const ReportDocument& report, const std::string& path,
                                std::string& error) {
    reports.push_back(report);
    paths.push_back(path);
    if (fails) {
        error = "the printer was told to fail";
        return false;
    }
    return true;
}

}  // namespace platform
