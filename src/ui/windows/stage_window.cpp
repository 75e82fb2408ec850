#include "ui/windows/stage_window.h"

#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

namespace windows {

void BuildStageWindow(int panel) {
    SizePanel(panel, 560, 300, kNormalBack, "Start Stage");
    for (int id : {STAGE_JOB, STAGE_WELL}) {
        ui::Control& c = ui::AddCtrl(panel, id, ui::CTRL_STRING, id == STAGE_JOB ? "Job" : "Well",
                                     id == STAGE_JOB ? 40 : 116, 24, 380, 44);
        c.textColor = ui::VAL_BLACK;
        c.bgColor = ui::VAL_WHITE;
        Attach(panel, id, "StageEdited");
    }
    ui::Control& number = AddNumeric(panel, STAGE_NUMBER, "Stage", 40, 420, 116, 44,
                                     kStageNumberMin, kStageNumberMax, 0);
    number.kind = ui::ValueKind::Integer;
    number.number = kStageNumberMin;
    Attach(panel, STAGE_NUMBER, "StageEdited");
    AddButton(panel, STAGE_START, "Start", 210, 274, 130, 60, "StartStage");
    AddButton(panel, STAGE_CANCEL, "Cancel", 210, 406, 130, 60, "CancelStage");
}

void BuildStageSummaryWindow(int panel) {
    SizePanel(panel, kSummaryWidth, kSummaryHeight, kNormalBack, "Stage Summary");
    AddCaption(panel, SUMMARY_HEADING, "Stage Summary", 12, 16, kSummaryWidth - 32, 30);
    constexpr int kFactsTop = 52;
    constexpr int kFactsHeight = 150;
    for (int id : {SUMMARY_FACTS_LEFT, SUMMARY_FACTS_RIGHT})
        AddCaption(panel, id, "", kFactsTop, id == SUMMARY_FACTS_LEFT ? 16 : kSummaryWidth / 2 + 8,
                   kSummaryWidth / 2 - 24, kFactsHeight);
    // The pump column narrower than the figures' columns.
    constexpr int kPumpWidth = 60;
    constexpr int kWidth = (kSummaryWidth - 32 - kPumpWidth) / (kSummaryColumns - 1);
    for (int c = 0; c < kSummaryColumns; ++c)
        AddCaption(panel, SUMMARY_COLUMN + c, "", kFactsTop + kFactsHeight + 12,
                   16 + (c == 0 ? 0 : kPumpWidth + (c - 1) * kWidth), c == 0 ? kPumpWidth : kWidth - 6,
                   kSummaryHeight - kFactsTop - kFactsHeight - 12 - 48);
    AddCaption(panel, SUMMARY_HINT, kSummaryCloseHint, kSummaryHeight - 36, 16, kSummaryWidth - 32, 30);
}

}  // namespace windows
