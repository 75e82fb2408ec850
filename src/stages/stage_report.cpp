#include "stages/stage_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "operation/trends.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/module_state.h"
#include "platform/program_dir.h"
#include "platform/system.h"
#include "settings/config_record.h"
#include "settings/display_units.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/stage_window.h"

namespace stages {

namespace {

struct ReportState {
    int summary = 0;  // the summary window, 0 while none is open
    bool operator==(const ReportState&) const = default;
};
ReportState g;

enum class Quantity { Volume, Rate, Pressure, Energy, Minutes };

std::string unitsOf(Quantity q, bool metric) {
    switch (q) {
        case Quantity::Volume: return metric ? "m\xC2\xB3" : "bbl";
        case Quantity::Rate: return metric ? "m\xC2\xB3/min" : "bbl/min";
        case Quantity::Pressure: return metric ? "MPa" : "psi";
        case Quantity::Energy: return metric ? "kWh" : "hhp h";
        case Quantity::Minutes: return "min";
    }
    return "";
}

// A value kept in US units (seconds for a time) as the report writes it.
std::string valueText(double us, Quantity q, bool metric) {
    const auto shown = [&](int kind) {
        return metric ? static_cast<double>(settings::ToDisplayUnits(static_cast<float>(us), kind)) : us;
    };
    double v = us;
    const char* format = "%.1f";
    switch (q) {
        case Quantity::Volume:
        case Quantity::Rate:
            v = shown(q == Quantity::Volume ? settings::kUnitVolume : settings::kUnitRate);
            format = metric ? "%.2f" : "%.1f";
            break;
        case Quantity::Pressure:
            v = shown(settings::kUnitPressureMpa);
            format = metric ? "%.2f" : "%.0f";
            break;
        case Quantity::Energy: v = shown(settings::kUnitPower); break;
        case Quantity::Minutes: v = us / 60.0; break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

ReportFigure figure(const std::string& label, double us, Quantity q, bool metric) {
    return {label, unitsOf(q, metric), {valueText(us, q, metric)}};
}
ReportFigure count(const std::string& label, long n) {
    return {label, "", {std::to_string(n)}};
}

// "YYYY-MM-DD HH:MM:SS", local time: the journal's time to the second.
std::string localTime(std::int64_t ms) {
    return ms > 0 ? journal::FormatTime(ms).substr(0, 19) : "-";
}

std::string withUnits(const ReportFigure& f) {
    return f.units.empty() ? f.label : f.label + " (" + f.units + ")";
}

// "label: value units", a second value after " / ".
std::string factLine(const ReportFigure& f) {
    std::string line = f.label + ":";
    for (std::size_t i = 0; i < f.values.size(); ++i) {
        const std::string& v = f.values[i];
        const bool number = !v.empty() && (std::isdigit(static_cast<unsigned char>(v[0])) != 0 || v[0] == '-');
        line += (i == 0 ? " " : " / ") + v + (number && !f.units.empty() ? " " + f.units : "");
    }
    return line;
}

bool writeNewFile(const std::string& path, const std::string& text) {
    platform::FileSystem& fs = platform::fileSystem();
    const int h = fs.openWrite(path, true);  // appends: a file that came meanwhile is never cut
    if (h < 0) return false;
    const std::size_t done = platform::WriteAll(fs, h, text);
    return fs.close(h) && done == text.size();
}

// What the worker found, handed back to the loop.
struct ReportJob {
    int number = 0;
    std::string csv;
    platform::ReportDocument document;
    platform::ReportPrinter* printer = nullptr;
    std::string dir;
    std::string base;
    std::string written;  // the files written
    std::string failed;   // what could not be, with why
};

void writeFiles(ReportJob& job) {
    platform::FileSystem& fs = platform::fileSystem();
    if (!fs.isDir(job.dir) && !fs.makeDir(job.dir)) {
        job.failed = "the folder " + job.dir + " cannot be made";
        return;
    }
    const std::string base = platform::MakePathname(job.dir, FreeReportBase(job.dir, job.base));
    if (writeNewFile(base + ".csv", job.csv))
        job.written = base + ".csv";
    else
        job.failed = base + ".csv cannot be written";
    std::string error = "no PDF writer is installed";
    if (job.printer != nullptr && job.printer->writePdf(job.document, base + ".pdf", error)) {
        job.written += (job.written.empty() ? "" : ", ") + base + ".pdf";
        return;
    }
    job.failed += (job.failed.empty() ? "" : "; ") + base + ".pdf: " + error;
}

void reportWritten(const ReportJob& job) {
    const std::string stage = "Stage " + std::to_string(job.number);
    if (!job.written.empty())
        journal::Record(journal::kNoPump, journal::Kind::Recording, stage + " report: " + job.written);
    if (job.failed.empty()) return;
    journal::Record(journal::kNoPump, journal::Kind::Recording, stage + " report failed: " + job.failed);
    ui::MessagePopup("Stage Report Error",
                     "The report of stage " + std::to_string(job.number) +
                         " could not be written in full: " + job.failed +
                         ".\r\n\r\nThe stage's figures stay in the event journal.");
}

}  // namespace

std::vector<ReportFigure> StageFigures(const StageSums& s, const std::string& station,
                                       bool displayUnits) {
    const bool m = displayUnits && settings::MetricUnits();
    const auto pressureOrNot = [&](double psi, const char* none) {
        return std::isfinite(psi) ? valueText(psi, Quantity::Pressure, m) : std::string(none);
    };
    return {
        {"Station", "", {station}},
        {"Job", "", {s.job}},
        {"Well", "", {s.well}},
        count("Stage", s.number),
        {"Start", "", {localTime(s.startMs)}},
        {"End", "", {localTime(s.endMs)}},
        figure("Duration", s.endMs > s.startMs ? static_cast<double>(s.endMs - s.startMs) / 1000.0 : 0.0,
               Quantity::Minutes, m),
        figure("Total volume", s.volume(), Quantity::Volume, m),
        figure("Average rate", s.averageRate(), Quantity::Rate, m),
        figure("Maximum rate", s.maxRate, Quantity::Rate, m),
        figure("Average discharge pressure", s.averagePressure(), Quantity::Pressure, m),
        figure("Maximum average discharge pressure", s.maxPressure, Quantity::Pressure, m),
        {"Maximum inline pressure", unitsOf(Quantity::Pressure, m), {pressureOrNot(s.maxInline, "no reading")}},
        count("E-stops", s.estops),
        count("Idle All Pumps", s.idleAlls),
        count("Inline trips", s.inlineTrips),
        figure("Time under automatic control", s.autoSeconds, Quantity::Minutes, m),
        {"pressure 5 s / 10 s after shut-in", unitsOf(Quantity::Pressure, m),
         {pressureOrNot(s.shutIn5, "not reached"), pressureOrNot(s.shutIn10, "not reached")}},
        count("Station restarts during the stage", s.restarts),
    };
}

std::vector<ReportFigure> PumpColumns(bool displayUnits) {
    const bool m = displayUnits && settings::MetricUnits();
    const std::string pressure = unitsOf(Quantity::Pressure, m);
    const std::string rate = unitsOf(Quantity::Rate, m);
    return {{"Pump", "", {"Pump"}},
            {"Volume", unitsOf(Quantity::Volume, m), {"Volume"}},
            {"Pumping time", "min", {"Pumping"}},
            {"Average discharge pressure", pressure, {"Disch. avg"}},
            {"Maximum discharge pressure", pressure, {"Disch. max"}},
            {"Average rate", rate, {"Rate avg"}},
            {"Maximum rate", rate, {"Rate max"}},
            {"HHP-hours", unitsOf(Quantity::Energy, m), {"HHP-hours"}},
            {"Trips", "", {"Trips"}},
            {"Gaps", "", {"Gaps"}}};
}

std::vector<std::vector<std::string>> PumpRows(const StageSums& s, bool displayUnits) {
    const bool m = displayUnits && settings::MetricUnits();
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < kStagePumps; ++i) {
        const PumpStageSums& p = s.pumps[static_cast<std::size_t>(i)];
        if (!TookPart(p)) continue;
        rows.push_back({std::to_string(i + 1), valueText(p.volume, Quantity::Volume, m),
                        valueText(p.pumpingSeconds, Quantity::Minutes, m),
                        valueText(p.averagePressure(), Quantity::Pressure, m),
                        valueText(p.maxPressure, Quantity::Pressure, m),
                        valueText(p.averageRate(), Quantity::Rate, m),
                        valueText(p.maxRate, Quantity::Rate, m),
                        valueText(p.hhpHours, Quantity::Energy, m), std::to_string(p.trips),
                        std::to_string(p.gaps)});
    }
    return rows;
}

std::string StageReportCsv(const StageSums& s, const std::string& station) {
    std::string out = "VNK PC stage report\r\n";
    for (const ReportFigure& f : StageFigures(s, station, false)) {
        out += journal::CsvField(withUnits(f));
        for (const std::string& v : f.values) out += "," + journal::CsvField(v);
        out += "\r\n";
    }
    out += "\r\n";
    std::string header;
    for (const ReportFigure& c : PumpColumns(false)) header += (header.empty() ? "" : ",") + withUnits(c);
    out += header + "\r\n";
    for (const auto& row : PumpRows(s, false)) {
        std::string line;
        for (const std::string& cell : row) line += (line.empty() ? "" : ",") + cell;
        out += line + "\r\n";
    }
    return out;
}

platform::ReportDocument StageReportDocument(const StageSums& s,
                                             const std::vector<journal::StagePoint>& series,
                                             const std::string& station, bool displayUnits) {
    const bool m = displayUnits && settings::MetricUnits();
    platform::ReportDocument d;
    d.title = "VNK PC stage report: stage " + std::to_string(s.number);
    for (const ReportFigure& f : StageFigures(s, station, displayUnits)) d.lines.push_back(factLine(f));
    for (const ReportFigure& c : PumpColumns(displayUnits)) d.tableHeader.push_back(withUnits(c));
    d.tableRows = PumpRows(s, displayUnits);
    d.chart.title = "The fleet over the stage";
    platform::ReportSeries rate{"Fleet rate", unitsOf(Quantity::Rate, m), {}};
    platform::ReportSeries pressure{"Average discharge pressure", unitsOf(Quantity::Pressure, m), {}};
    for (const journal::StagePoint& p : series) {
        d.chart.seconds.push_back(static_cast<double>(p.second));
        rate.values.push_back(m ? settings::ToDisplayUnits(p.rate, settings::kUnitRate) : p.rate);
        pressure.values.push_back(m ? settings::ToDisplayUnits(p.pressure, settings::kUnitPressureMpa)
                                    : p.pressure);
    }
    // The axes as the trend window's: from 0, a round top with room, round steps.
    for (platform::ReportSeries* each : {&rate, &pressure}) {
        double top = 0.0;
        for (double v : each->values)
            if (std::isfinite(v)) top = std::max(top, v);
        const operation::TrendScale axis = operation::TrendAxisScale(top);
        each->top = axis.top;
        each->ticks = axis.ticks;
    }
    const double minutes = std::max(60.0, d.chart.seconds.empty() ? 0.0 : d.chart.seconds.back()) / 60.0;
    const operation::TrendScale time = operation::TrendAxisScale(minutes);
    d.chart.minuteStep = time.top / (time.ticks - 1);
    d.chart.series = {rate, pressure};
    return d;
}

std::string StageReportDir() {
    return platform::MakePathname(platform::GetProjectDir(), "reports");
}

std::string ReportBaseName(const StageSums& s) {
    std::string name = "Stage " + std::to_string(s.number);
    for (const std::string& part : {s.job, s.well}) {
        std::string safe;
        for (unsigned char c : part)
            safe += c < 0x20 || c == 0x7F || std::string("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string::npos
                        ? '_'
                        : static_cast<char>(c);
        if (safe.find_first_not_of(" ._") != std::string::npos) name += " " + safe;
    }
    // A name the file system takes whole: cut at a character's start, not inside a UTF-8 one.
    std::size_t cut = std::min<std::size_t>(name.size(), 100);
    while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    return name;
}

std::string FreeReportBase(const std::string& dir, const std::string& base) {
    platform::FileSystem& fs = platform::fileSystem();
    std::string name = base;
    for (int n = 2;; ++n) {
        const std::string path = platform::MakePathname(dir, name);
        if (!fs.exists(path + ".csv") && !fs.exists(path + ".pdf")) return name;
        name = base + " (" + std::to_string(n) + ")";
    }
}

void WriteStageReport(const StageSums& sums, const std::vector<journal::StagePoint>& series) {
    auto job = std::make_shared<ReportJob>();
    const std::string station = platform::ComputerName();
    job->number = sums.number;
    job->csv = StageReportCsv(sums, station);
    job->document = StageReportDocument(sums, series, station, true);
    job->printer = platform::reportPrinter();
    job->dir = StageReportDir();
    job->base = ReportBaseName(sums);
    platform::loop().runInBackground([job] { writeFiles(*job); }, [job] { reportWritten(*job); });
}

void ShowStageSummary(const StageSums& s) {
    if (g.summary == 0 || !ui::PanelExists(g.summary)) {
        g.summary = ui::LoadPanel(0, windows::kStageUir, windows::STAGE_SUMMARY);
        if (g.summary <= 0) {
            g.summary = 0;
            return;
        }
        ui::InstallPanelCallback(g.summary, CloseStageSummary);
    }
    const std::vector<ReportFigure> figures = StageFigures(s, platform::ComputerName(), true);
    std::string facts[2];
    for (std::size_t i = 1; i < figures.size(); ++i) {  // the station's own name needs no saying here
        std::string& column = facts[i <= figures.size() / 2 ? 0 : 1];
        column += (column.empty() ? "" : "\n") + factLine(figures[i]);
    }
    ui::SetCtrlVal(g.summary, windows::SUMMARY_FACTS_LEFT, facts[0]);
    ui::SetCtrlVal(g.summary, windows::SUMMARY_FACTS_RIGHT, facts[1]);
    const std::vector<ReportFigure> columns = PumpColumns(true);
    const auto rows = PumpRows(s, true);
    for (std::size_t c = 0; c < columns.size() && c < windows::kSummaryColumns; ++c) {
        std::string text = columns[c].values.front() + "\n" + columns[c].units;
        for (const auto& row : rows) text += "\n" + row[c];
        // Every column as tall as a full table: one size of type, rows in line.
        text.append(static_cast<std::size_t>(kStagePumps) - rows.size(), '\n');
        ui::SetCtrlVal(g.summary, windows::SUMMARY_COLUMN + static_cast<int>(c), text);
    }
    const std::string title = "Stage " + std::to_string(s.number) + " Summary";
    ui::SetPanelAttribute(g.summary, ui::ATTR_TITLE, title);
    ui::SetCtrlVal(g.summary, windows::SUMMARY_HEADING, title);
    ui::DisplayPanel(g.summary);
}

int StageSummaryPanel() {
    return g.summary;
}

int CloseStageSummary(int panel, int event, void*, int, int) {
    if (event == ui::EVENT_LEFT_CLICK || event == ui::EVENT_CLOSE) {
        if (panel == g.summary) g.summary = 0;
        ui::DiscardPanel(panel);
    }
    return 0;
}

void ResetStageReport() {
    if (g.summary != 0 && ui::PanelExists(g.summary)) ui::DiscardPanel(g.summary);
    g = {};
}
VNK_MODULE_STATE_RESET(stages, stage_report, g, ResetStageReport)

}  // namespace stages
