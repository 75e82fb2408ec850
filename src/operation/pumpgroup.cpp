#include "operation/pumpgroup.h"

#include <algorithm>

#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "platform/journal.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/window_support.h"

using namespace pumplink;

namespace operation {

std::uint8_t GroupMembers[kGroupCount][kPumpCount];

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
    if (!validGroup(PumpGroup[pump])) {
        targets.push_back(pump);
        return targets;
    }
    for (int member : GroupMemberList(PumpGroup[pump])) {
        if (PumpTable[member].Online == 0) continue;
        if (skipAuto && AutoSelected[member] != 0 && member != pump) continue;
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
    if (chosen == PumpGroup[pump]) return 0;
    journal::Record(pump, journal::Kind::Command,
                    chosen == kNoGroup ? std::string("No group")
                                       : "Group " + std::to_string(chosen));
    RemoveFromGroups(pump);
    PumpGroup[pump] = static_cast<std::int8_t>(chosen);
    AddToGroup(pump, chosen);
    if (chosen != kNoGroup) {
        AutoSelected[pump] = 0;
        ui::SetCtrlVal(panel, BankRow[pump][kPosAuto], 0);
    }
    return 0;
}

void TakePumpOutOfGroup(int pump) {
    if (!validPump(pump)) return;
    RemoveFromGroups(pump);
    PumpGroup[pump] = kNoGroup;
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
    AutoSelected[pump] = ui::GetCtrlInt(panel, control) != 0 ? 1 : 0;
    journal::Record(pump, journal::Kind::Command,
                    AutoSelected[pump] != 0 ? "Automatic control on" : "Automatic control off");
    if (AutoSelected[pump] != 0) TakePumpOutOfGroup(pump);
    return 0;
}

void BindPumpGroupCallbacks() {
    windows::BindCtrlCallback("SelPumpGroup", SelPumpGroup);
    windows::BindCtrlCallback("SelectAuto", SelectAuto);
}

void ResetPumpGroups() {
    for (auto& list : GroupMembers) std::fill(std::begin(list), std::end(list), kNoMember);
}

}  // namespace operation
