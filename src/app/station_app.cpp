// The station's process on the real back ends (see station_app.h).
#include "app/station_app.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/supervision.h"
#include "platform/event_loop.h"
#include "platform/exit_status.h"
#include "platform/group_access.h"
#include "platform/home_lock.h"
#include "platform/journal.h"
#include "platform/numeric_locale.h"
#include "platform/program_dir.h"
#include "platform/real/mosquitto_client.h"
#include "platform/real/qt_loop.h"
#include "platform/real/qt_report_printer.h"
#include "platform/real/qt_tcp.h"
#include "platform/real/sqlite_journal.h"
#include "platform/real/termios_serial.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/version.h"
#include "shell/main_sequence.h"
#include "ui/popups.h"
#include "ui/qt/qt_popups.h"
#include "ui/qt/qt_system.h"
#include "ui/qt/qt_view.h"
#include "ui/ui_model.h"

namespace app {

namespace {

// SIGTERM and SIGINT reach the loop through a socket pair: the handler only writes a byte.
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    char byte = 1;
    ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    (void)n;
}

// --help and --version answer before anything else, with no display and no files touched.
const char* kHelp =
    "Usage: %s [/admin] [/ShowStats] [/timeout SECONDS] [-platform NAME]\n"
    "       %s --help | --version\n"
    "\n"
    "The VNK PC operator station: polls the pump controllers on their serial ports, shows\n"
    "the fleet in three bank windows and protects it (trips, emergency stop, inline trip).\n"
    "\n"
    "  /admin             the Controller Settings page of automatic control\n"
    "  /ShowStats         the serial monitor's statistics\n"
    "  /timeout SECONDS   the reply time-out, 0.2 to 5.0\n"
    "  -platform NAME     Qt's platform (offscreen: no display)\n"
    "  --help             this text\n"
    "  --version          the version\n"
    "\n"
    "Program folder: $VNK_HOME, else %s.\n"
    "The environment (VNK_HOME, VNK_REGISTRY, VNK_PORTS_DIR, VNK_PARPORT, VNK_POPUPS, ...)\n"
    "is described in vnk-station(1).\n";

// True when args ask for help or the version, which are then printed.
bool answerInfoOption(const char* program, const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--version") {
            std::printf("%s %s\n", program, platform::ProgramVersion());
            return true;
        }
        if (a == "--help" || a == "-h") {
            const std::string home = platform::DefaultHomeFor(platform::ExecutableDir());
            std::printf(kHelp, program, program, home.c_str());
            return true;
        }
    }
    return false;
}

// Without a display Qt gives up with an abort and a core dump; the operator gets one line
// saying how to run the station without one instead. The platform may also be chosen on
// the command line ("-platform offscreen").
bool displayOrPlatformChosen(const std::vector<std::string>& args) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') return true;
    }
    return std::find_if(args.begin(), args.end(), [](const std::string& a) {
               return a == "-platform" || a == "--platform";
           }) != args.end();
}

std::string registryPath() {
    const char* env = std::getenv("VNK_REGISTRY");
    if (env != nullptr && *env != '\0') return env;
    return platform::MakePathname(platform::MakePathname(platform::GetProjectDir(), "cfg"),
                                  "registry.reg");
}

