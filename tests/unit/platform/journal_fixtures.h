// What the journal's tests stand on: the journal module over a store in memory on a loop in
// virtual time, with the notices it raised; and a folder of its own for a journal on disk.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/real/sqlite_journal.h"
#include "platform/sim/memory_journal.h"
#include "platform/sim_loop.h"

class JournalInMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setLoop(&loop);
        journal::Reset();
        journal::SetStore(&store);
        journal::SetNoticeSink([this](const std::string& t) { notices.push_back(t); });
    }
    void TearDown() override {
        journal::SetStore(nullptr);
        journal::Reset();
        platform::setLoop(nullptr);
    }
    // Stored events whose text holds text.
    int eventsWith(const std::string& text) const {
        int n = 0;
        for (const journal::Event& e : store.events) n += e.text.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
    platform::SimLoop loop;
    platform::MemoryJournal store;
    std::vector<std::string> notices;
};

class JournalOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vnk_journal_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "journal.db").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // Files of the folder whose name holds part.
    int filesNamed(const std::string& part) const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            n += e.path().filename().string().find(part) != std::string::npos ? 1 : 0;
        return n;
    }
    static unsigned modeOf(const std::string& file) {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    // Waits (20 s at most) for the background check of the whole file to end.
    static bool waitForCheck(const platform::SqliteJournal& db) {
        for (int i = 0; i < 2000 && db.checkResult() == platform::SqliteJournal::CheckResult::Running; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return db.checkResult() != platform::SqliteJournal::CheckResult::Running;
    }
    std::filesystem::path dir;
    std::string path;
    std::string notice;
};
