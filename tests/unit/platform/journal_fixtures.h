// What the journal's tests stand on: the journal module over a store in memory on a loop in
// virtual time, with the notices it raised; and a folder of its own for a journal on disk.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/journal.h"
#include "platform/real/sqlite_journal.h"
#include "platform/sim/memory_journal.h"
#include "platform/sim_loop.h"
#include "support/files.h"

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
        for (const journal::Event& e : store.events)
            n += e.text.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
    platform::SimLoop loop;
    platform::MemoryJournal store;
    std::vector<std::string> notices;
};

class JournalOnDisk : public ::testing::Test {
  protected:
    // Files of the folder whose name holds part.
    int filesNamed(const std::string& part) const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            n += e.path().filename().string().find(part) != std::string::npos ? 1 : 0;
        return n;
    }
    // Waits for the background check of the whole file to end.
    static bool waitForCheck(const platform::SqliteJournal& db) {
        return waitFor(
            [&] { return db.checkResult() != platform::SqliteJournal::CheckResult::Running; },
            20.0);
    }
    // Overwrites the pages of the file from a tenth of its size to another: a disk gone bad.
    void overwritePages(unsigned fromTenth, unsigned toTenth) const {
        const auto size = std::filesystem::file_size(path);
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        const std::string junk(4096, '\x5a');
        for (auto at = size * fromTenth / 10 / 4096 * 4096; at < size * toTenth / 10; at += 4096) {
            f.seekp(static_cast<std::streamoff>(at));
            f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
        }
    }
    TempFolder dir{"vnk_journal"};
    std::string path = (dir / "journal.db").string();
    std::string notice;
};
