#include "recorder/recorder.h"

#include <locale.h>
#include <strings.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/panels.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "platform/program_dir.h"
#include "platform/trace.h"
#include "settings/config_record.h"
#include "settings/registry_settings.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace recorder {

namespace {

// Longer names than these cannot carry the pump files ("_24.csv" added).
constexpr std::size_t kMaxBase = 1023;
constexpr std::size_t kMaxFileName = 255;
constexpr const char* kPumpSuffixLongest = "_24.csv";

const char* const kHeaderUs =
    "Date,Time,Motor Speed (rpm),Discharge Pressure (psi),Trip Pressure (psi),Hydraulic "
    "Horsepower (hp),Pump Oil Pressure (psi),Pump Oil Temperature (degF),Suction Pressure "
    "(psi),DE Bearing Temperature (degF),NDE Bearing Temperature (degF),Winding A Temperature "
    "(degF),Winding B Temperature (degF),Winding C Temperature (degF),Pump Speed (rpm),Pump "
    "Rate (bbl/min),Pump Total Volume (bbl),Selected Pumps Total (bbl),Selected Pumps Rate "
    "(bbl/min),Selected Pumps HHP (hp),Alarms,Tripped,Last Trip Pressure (psi),";
const char* const kHeaderMetric =
    "Date,Time,Motor Speed (rpm),Discharge Pressure (MPa),Trip Pressure (MPa),Hydraulic "
    "Horsepower (kW),Pump Oil Pressure (kPa),Pump Oil Temperature (degC),Suction Pressure "
    "(kPa),DE Bearing Temperature (degC),NDE Bearing Temperature (degC),Winding A Temperature "
    "(degC),Winding B Temperature (degC),Winding C Temperature (degC),Pump Speed (rpm),Pump "
    "Rate (m^3/min),Pump Total Volume (m^3),Selected Pumps Total (m^3),Selected Pumps Rate "
    "(m^3/min),Selected Pumps HHP (kW),Alarms,Tripped,Last Trip Pressure (MPa),";
const char* const kPlaceHolder =
    "This file is a place holder to avoid loss of data.\r\n"
    "See \"filename_xx.csv\" files for recorded pump information.";

struct AlarmText {
    bool tripWord;
    std::uint16_t bit;
    const char* text;
};
constexpr AlarmText kAlarmTexts[] = {
    {false, 0x0001, "!Motor RPM "},
    {false, 0x0008, "!Discharge Rate "},
    {false, 0x0010, "!Discharge Total "},
    {false, 0x0020, "!Discharge Pressure "},
    {false, 0x2000, "!Pump Oil Temperature "},
    {false, 0x4000, "!Pump Oil Pressure "},
    {true, 0x0004, "!Lube Oil Under Pressure Trip"},
    {true, 0x0008, "!Charge Pump Under Pressure Trip"},
    {true, 0x0010, "!COM Timeout Trip"},
    {false, 0x8000, "!Pump RPM"},
};

struct RecorderState {
    int RecordState = 0;
    int RecordPaused = 0;
    bool autoName = false;
    std::string base;
    std::array<std::uint8_t, kPumpCount> fileStarted{};
    std::array<std::string, kPumpCount> buffer;
    std::array<long, kPumpCount> dropped{};
    std::array<bool, kPumpCount> failing{};
    int flushPhase = 0;
    int lastUnits = -1;  // neither US nor metric: the first tick sets the formats
    const char* pressureFormat = "%5.0f,";
    bool operator==(const RecorderState&) const = default;
};
RecorderState g;
}  // namespace

int& RecordState = g.RecordState;
int& RecordPaused = g.RecordPaused;

namespace {

// Numbers in the "C" form whatever the desktop's locale: a decimal comma would split fields.
class CNumerics {
  public:
    CNumerics() {
        static locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
        previous_ = c != static_cast<locale_t>(nullptr) ? uselocale(c) : nullptr;
    }
    ~CNumerics() {
        if (previous_ != nullptr) uselocale(previous_);
    }
    CNumerics(const CNumerics&) = delete;
    CNumerics& operator=(const CNumerics&) = delete;

