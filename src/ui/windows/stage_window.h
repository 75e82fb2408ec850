// The Start Stage dialog ("stage.uir" window 1): the job and well names (a tap opens the
// on-screen keyboard), the stage number (a tap opens the keypad), Start and Cancel.
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
constexpr int kStageNumberMin = 1;
constexpr int kStageNumberMax = 999;

void BuildStageWindow(int panel);

}  // namespace windows
