#include "operation/pumpgroup.h"

#include <algorithm>

#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "platform/journal.h"
#include "platform/module_state.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

namespace {

struct GroupsState {
    GroupsState() {
        for (auto& list : GroupMembers) std::fill(std::begin(list), std::end(list), kNoMember);
    }
    std::uint8_t GroupMembers[kGroupCount][kPumpCount];
    bool operator==(const GroupsState&) const = default;
};
GroupsState g;

}  // namespace

std::uint8_t (&GroupMembers)[kGroupCount][kPumpCount] = g.GroupMembers;

namespace {

using windows::kPosAuto;
using windows::kPosGroup;

bool validPump(int pump) {
    return pump >= 0 && pump < kPumpCount;
}
bool validGroup(int group) {
    return group >= 0 && group < kGroupCount;
}

void showGroup(int pump, int group) {
    const int panel = BankPanel[BankOf(pump)];
    if (panel != 0) ui::SetCtrlVal(panel, BankRow[pump][kPosGroup], group);
}

// A grouped pump's speed step: every on-line member not under automatic control.
void groupSpeedStep(int pump, SpeedStep step) {
    for (int member : PumpOrGroupTargets(pump, true)) SendPumpCommand(member, step);
}

}  // namespace

void AddToGroup(int pump, int group) {
    if (!validPump(pump) || !validGroup(group)) return;
    std::uint8_t* list = GroupMembers[group];
    for (int slot = 0; slot < kPumpCount; ++slot) {
        if (list[slot] == pump) return;  // a pump is never twice in a list
        if (list[slot] == kNoMember) {
            list[slot] = static_cast<std::uint8_t>(pump);
            return;
        }
    }
}

void RemoveFromGroups(int pump) {
    if (!validPump(pump)) return;
    for (auto& list : GroupMembers) {
        auto end = std::remove(std::begin(list), std::end(list), static_cast<std::uint8_t>(pump));
        std::fill(end, std::end(list), kNoMember);
    }
}

std::vector<int> GroupMemberList(int group) {
    std::vector<int> members;
    if (!validGroup(group)) return members;
    for (std::uint8_t m : GroupMembers[group]) {
        if (m == kNoMember) break;
        if (validPump(m)) members.push_back(m);
    }
    return members;
}

std::vector<int> PumpOrGroupTargets(int pump, bool skipAuto) {
    std::vector<int> targets;
    if (!validPump(pump)) return targets;
    if (!validGroup(PumpTable[pump].PumpGroup)) {
        targets.push_back(pump);
        return targets;
    }
    for (int member : GroupMemberList(PumpTable[pump].PumpGroup)) {
        if (PumpTable[member].Online == 0) continue;
        if (skipAuto && PumpTable[member].AutoSelected != 0 && member != pump) continue;
        targets.push_back(member);
    }
    if (PumpTable[pump].Online != 0 &&
        std::find(targets.begin(), targets.end(), pump) == targets.end())
        targets.push_back(pump);
    return targets;
}

int SelPumpGroup(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int pump = PumpOfRowCtrl(panel, control, kPosGroup);
    if (!validPump(pump)) return 0;
    int chosen = ui::GetCtrlInt(panel, control);
    if (!validGroup(chosen)) chosen = kNoGroup;  // "No Group", or anything unexpected
    if (chosen == PumpTable[pump].PumpGroup) return 0;
    journal::Record(
        pump, journal::Kind::Command,
        chosen == kNoGroup ? std::string("No group") : "Group " + std::to_string(chosen));
    RemoveFromGroups(pump);
    PumpTable[pump].PumpGroup = static_cast<std::int8_t>(chosen);
    AddToGroup(pump, chosen);
    if (chosen != kNoGroup) SetAutoSelected(pump, false, AutoChange::Grouped);
    return 0;
}

void TakePumpOutOfGroup(int pump) {
    if (!validPump(pump)) return;
    RemoveFromGroups(pump);
    PumpTable[pump].PumpGroup = kNoGroup;
    showGroup(pump, windows::kGroupNone);
}

void InstallPumpGroups() {
    ResetPumpGroups();
    AddGroupMemberHook(AddToGroup);
    SetOperationHooks({groupSpeedStep});
}

int SelectAuto(int panel, int control, int event, void*, int, int) {
    if (event != ui::EVENT_COMMIT) return 0;
    const int pump = PumpOfRowCtrl(panel, control, windows::kPosAuto);
    if (!validPump(pump)) return 0;
    SetAutoSelected(pump, ui::GetCtrlInt(panel, control) != 0, AutoChange::Operator);
    return 0;
}

void SetAutoSelected(int pump, bool on, AutoChange why) {
    if (!validPump(pump)) return;
    PumpRecord& r = PumpTable[pump];
    if (why == AutoChange::Loaded && r.PumpGroup != kNoGroup) on = false;
    r.AutoSelected = on ? 1 : 0;
    if (why == AutoChange::Operator)
        journal::Record(pump, journal::Kind::Command,
                        on ? "Automatic control on" : "Automatic control off");
    if (on && r.PumpGroup != kNoGroup) TakePumpOutOfGroup(pump);
    const int panel = BankPanel[BankOf(pump)];
    if (panel != 0) ui::SetCtrlVal(panel, BankRow[pump][kPosAuto], on ? 1 : 0);
}

void BindPumpGroupCallbacks() {
    windows::BindCtrlCallback("SelPumpGroup", SelPumpGroup);
    windows::BindCtrlCallback("SelectAuto", SelectAuto);
}

void ResetPumpGroups() {
    g = {};
}
VNK_MODULE_STATE_RESET(operation, pumpgroup, g, ResetPumpGroups)

}  // namespace operation
