// The Start Stage dialog ("stage.uir" window 1): the job and well names (a tap opens the
// on-screen keyboard), the stage number (a tap opens the keypad), Start and Cancel. The
// summary of an ended stage (window 2): its figures in two columns of facts, its pumps in a
// table of one caption a column; a tap anywhere on it closes it.
#pragma once

#include <string>

namespace windows {

inline const std::string kStageUir = "stage.uir";

enum StageCtrl {
    STAGE_WINDOW = 1,  // resource id of the window
    STAGE_JOB = 2,     // StageEdited
    STAGE_WELL = 3,    // StageEdited
    STAGE_NUMBER = 4,  // StageEdited: the keypad, 1-999
    STAGE_START = 5,   // StartStage
    STAGE_CANCEL = 6,  // CancelStage
};
enum StageSummaryCtrl {
    STAGE_SUMMARY = 2,  // resource id of the window
    SUMMARY_FACTS_LEFT = 2,
    SUMMARY_FACTS_RIGHT = 3,
    SUMMARY_HINT = 4,
    SUMMARY_HEADING = 5,  // "Stage 12 Summary": the window has no title bar on the touch screen
    SUMMARY_COLUMN = 10,  // the table's columns: SUMMARY_COLUMN + 0 .. kSummaryColumns - 1
};
constexpr int kSummaryColumns = 10;
constexpr int kSummaryWidth = 980;
constexpr int kSummaryHeight = 700;
inline constexpr const char* kSummaryCloseHint = "Tap anywhere to close";
constexpr int kStageNumberMin = 1;
constexpr int kStageNumberMax = 999;

void BuildStageWindow(int panel);
void BuildStageSummaryWindow(int panel);

}  // namespace windows