  private:
    locale_t previous_;
};

std::string pumpFileName(int pump) {
    return g.base + "_" + std::to_string(pump + 1) + ".csv";
}

bool anyFailing() {
    for (bool f : g.failing)
        if (f) return true;
    return false;
}

void setMenus() {
    for (int b = 0; b < kBankCount; ++b) {
        int panel = BankPanel[b];
        if (panel == 0 || !ui::PanelExists(panel)) continue;
        const char* status = RecordState == 0 ? "Recorder Off"
                             : anyFailing()   ? "Record Error"
                             : RecordPaused   ? "Paused"
                                              : "Recording";
        ui::SetCtrlVal(panel, windows::BANK_RECORD_STATUS, status);
        const ui::Panel* p = ui::FindPanel(panel);
        if (p == nullptr || p->menuBar == 0) continue;
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_RECORD_START, ui::ATTR_ITEM_NAME,
                                RecordState != 0 ? "Stop" : "Start");
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_RECORD_PAUSE, ui::ATTR_ITEM_DIMMED,
                                RecordState == 0 ? 1 : 0);
        ui::SetMenuBarAttribute(p->menuBar, windows::MENU_RECORD_PAUSE, ui::ATTR_CHECKED,
                                RecordState != 0 && RecordPaused != 0 ? 1 : 0);
    }
}

// Writes all of text to the file, completing short writes; the bytes written.
std::size_t writeAll(const std::string& path, const std::string& text, bool append) {
    platform::FileSystem& fs = platform::fileSystem();
    errno = 0;
    int h = fs.openWrite(path, append);
    if (h < 0) {
        TRACE(recorder, "%s cannot be opened: %s", path.c_str(), trace::errnoText(errno));
        return 0;
    }
    const std::size_t done = platform::WriteAll(fs, h, text);
    if (done < text.size())
        TRACE(recorder, "write to %s failed after %zu of %zu bytes: %s", path.c_str(), done,
              text.size(), trace::errnoText(errno));
    // What write() took is counted as written even when the close then fails: writing it
    // again could put a line in the file twice.
    errno = 0;
    if (!fs.close(h))
        TRACE(recorder, "close of %s failed: %s", path.c_str(), trace::errnoText(errno));
    return done;
}

// The identification as the display shows it: up to 8 characters before the first NUL; a
// line end inside would break the header's lines.
std::string pumpId(int pump) {
    std::string id;
    for (int i = 0; i < 8 && PumpTable[pump].PumpId[i] != '\0'; ++i) {
        char c = PumpTable[pump].PumpId[i];
        id += c == '\r' || c == '\n' ? ' ' : c;
    }
    return id;
}

long linesIn(const std::string& text);

// Writes the buffer to the pump's file (starting the file first when needed); what could
// not be written stays buffered.
void flushPump(int pump) {
    if (g.buffer[pump].empty()) return;
    if (g.fileStarted[pump] == 0) StartPumpFile(pump);
    if (g.fileStarted[pump] == 0) return;  // failing is set
    const std::string path = pumpFileName(pump);
    std::size_t done = writeAll(path, g.buffer[pump], true);
    if (trace::enabled(trace::Module::recorder))
        trace::print(trace::Module::recorder,
                     "pump %d: %zu bytes, %ld lines, to %s; %zu bytes wait", pump + 1, done,
                     linesIn(g.buffer[pump].substr(0, done)), path.c_str(),
                     g.buffer[pump].size() - done);
    g.buffer[pump].erase(0, done);
    g.failing[pump] = !g.buffer[pump].empty();
}

