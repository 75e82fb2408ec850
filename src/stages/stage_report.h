// The report of an ended stage: the summary window, and in the reports folder a CSV file
// (US units, "C" numbers, the units named in each header) and a PDF (the display units, a
// chart of the fleet's rate and average pressure) under one name that never overwrites a
// file: "Stage 12 PAD 4 B7.csv", else "Stage 12 PAD 4 B7 (2).csv", and so on. The files are
// written off the event loop; a failure is told once and loses nothing of the stage, whose
// sums stay in the journal's file.
#pragma once

#include <string>
#include <vector>

#include "platform/journal.h"
#include "platform/report_printer.h"
#include "stages/stage_sums.h"

namespace stages {

// A figure of the report: its name, its units ("" for a count or a name) and its values.
struct ReportFigure {
    std::string label;
    std::string units;
    std::vector<std::string> values;
};

// The stage's figures (station, job, well, stage, times, the fleet's figures), in US units or
// in the display units (displayUnits).
std::vector<ReportFigure> StageFigures(const StageSums& sums, const std::string& station,
                                       bool displayUnits);
// The pump table: the columns' names and units, and one row a pump that took part in the
// stage (pumped, tripped or had a gap).
std::vector<ReportFigure> PumpColumns(bool displayUnits);
std::vector<std::vector<std::string>> PumpRows(const StageSums& sums, bool displayUnits);

std::string StageReportCsv(const StageSums& sums, const std::string& station);
platform::ReportDocument StageReportDocument(const StageSums& sums,
                                             const std::vector<journal::StagePoint>& series,
                                             const std::string& station, bool displayUnits);

// The reports folder: "reports" under the program folder.
std::string StageReportDir();
// "Stage 12 PAD 4 B7": what the operator typed made safe for a file name (no folder
// separator, no control character, none of the characters other systems refuse).
std::string ReportBaseName(const StageSums& sums);
// base, or "base (2)", "base (3)", ...: the first for which neither a .csv nor a .pdf is in dir.
std::string FreeReportBase(const std::string& dir, const std::string& base);

// Writes the stage's CSV and PDF off the loop, then journals where they went or tells what
// failed.
void WriteStageReport(const StageSums& sums, const std::vector<journal::StagePoint>& series);

// The summary window of the stage; 0 while none is open.
void ShowStageSummary(const StageSums& sums);
int StageSummaryPanel();
int CloseStageSummary(int panel, int event, void* data, int e1, int e2);
void ResetStageReport();

}  // namespace stages