// VNK_SCREENSHOT_DIR: every VNK_SCREENSHOT_INTERVAL seconds (default 5) each visible
// window is saved there as a PNG named after its title (for the demo and for checking
// what a headless station shows).
void startScreenshots(QTimer& timer, ui::qt::QtView& view) {
    const char* dir = std::getenv("VNK_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0') return;
    QDir().mkpath(dir);
    const char* every = std::getenv("VNK_SCREENSHOT_INTERVAL");
    double seconds = every != nullptr ? std::atof(every) : 5.0;
    if (!(seconds >= 0.5)) seconds = 5.0;
    QObject::connect(&timer, &QTimer::timeout, [&view, folder = QString(dir)] {
        QStringList written;
        for (int panel : ui::PanelHandles()) {
            QWidget* w = view.window(panel);
            if (w == nullptr || !w->isVisible() || !w->isWindow())
                continue;  // a tab page is in its window's picture
            QString name = QString::fromStdString(ui::GetPanelTitle(panel));
            name.replace(QRegularExpression("[^A-Za-z0-9]+"), "_");
            if (name.isEmpty()) name = QString("panel_%1").arg(panel);
            w->grab().save(folder + "/" + name + ".png");
            written << name + ".png";
        }
        // The folder shows what is on screen now: windows since closed lose their picture.
        for (const QString& old : QDir(folder).entryList({"*.png"}, QDir::Files))
            if (!written.contains(old)) QFile::remove(folder + "/" + old);
    });
    timer.start(static_cast<int>(seconds * 1000));
}

// $VNK_HOME/journal/journal.db, after a journal an older station kept among the recordings
// was brought there. When it cannot be, the journal stays where it is for this run (the
// operator is told), so that no alarm it holds is lost to a fresh file.
std::string journalFile(std::string& notice) {
    const std::string home = platform::GetProjectDir();
    const std::string folder = platform::MakePathname(home, "journal");
    const std::string path = platform::MakePathname(folder, "journal.db");
    const std::string old =
        platform::MakePathname(platform::MakePathname(home, "data"), "journal.db");
    std::string error;
    if (platform::MakeJournalFolder(folder, error) && platform::MoveOldJournal(old, path, error))
        return path;
    notice = "The event journal cannot be kept in " + folder + " (" + error + ").";
    if (::access(old.c_str(), F_OK) == 0) {
        notice += " It stays at " + old + " for this run.";
        return old;
    }
    return path;
}

// Who runs the station, by name (the number when the user has no name).
std::string userName() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw != nullptr ? pw->pw_name : std::to_string(::geteuid());
}

// The group whose members may use the folder: the folder's own when it lets its group write
// (the installed station's /var/lib/vnk-pc lets vnk), else vnk, the installed station's.
std::string folderGroup(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && (st.st_mode & S_IWGRP) != 0)
        if (const group* gr = ::getgrgid(st.st_gid)) return gr->gr_name;
    return "vnk";
}

// A station that cannot keep its settings, recordings and journal, or cannot hold the lock
// that keeps a second station off its fleet, does not start: said once on stderr and once
// in a message box when someone can answer one.
int refuseFolder(const char* program, const std::string& home, const std::string& why,
                 bool messageBox) {
    const std::string user = userName();
    const std::string grp = folderGroup(home);
    std::fprintf(stderr,
                 "%s: cannot use the program folder %s (%s) as user %s: add %s to the group %s "
                 "(sudo adduser %s %s) and log in again\n",
                 program, home.c_str(), why.c_str(), user.c_str(), user.c_str(), grp.c_str(),
                 user.c_str(), grp.c_str());
    if (messageBox)
        ui::MessagePopup("Program Folder Not Usable",
                         "VNK PC cannot write its program folder " + home + " as user " + user +
                             " (" + why + "), so it does not start.\n\nAdd " + user +
                             " to the group " + grp + " (sudo adduser " + user + " " + grp +
                             ") and log in again.");
    return platform::kExitFolderRefused;
}

// Two stations on one set of files would overwrite each other's settings, recordings and
// journal, and both would command the one fleet: a second one says so and stops before it
// touches any of them. So does a station that cannot take the lock or write the folder.
// Returns kExitOk when the station holds its folder, else the exit status.
int takeHome(const char* program, platform::HomeLock& lock, bool messageBox) {
    const std::string home = platform::GetProjectDir();
    const std::string path = platform::MakePathname(home, "vnk-station.lock");
    switch (lock.take(path)) {
        case platform::HomeLock::Result::Taken:
            if (::access(home.c_str(), W_OK | X_OK) != 0)
                return refuseFolder(program, home, std::strerror(errno), messageBox);
            return platform::kExitOk;
        case platform::HomeLock::Result::Unavailable:
            return refuseFolder(program, home, "cannot lock " + path + ": " + lock.error(),
                                messageBox);
        case platform::HomeLock::Result::HeldElsewhere:
            break;
    }
    std::fprintf(stderr, "%s: another station is already running on %s (%s is locked)\n", program,
                 home.c_str(), path.c_str());
    if (messageBox)
        ui::MessagePopup("Station Already Running",
                         "Another VNK PC station is already running on " + home +
                             ". Only one station may run on one set of files.");
    return platform::kExitAlreadyRunning;
}

