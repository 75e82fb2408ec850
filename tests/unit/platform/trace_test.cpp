// The trace's switch and its output: VNK_TRACE names modules exactly, and a stderr nobody
// reads never holds up the caller (the event loop, and the E-stop with it).
#include "platform/trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using trace::Module;

class Trace : public ::testing::Test {
  protected:
    void TearDown() override {
        trace::setModules("");
        unsetenv("VNK_TRACE");
    }
};

// stderr as a pipe whose reader has stopped: a blocking write would never return.
class FullStderr : public Trace {
  protected:
    void SetUp() override {
        ASSERT_EQ(::pipe(pipe_), 0);
        savedStderr_ = ::dup(STDERR_FILENO);
        ASSERT_GE(savedStderr_, 0);
        ASSERT_GE(::dup2(pipe_[1], STDERR_FILENO), 0);
        // Filled without blocking through the write end's own descriptor, which is left
        // blocking for stderr as a shell's pipe would be.
        const int fill = ::fcntl(pipe_[1], F_GETFL);
        ::fcntl(pipe_[1], F_SETFL, fill | O_NONBLOCK);
        const std::string block(4096, 'x');
        while (::write(pipe_[1], block.data(), block.size()) > 0) {
        }
        ::fcntl(pipe_[1], F_SETFL, fill);
        ::fcntl(pipe_[0], F_SETFL, ::fcntl(pipe_[0], F_GETFL) | O_NONBLOCK);
    }
    void TearDown() override {
        ::dup2(savedStderr_, STDERR_FILENO);
        ::close(savedStderr_);
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        Trace::TearDown();
    }
    std::string drain() {
        std::string all;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipe_[0], buf, sizeof buf)) > 0)
            all.append(buf, static_cast<std::size_t>(n));
        return all;
    }
    int pipe_[2] = {-1, -1};
    int savedStderr_ = -1;
};

TEST_F(FullStderr, LinesAreDroppedAndCountedRatherThanWaitedFor) {
    trace::setModules("ports");
    ::alarm(10);  // a blocked write ends the test program instead of hanging it
    for (int i = 0; i < 3; ++i) TRACE(ports, "COM%d open failed", i + 1);
    ::alarm(0);

    std::string filler = drain();
    EXPECT_EQ(filler.find("vnk ports"), std::string::npos) << "a line went into the full pipe";
    TRACE(ports, "COM9 closed");
    EXPECT_EQ(drain(), "vnk trace: 3 lines dropped (stderr full)\nvnk ports: COM9 closed\n");
    TRACE(ports, "COM9 opened");
    EXPECT_EQ(drain(), "vnk ports: COM9 opened\n") << "the count is written once";
}

}  // namespace
