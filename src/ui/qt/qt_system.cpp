#include "ui/qt/qt_system.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSoundEffect>
#include <QUrl>
#include <cstdlib>

namespace ui::qt {

struct QtSystem::Sound {
    QSoundEffect effect;
};

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

bool QtSystem::openLink(const std::string& link) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(link)));
}

bool QtSystem::launch(const std::string& program, const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& a : args) arguments << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), arguments);
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
    const QUrl url = QUrl::fromLocalFile(path);
    if (sound_->effect.source() != url) sound_->effect.setSource(url);
    sound_->effect.play();
}

bool QtSystem::openParallel() {
    closeParallel();
    const char* env = std::getenv("VNK_PARPORT");
    std::string path = (env != nullptr && *env != '\0') ? env : "/dev/parport0";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    parallelIsDevice_ = S_ISCHR(st.st_mode);
    if (parallelIsDevice_ && ::ioctl(fd, PPCLAIM) != 0) {
        ::close(fd);
        return false;
    }
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