void clearBackEnds() {
    platform::setSystemBackEnd(nullptr);
    platform::setReportPrinter(nullptr);
    platform::setRegistry(nullptr);
    platform::setSerialBackEnd(nullptr);
    platform::setTcpBackEnd(nullptr);
    platform::setMqttBackEnd(nullptr);
    ui::setPopupBackEnd(nullptr);
    platform::setLoop(nullptr);
}

}  // namespace

int RunStationProcess(const char* program, int argc, char** argv, const Extras& extras) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (answerInfoOption(program, args)) return 0;
    if (!displayOrPlatformChosen(args)) {
        std::fprintf(stderr,
                     "%s: no display (DISPLAY and WAYLAND_DISPLAY are not set); to run "
                     "without one, start it with QT_QPA_PLATFORM=offscreen\n",
                     program);
        return platform::kExitNoDisplay;
    }
    QApplication application(argc, argv);
    // The toolkit has just taken up the desktop's locale; numbers are read and written in
    // the C form for the whole run, the command line included.
    platform::UseCNumerics();
    QApplication::setApplicationName("VNK PC");

    platform::QtLoop loop;
    platform::setLoop(&loop);
    platform::TermiosSerial serial;
    platform::setSerialBackEnd(&serial);
    platform::QtTcp tcp;
    platform::setTcpBackEnd(&tcp);
    platform::MosquittoBackEnd mqtt;
    platform::setMqttBackEnd(&mqtt);
    platform::RegistryStore store(registryPath());
    platform::setRegistry(&store);
    ui::qt::QtSystem system;
    platform::setSystemBackEnd(&system);
    platform::QtReportPrinter printer;
    platform::setReportPrinter(&printer);

    const char* popupMode = std::getenv("VNK_POPUPS");
    ui::AutoPopups autoPopups;
    ui::qt::QtPopups dialogs;
    if (popupMode != nullptr && std::string(popupMode) == "auto")
        ui::setPopupBackEnd(&autoPopups);
    else
        ui::setPopupBackEnd(&dialogs);

    // A home its group may write in is shared by every member's station: what this run makes
    // there is made for the group too (group_access.h).
    platform::ShareFilesWithGroup(platform::FolderSharedWithGroup(platform::GetProjectDir()));

    // Held for the whole run; the kernel frees it however the process ends. A message box
    // needs someone to answer it: a display, or the headless popups.
    platform::HomeLock homeLock;
    const QString qpa = QGuiApplication::platformName();
    const bool messageBox = &ui::popupBackEnd() == &autoPopups ||
                            (qpa != "offscreen" && qpa != "minimal");
    if (const int refused = takeHome(program, homeLock, messageBox); refused != platform::kExitOk) {
        clearBackEnds();
        return refused;
    }

    ui::qt::QtView view;
    ui::setObserver(&view);
    dialogs.setView(&view);

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [] {
            char buf[16];
            ssize_t n = ::read(g_signalPipe[0], buf, sizeof buf);
            (void)n;
            shell::RequestStop();
        });
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    QTimer screenshots;
    startScreenshots(screenshots, view);
    if (extras) extras(view);

    // The journal opens before anything can happen; what it has to say about its file waits
    // for the station's windows. It has a folder of its own, where nothing else (the
    // recorder's move of its data folder above all) ever takes a file.
    platform::SqliteJournal journalStore;
    {
        std::string notice;
        const std::string journalPath = journalFile(notice);
        std::string openNotice;
        if (journalStore.open(journalPath, openNotice)) journal::SetStore(&journalStore);
        if (!openNotice.empty()) notice += (notice.empty() ? "" : " ") + openNotice;
        shell::ResetStation();
        if (!notice.empty()) journal::Notice(notice);
    }
    StartSupervision();
    int rc = shell::RunStation(args);
    EndSupervision();
    journal::SetStore(nullptr);

    ui::setObserver(nullptr);
    ui::ResetModel();
    clearBackEnds();
    return rc;
}

}  // namespace app