void appendLine(int pump, const char* date, const char* time) {
    const PumpRecord& r = PumpTable[pump];
    char line[2048];
    int n = std::snprintf(line, sizeof line, "%s,%s,%4.0f,", date, time, r.MotorRpm);
    n += std::snprintf(line + n, sizeof line - n, g.pressureFormat, r.DischargePressure);
    n += std::snprintf(line + n, sizeof line - n, g.pressureFormat, r.TripPressure);
    n += std::snprintf(line + n, sizeof line - n,
                       "%4.0f,%3.1f,%3.1f,%3.1f,%3.1f,%3.1f,%3.1f,%3.1f,%3.1f,%4.0f,%3.1f,%5.1f,"
                       "%5.1f,%5.1f,%5.0f,",
                       r.HydraulicHp, r.OilPressure, r.OilTemperature, r.SuctionPressure,
                       r.BearingTempDE, r.BearingTempNDE, r.WindingTempA, r.WindingTempB,
                       r.WindingTempC, r.PumpRpm, r.PumpRate, r.TotalVolume, SelectedPumpsTotal,
                       SelectedPumpsRate, SelectedPumpsHhp);
    for (const AlarmText& a : kAlarmTexts)
        if (((a.tripWord ? r.TripWord : r.AlarmWord) & a.bit) != 0)
            n += std::snprintf(line + n, sizeof line - n, "%s", a.text);
    // Truncated toward zero; a value no int holds is written as its bound (NaN as 0).
    float last = r.LastTripPressure;
    int lastInt = std::isnan(last)         ? 0
                  : last >= 2147483647.0f  ? 2147483647
                  : last <= -2147483648.0f ? -2147483647 - 1
                                           : static_cast<int>(last);
    n += std::snprintf(line + n, sizeof line - n, ",%d,%d,\r\n", r.Tripped ? 1 : 0, lastInt);
    std::string& buf = g.buffer[pump];
    if (buf.size() + static_cast<std::size_t>(n) > kRecordBufferSize) {
        // Once per run of drops: the flush lines say when writing works again.
        if (g.dropped[pump]++ == 0)
            TRACE(recorder, "pump %d: %zu bytes wait unwritten, new lines are dropped", pump + 1,
                  buf.size());
        return;
    }
    buf.append(line, static_cast<std::size_t>(n));
}

bool endsWithCsv(const std::string& s) {
    return s.size() >= 4 && strcasecmp(s.c_str() + s.size() - 4, ".csv") == 0;
}

std::string fileNamePart(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string autoBase() {
    std::time_t t = platform::loop().wallTime();
    std::tm p{};
    localtime_r(&t, &p);
    char name[64];
    std::snprintf(name, sizeof name, "AUTO%.2d-%.2d-%.2d_%.2d-%.2d-%.2d", p.tm_mon + 1, p.tm_mday,
                  (p.tm_year + 1900 - 2000) % 100, p.tm_hour, p.tm_min, p.tm_sec);
    return platform::MakePathname(RecordDataDir(), name);
}

// The base from the dialog, or "" when the operator cancelled or the name was refused.
std::string askBase() {
    std::string path;
    if (ui::FileSelectPopup(RecordDataDir(), "*.csv", "Enter a Filename to Begin Recording", true,
                            path) != 1)
        return {};
    if (path.empty() || path[0] == ' ' || fileNamePart(path).empty() ||
        fileNamePart(path)[0] == ' ')
        return {};
    std::string base = endsWithCsv(path) ? path.substr(0, path.size() - 4) : path;
    std::string longest = fileNamePart(base) + kPumpSuffixLongest;
    if (base.size() + 7 > kMaxBase || longest.size() > kMaxFileName) {
        ui::MessagePopup("File Name Too Long",
                         "The filename selected is too long to record the pump files.  Please "
                         "choose a shorter name.");
        return {};
    }
    if (platform::fileSystem().exists(base + ".csv") && !ui::ConfirmOverwritePopup()) return {};
    return base;
}

std::string archiveDir() {
    const char* dir = std::getenv("VNK_ARCHIVE_DIR");
    if (dir == nullptr || *dir == '\0') return {};
    if (!platform::fileSystem().isDir(dir)) {
        TRACE(recorder, "archive %s is not a folder: the files stay", dir);
        return {};
    }
    return dir;
}

long linesIn(const std::string& text) {
    long lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2))
        ++lines;
    return lines + (text.empty() || text.ends_with("\r\n") ? 0 : 1);
}

}  // namespace

std::string RecordDataDir() {
    return platform::MakePathname(platform::GetProjectDir(), "data");
}

const std::string& RecordBase() {
    return g.base;
}

void RequestAutoRecordName() {
    g.autoName = true;
}

bool StartRecording() {
    g.fileStarted.fill(0);
    platform::fileSystem().makeDir(RecordDataDir());
    std::string base;
    if (!g.autoName) {
        base = askBase();
        if (base.empty()) return false;
    } else {
        g.autoName = false;
        base = autoBase();
    }
    g.base = base;
    RecordState = 1;
    RecordPaused = 0;
    g.failing.fill(false);
    g.dropped.fill(0);
    journal::Record(journal::kNoPump, journal::Kind::Recording, "Recording started: " + base);
    TRACE(recorder, "recording started: %s", base.c_str());
    WritePumpFileHeaders();
    setMenus();
    return true;
}

