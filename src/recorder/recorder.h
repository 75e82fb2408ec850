// The CSV recorder: one comma-separated file per pump with one line per recorder tick while
// the pump is on line, and a place-holder file under the operator's name. Lines wait in a
// buffer per pump and reach the disk in batches, at most six files per tick. It owns the
// record menu items and the recorder status field of the three bank windows.
//
// A failed write loses nothing: what was not written stays buffered (up to
// kRecordBufferSize bytes; a line that does not fit is dropped and counted) and is tried
// again at the pump's next turn, the status field reads "Record Error" meanwhile, and the
// stop names the pumps whose lines could not be written. When recording stops, the files of
// the data folder move to the archive folder (VNK_ARCHIVE_DIR, when set and existing); a
// file is deleted only once its copy is complete, never overwrites one there, and is tried
// once.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace recorder {

constexpr std::size_t kRecordBufferSize = 16384;
constexpr std::size_t kRecordFlushThreshold = 6144;

extern int& RecordState;   // 0 off, 1 recording
extern int& RecordPaused;  // 1 while paused

// The data folder: "data" under the program folder.
std::string RecordDataDir();
// The full path of the recording without extension ("" while none was started).
const std::string& RecordBase();

// Makes the next start use an automatic name (start-up sets it before starting).
void RequestAutoRecordName();
// Starts a recording: the file dialog (or the automatic name), then the files' headers.
// False when the operator cancelled or the name was refused.
bool StartRecording();
void WritePumpFileHeaders();
void StartPumpFile(int pump);
// One recorder tick: a line for every pump on line, then the flush of this tick's group.
void RecordLines();
// Writes every buffer and moves the data folder's files (those there at the stop) to the
// archive off the loop, reporting when the move is over; acts only while recording. With
// showMessage false a failure goes to stderr instead of a popup (exit by signal).
void StopRecordingFlush(bool showMessage = true);
// A file of the data folder as it was when listed.
struct ListedFile {
    std::string name;
    long long modifiedNs = -1;
};
std::vector<ListedFile> ListDataFiles(const std::string& source);
// Moves the listed files of source into destination, each only while it is as listed;
// returns the names that stayed in source. Touches nothing but files: safe off the loop.
std::vector<std::string> MoveListedFiles(const std::string& destination, const std::string& source,
                                         const std::vector<ListedFile>& files);
// Lists and moves every file of source into destination.
std::vector<std::string> MoveDataFiles(const std::string& destination, const std::string& source);

// Start-up: starts recording with an automatic name when "AutoRecord" is nonzero.
void StartAutoRecording();

// Menu and timer callbacks.
void StartStopRecording(int menuBar, int item, void* data, int panel);
void PauseRecording(int menuBar, int item, void* data, int panel);
int RecordTimer(int panel, int control, int event, void* data, int e1, int e2);

// Bytes waiting in the pump's buffer, and lines dropped because it was full.
std::size_t RecordBufferedBytes(int pump);
long RecordDroppedLines(int pump);

void ResetRecorder();
void BindRecorderCallbacks();

// Registers the recorder's state for ResetAllStates.
void RegisterRecorderStates();

}  // namespace recorder
