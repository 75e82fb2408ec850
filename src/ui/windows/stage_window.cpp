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

}  // namespace windows
