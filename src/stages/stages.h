// The stages of the job: the Stage menu of the bank windows ("Start Stage...", "End Stage"),
// the Start Stage dialog, the stage's field in the bank windows' header and the stage's sums,
// taken once a second on the stage timer from the values the Pump Table already holds. A
// stage never commands a pump. Its sums and series are kept in the journal's file every
// 10 s and at its start and end, so that a station restarted during a stage goes on with it
// (the restart is a gap for every pump). Starting and ending are journalled.
#pragma once

#include <string>
#include <vector>

#include "platform/journal.h"
#include "stages/stage_sums.h"

namespace stages {

constexpr double kStageSaveInterval = 10.0;  // s between saves of a running stage

// Fleet events a stage counts, reported by whoever sees them (installed at start-up).
enum class StageEvent { EStop, IdleAll, InlineTrip };
void NoteStageEvent(StageEvent event);

bool StageRunning();
// The running stage's sums, or the last stage's once it ended.
const StageSums& CurrentStage();
const std::vector<journal::StagePoint>& StageSeries();
// "Stage 12 - 00:42:10 - 1834 bbl" in the display units; "" while no stage runs.
std::string StageStatusText();

// Starts a stage now (what the dialog's Start does).
void BeginStage(int number, const std::string& job, const std::string& well);
// Ends the running stage: at once, or, while the fleet's shut-in is counting towards its
// 10 s point, once it gets there (or the fleet pumps again).
void FinishStage();
// One sample of the running stage at now (platform seconds) and the save when it is due.
void StageTick(double now);
// Start-up, once the journal's store is in place: a stage the store holds as running goes on,
// and the names and number of the last stage are proposed for the next.
void ResumeStage();

// Menu, dialog and timer callbacks.
void ShowStartStage(int menuBar, int item, void* data, int panel);
void EndStage(int menuBar, int item, void* data, int panel);
int StageEdited(int panel, int control, int event, void* data, int e1, int e2);
int StartStage(int panel, int control, int event, void* data, int e1, int e2);
int CancelStage(int panel, int control, int event, void* data, int e1, int e2);
int StageTimer(int panel, int control, int event, void* data, int e1, int e2);
// Handle of the open Start Stage dialog, 0 while none.
int StageDialog();

void BindStageCallbacks();
void RegisterStageStates();

}  // namespace stages
