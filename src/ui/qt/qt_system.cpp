#include "ui/qt/qt_system.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/trace.h"

namespace ui::qt {

// One effect per file: the alarm's chime and a switch's click do not cut each other off.
struct QtSystem::Sound {
    std::map<QString, std::unique_ptr<QSoundEffect>> effects;
};

namespace {

// A program that ends at once in failure could not open what it was given (xdg-open ends
// with 3 or 4 when no program on the desktop takes the link). One still running after this
// long has handed it to a program that did: xdg-open may run a browser in the foreground for
// hours, whose exit code says nothing of the link.
constexpr int kOpenVerdictMs = 10000;

// Starts program without waiting for it; done hears once whether it ran, from the loop. Its
// output goes where the station's does, as a detached program's would.
void startWatched(const QString& program, const QStringList& args, platform::Opened done) {
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments(args);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    auto told = std::make_shared<bool>(false);
    // Told once; the answer may open a message with a loop of its own, so the process is
    // past its signals before it is heard.
    auto tell = [told, done](bool opened) {
        if (*told) return;
        *told = true;
        if (done) done(opened);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, tell](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         tell(status == QProcess::NormalExit && code == 0);
                     });
    // A program that cannot start may be told from inside start(): queued, it is told from
    // the loop like every other outcome.
    QObject::connect(
        process, &QProcess::errorOccurred, process,
        [process, tell](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) return;
            process->deleteLater();
            tell(false);
        },
        Qt::QueuedConnection);
    QTimer::singleShot(kOpenVerdictMs, process, [tell] { tell(true); });
    process->start();
}

}  // namespace

QtSystem::QtSystem() = default;

QtSystem::~QtSystem() {
    closeParallel();
}

std::vector<platform::Monitor> QtSystem::monitors() {
    std::vector<platform::Monitor> out;
    for (QScreen* s : QGuiApplication::screens()) {
        QRect g = s->geometry();
        out.push_back({g.left(), g.top(), g.width(), g.height()});
    }
    return out;
}

// xdg-open, as the desktop's own services would use on this platform, but watched: they would
// report only that it started, never that it found nothing to open the link with.
void QtSystem::openLink(const std::string& link, platform::Opened done) {
    startWatched("xdg-open", {QString::fromStdString(link)}, std::move(done));
}

void QtSystem::launch(const std::string& program, const std::vector<std::string>& args,
                      platform::Opened done) {
    QStringList arguments;
    for (const std::string& a : args) arguments << QString::fromStdString(a);
    startWatched(QString::fromStdString(program), arguments, std::move(done));
}

void QtSystem::shutdownComputer() {
    QProcess::startDetached("systemctl", {"poweroff"});
}

void QtSystem::playSound(const std::string& file) {
    // A missing file, or one the sound system cannot play, is silent: the command it goes
    // with has been sent all the same.
    const QString path = QString::fromStdString(file);
    if (!QFileInfo::exists(path)) return;
    if (!sound_) sound_ = std::make_unique<Sound>();
    std::unique_ptr<QSoundEffect>& effect = sound_->effects[path];
    if (!effect) {
        effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl::fromLocalFile(path));
    }
    effect->play();
}

bool QtSystem::openParallel() {
    closeParallel();
    const char* env = std::getenv("VNK_PARPORT");
    std::string path = (env != nullptr && *env != '\0') ? env : "/dev/parport0";
    // Why the input did not open is seen only here: the E-stop module knows only that.
    const auto refuse = [&path](int fd, const char* step) {
        TRACE(estop, "parallel port %s: %s: %s", path.c_str(), step, trace::errnoText(errno));
        if (fd >= 0) ::close(fd);
        return false;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return refuse(fd, "cannot open");
    struct stat st {};
    if (::fstat(fd, &st) != 0) return refuse(fd, "cannot stat");
    parallelIsDevice_ = S_ISCHR(st.st_mode);
    if (parallelIsDevice_ && ::ioctl(fd, PPCLAIM) != 0) return refuse(fd, "cannot claim");
    TRACE(estop, "parallel port %s opened (%s)", path.c_str(),
          parallelIsDevice_ ? "ppdev" : "status file");
    parallelFd_ = fd;
    return true;
}

int QtSystem::readParallelStatus() {
    if (parallelFd_ < 0) return -1;
    unsigned char status = 0;
    if (parallelIsDevice_) {
        if (::ioctl(parallelFd_, PPRSTATUS, &status) != 0) return -1;
        return status;
    }
    // A regular file stands for the register: its first byte, read afresh each time.
    if (::pread(parallelFd_, &status, 1, 0) != 1) return -1;
    return status;
}

void QtSystem::closeParallel() {
    if (parallelFd_ < 0) return;
    if (parallelIsDevice_) ::ioctl(parallelFd_, PPRELEASE);
    ::close(parallelFd_);
    parallelFd_ = -1;
}

}  // namespace ui::qt
