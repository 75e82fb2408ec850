// The journal's store in memory, for tests and the simulated station; failWrites makes
// every append fail as a full or broken disk would, damagedFile as a file SQLite finds
// damaged (until the journal starts afresh: a new epoch, the events kept in setAside).
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/journal.h"

namespace platform {

class MemoryJournal : public journal::Store {
  public:
    std::vector<journal::Event> events;  // oldest first
    bool failWrites = false;
    bool damagedFile = false;
    std::vector<journal::Event> setAside;  // the events of the files started afresh from
    std::int64_t fileEpoch = 1;

    using journal::Store::append;
    bool append(journal::Event& event, const journal::Alarm* alarm) override;
    std::vector<journal::Event> newest(const journal::Filter& filter, int limit) override;
    std::vector<journal::Event> since(std::int64_t afterId, int limit) override;
    std::optional<std::int64_t> mark(const std::string& key) override;
    bool setMark(const std::string& key, std::int64_t value) override;
    std::map<std::string, std::int64_t> marks;  // of the file in use; a fresh file has none
    std::int64_t count() override { return static_cast<std::int64_t>(events.size()); }
    std::string lastError() const override {
        return damagedFile ? "database disk image is malformed" : failWrites ? "disk I/O error" : "";
    }
    std::vector<journal::Alarm> alarms() override;
    bool saveAlarmState(const journal::Alarm& alarm) override;
    std::int64_t epoch() const override { return fileEpoch; }
    bool damaged() const override { return damagedFile; }
    bool startAfresh(const std::vector<journal::Alarm>& alarms, std::string& report) override;
    bool saveStage(const journal::SavedStage& stage) override;
    std::optional<journal::SavedStage> newestStage() override;
    std::map<std::int64_t, journal::SavedStage> stages;  // by id, of the file in use
    // How many stored events have this kind and pump and contain text.
    int countOf(journal::Kind kind, int pump, const std::string& text) const;

  private:
    std::map<std::tuple<int, int, std::string>, journal::Alarm> alarms_;
};

}  // namespace platform