void StartPumpFile(int pump) {
    std::string header = "Pump #" + std::to_string(pump + 1) + "\r\nPump ID = " + pumpId(pump) +
                         "\r\n\r\n" + (settings::MetricUnits() ? kHeaderMetric : kHeaderUs) +
                         "\r\n";
    bool ok = writeAll(pumpFileName(pump), header, false) == header.size();
    TRACE(recorder, "pump %d: %s %s", pump + 1, pumpFileName(pump).c_str(),
          ok ? "started" : "not started (header not written)");
    g.fileStarted[pump] = ok ? 1 : 0;
    g.failing[pump] = !ok;
}

void WritePumpFileHeaders() {
    for (int pump = 0; pump < kPumpCount; ++pump) {
        g.buffer[pump].clear();
        if (PumpTable[pump].Online) StartPumpFile(pump);
    }
    writeAll(g.base + ".csv", kPlaceHolder, false);
}

void RecordLines() {
    CNumerics c;
    int units = settings::MetricUnits() ? 1 : 0;
    if (units != g.lastUnits) {
        g.pressureFormat = units == 1 ? "%5.2f," : "%5.0f,";
        g.lastUnits = units;
    }
    const platform::DateTimeText now = platform::DateTimeStr();
    for (int pump = 0; pump < kPumpCount; ++pump)
        if (PumpTable[pump].Online) appendLine(pump, now.date, now.time);

    // Pumps 0-5, none, 6-11, none, 12-17, none, 18-23: six files at most per tick.
    int phase = g.flushPhase;
    g.flushPhase = (phase + 1) % 7;
    bool wasFailing = anyFailing();
    if (phase % 2 == 0) {
        int first = phase / 2 * 6;
        for (int pump = first; pump < first + 6; ++pump)
            if ((PumpTable[pump].Online && g.buffer[pump].size() > kRecordFlushThreshold) ||
                g.failing[pump])
                flushPump(pump);
    }
    if (anyFailing() != wasFailing) setMenus();
}

std::vector<ListedFile> ListDataFiles(const std::string& source) {
    platform::FileSystem& fs = platform::fileSystem();
    std::vector<ListedFile> files;
    for (const std::string& name : fs.listFiles(source))
        files.push_back({name, fs.modifiedNs(platform::MakePathname(source, name))});
    return files;
}

std::vector<std::string> MoveListedFiles(const std::string& destination, const std::string& source,
                                         const std::vector<ListedFile>& files) {
    platform::FileSystem& fs = platform::fileSystem();
    std::vector<std::string> kept;
    // Each file tried once: a file that cannot move stays, and never stops the others. A
    // file written since it was listed (a recording started meanwhile under the same name)
    // is not the file that was stopped: it stays, whatever was copied of it.
    for (const ListedFile& f : files) {
        std::string from = platform::MakePathname(source, f.name);
        std::string to = platform::MakePathname(destination, f.name);
        const auto unchanged = [&] { return fs.modifiedNs(from) == f.modifiedNs; };
        if (fs.modifiedNs(from) < 0) {  // gone since the stop: nothing is left to move
            TRACE(recorder, "move: %s gone since the stop", f.name.c_str());
            continue;
        }
        const bool same = unchanged();
        errno = 0;
        platform::CopyResult r = same ? fs.copyFile(from, to) : platform::CopyResult::Failed;
        if (r == platform::CopyResult::Copied) {
            long long size = fs.fileSize(from);
            if (size >= 0 && fs.fileSize(to) == size && unchanged()) {
                errno = 0;
                const bool removed = fs.remove(from);
                if (!removed) kept.push_back(f.name);
                TRACE(recorder, "move: %s, %lld bytes, %s", f.name.c_str(), size,
                      removed ? "moved" : "copied, but the original stays (cannot delete)");
                continue;
            }
            fs.remove(to);  // this move's own copy, short or of a file written since
            TRACE(recorder, "move: %s stays: the copy is short or the file was written since",
                  f.name.c_str());
        } else {
            TRACE(recorder, "move: %s stays: %s", f.name.c_str(),
                  !same                               ? "written since the stop"
                  : r == platform::CopyResult::Exists ? "a file of that name is in the archive"
                                                      : trace::errnoText(errno));
        }
        kept.push_back(f.name);
    }
    return kept;
}

std::vector<std::string> MoveDataFiles(const std::string& destination, const std::string& source) {
    return MoveListedFiles(destination, source, ListDataFiles(source));
}

