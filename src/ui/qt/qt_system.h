// The real computer: Qt's screens, xdg-open for links, ppdev or a status file for the
// parallel port (VNK_PARPORT), `systemctl poweroff` for the shut-down.
#pragma once

#include <memory>

#include "platform/system.h"

namespace ui::qt {

class QtSystem : public platform::SystemBackEnd {
  public:
    QtSystem();
    ~QtSystem() override;
    std::vector<platform::Monitor> monitors() override;
    void openLink(const std::string& link, platform::Opened done) override;
    void launch(const std::string& program, const std::vector<std::string>& args,
                platform::Opened done) override;
    void shutdownComputer() override;
    void playSound(const std::string& file) override;
    bool openParallel() override;
    int readParallelStatus() override;
    void closeParallel() override;

  private:
    int parallelFd_ = -1;
    bool parallelIsDevice_ = false;
    struct Sound;
    std::unique_ptr<Sound> sound_;
};

}  // namespace ui::qt
