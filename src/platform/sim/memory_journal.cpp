#include "platform/sim/memory_journal.h"

namespace platform {

bool MemoryJournal::append(journal::Event& event, const journal::Alarm* alarm) {
    if (failWrites || damagedFile) return false;
    event.id = events.empty() ? 1 : events.back().id + 1;
    event.epoch = fileEpoch;
    events.push_back(event);
    return alarm == nullptr || saveAlarmState(*alarm);
}

bool MemoryJournal::saveAlarmState(const journal::Alarm& alarm) {
    if (failWrites || damagedFile) return false;
    const auto key = std::make_tuple(alarm.pump, static_cast<int>(alarm.kind), alarm.name);
    if (alarm.state == journal::AlarmState::Normal)
        alarms_.erase(key);
    else
        alarms_[key] = alarm;
    return true;
}

bool MemoryJournal::startAfresh(const std::vector<journal::Alarm>& alarms, std::string& report) {
    if (failWrites) {
        report = "the journal cannot start afresh (disk I/O error)";
        return false;
    }
    setAside.insert(setAside.end(), events.begin(), events.end());
    events.clear();
    marks.clear();
    stages.clear();
    alarms_.clear();
    for (const journal::Alarm& a : alarms) alarms_[std::make_tuple(a.pump, static_cast<int>(a.kind), a.name)] = a;
    damagedFile = false;
    ++fileEpoch;
    report = "The event journal was found damaged. It was set aside and a new journal started.";
    return true;
}

std::vector<journal::Alarm> MemoryJournal::alarms() {
    std::vector<journal::Alarm> out;
    for (const auto& [key, a] : alarms_) out.push_back(a);
    return out;
}

std::vector<journal::Event> MemoryJournal::newest(const journal::Filter& filter, int limit) {
    std::vector<journal::Event> out;
    for (auto it = events.rbegin(); it != events.rend() && static_cast<int>(out.size()) < limit;
         ++it) {
        if (filter.beforeId > 0 && it->id >= filter.beforeId) continue;
        if (filter.pump != journal::Filter::kAnyPump && it->pump != filter.pump) continue;
        if (filter.kind && it->kind != *filter.kind) continue;
        out.push_back(*it);
    }
    return out;
}

std::vector<journal::Event> MemoryJournal::since(std::int64_t afterId, int limit) {
    std::vector<journal::Event> out;
    for (const journal::Event& e : events) {
        if (static_cast<int>(out.size()) >= limit) break;
        if (e.id > afterId) out.push_back(e);
    }
    return out;
}

std::optional<std::int64_t> MemoryJournal::mark(const std::string& key) {
    auto it = marks.find(key);
    if (it == marks.end()) return std::nullopt;
    return it->second;
}

bool MemoryJournal::setMark(const std::string& key, std::int64_t value) {
    if (failWrites || damagedFile) return false;
    marks[key] = value;
    return true;
}

int MemoryJournal::countOf(journal::Kind kind, int pump, const std::string& text) const {
    int n = 0;
    for (const journal::Event& e : events)
        if (e.kind == kind && e.pump == pump && e.text.find(text) != std::string::npos) ++n;
    return n;
}

bool MemoryJournal::saveStage(const journal::SavedStage& stage) {
    if (failWrites) return false;
    journal::SavedStage& kept = stages[stage.id];
    kept.id = stage.id;
    kept.sums = stage.sums;
    kept.running = stage.running;
    for (const journal::StagePoint& p : stage.points)
        if (kept.points.empty() || p.second > kept.points.back().second) kept.points.push_back(p);
    return true;
}

std::optional<journal::SavedStage> MemoryJournal::newestStage() {
    if (stages.empty()) return std::nullopt;
    return stages.rbegin()->second;
}

}  // namespace platform