namespace {

// The end of a stop, once the move (if any) is over: the journal, and one message for what
// was lost or stayed behind.
void reportStop(const std::string& lost, const std::vector<std::string>& keptNames,
                std::size_t listed, const std::string& source, const std::string& archive,
                bool showMessage) {
    std::string kept;
    for (const std::string& name : keptNames) kept += "\r\n  " + name;
    if (!archive.empty())
        TRACE(recorder, "move to %s over: %zu of %zu files moved", archive.c_str(),
              listed - keptNames.size(), listed);
    if (!archive.empty())
        journal::Record(journal::kNoPump, journal::Kind::Recording,
                        "Recording files moved to " + archive + ": " +
                            std::to_string(listed - keptNames.size()) + " of " +
                            std::to_string(listed));
    std::string text;
    if (!lost.empty()) text += "Recorded lines could not be written to the pump files:" + lost;
    if (!kept.empty()) {
        if (!text.empty()) text += "\r\n\r\n";
        text += "These files stay in " + source + " (not moved to " + archive + "):" + kept;
    }
    if (text.empty()) return;
    if (showMessage)
        ui::MessagePopup("Recording Error", text);
    else
        std::fprintf(stderr, "Recording Error: %s\n", text.c_str());
}

}  // namespace

void StopRecordingFlush(bool showMessage) {
    if (RecordState != 1) return;
    journal::Record(journal::kNoPump, journal::Kind::Recording, "Recording stopped: " + g.base);
    std::string lost;
    for (int pump = 0; pump < kPumpCount; ++pump) {
        flushPump(pump);
        long lines = linesIn(g.buffer[pump]) + g.dropped[pump];
        if (lines > 0) {
            lost += "\r\n  Pump " + std::to_string(pump + 1) + ": " + std::to_string(lines) +
                    (lines == 1 ? " line" : " lines");
        }
        g.buffer[pump].clear();
        g.dropped[pump] = 0;
        g.failing[pump] = false;
    }
    TRACE(recorder, "recording stopped: %s%s", g.base.c_str(),
          lost.empty() ? "" : ", some lines were not written");
    const std::string source = RecordDataDir();
    const std::string archive = archiveDir();
    if (archive.empty()) {
        reportStop(lost, {}, 0, source, archive, showMessage);
        return;
    }
    // The files are those of this moment; the copying runs off the loop (a long recording,
    // a network archive), and the report comes back to it. A recording started meanwhile
    // writes files the move never touches. The exit waits for the move.
    auto files = std::make_shared<std::vector<ListedFile>>(ListDataFiles(source));
    TRACE(recorder, "moving %zu files from %s to %s", files->size(), source.c_str(),
          archive.c_str());
    auto kept = std::make_shared<std::vector<std::string>>();
    platform::loop().runInBackground(
        [files, kept, source, archive] { *kept = MoveListedFiles(archive, source, *files); },
        [files, kept, lost, source, archive, showMessage] {
            reportStop(lost, *kept, files->size(), source, archive, showMessage);
        });
}

void StartAutoRecording() {
    if (settings::ReadSetting(settings::kAutoRecord) == 0) return;
    RequestAutoRecordName();
    StartRecording();
}

void StartStopRecording(int, int, void*, int) {
    if (RecordState == 0) {
        StartRecording();
        return;
    }
    StopRecordingFlush();
    RecordState = 0;
    RecordPaused = 0;
    setMenus();
}

void PauseRecording(int, int, void*, int) {
    if (RecordState == 0) return;
    RecordPaused = RecordPaused != 0 ? 0 : 1;
    setMenus();
}

int RecordTimer(int, int, int event, void*, int, int) {
    if (event == ui::EVENT_TIMER_TICK && RecordState == 1 && RecordPaused == 0) RecordLines();
    return 0;
}

std::size_t RecordBufferedBytes(int pump) {
    return g.buffer[pump].size();
}

long RecordDroppedLines(int pump) {
    return g.dropped[pump];
}

void ResetRecorder() {
    g = RecorderState{};
}
VNK_MODULE_STATE_RESET(recorder, recorder, g, ResetRecorder)

void BindRecorderCallbacks() {
    windows::BindMenuCallback("StartStopRecording", StartStopRecording);
    windows::BindMenuCallback("PauseRecording", PauseRecording);
    windows::BindCtrlCallback("RecordTimer", RecordTimer);
}

void RegisterRecorderStates() {
    registerState_recorder();
}

}  // namespace recorder
