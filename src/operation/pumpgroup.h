// Pump groups: pumps tied together so that one press on one of them acts on every on-line
// member. Sixteen groups; a pump is in at most one. The member lists are built once, as the
// loaded configuration is shown (through its group hook), and kept in step with the group
// selectors.
// A pump selected for automatic control is never in a group.
#pragma once

#include <cstdint>
#include <vector>

#include "link/operations.h"
#include "link/pump_table.h"

namespace operation {

constexpr int kGroupCount = 16;
constexpr std::uint8_t kNoMember = 255;  // a free slot; the first one ends the list

// Each group's members in the order they joined, then kNoMember in every free slot.
extern std::uint8_t (&GroupMembers)[kGroupCount][pumplink::kPumpCount];

// Appends pump (0-23) to group (0-15) unless it is already there; anything out of range,
// or a full list, changes nothing.
void AddToGroup(int pump, int group);
// Takes the pump out of every list, closing the gaps.
void RemoveFromGroups(int pump);
// The members of a group in list order (empty for a group out of range).
std::vector<int> GroupMemberList(int group);

// What a press on a pump reaches: the pump alone when it is in no group, else every on-line
// member of its group in list order (the pressed pump among them when it is on line, even
// if a list was damaged). skipAuto leaves out members under automatic control.
std::vector<int> PumpOrGroupTargets(int pump, bool skipAuto = false);
// Sends the operation to PumpOrGroupTargets(pump).
template <typename Operation>
void SendToPumpOrGroup(int pump, const Operation& operation) {
    for (int target : PumpOrGroupTargets(pump)) SendPumpCommand(target, operation);
}

// Group selector of a bank row: moves the pump to the chosen group (or none); a grouped
// pump leaves automatic control.
int SelPumpGroup(int panel, int control, int event, void* data, int e1, int e2);
// Automatic control takes the pump: out of its group, "No Group" shown on its row.
void TakePumpOutOfGroup(int pump);
// Why a pump's "Auto" box changes.
enum class AutoChange : std::uint8_t {
    Operator,  // the operator ticked or cleared the box: journalled
    Manual,    // a manual speed change takes the pump out of automatic control
    Grouped,   // a pump put in a group leaves automatic control
    Loaded,    // the saved configuration: a pump in a group stays there and leaves Auto
};
// The one place a pump's "Auto" box changes: the record's AutoSelected and the row's box
// together. A pump selected by the operator leaves its group, so a pump under automatic
// control is never in a group.
void SetAutoSelected(int pump, bool on, AutoChange why);
// The "Auto" box of a bank row: ticked, the pump is selected for automatic control and
// leaves its group; unticked, only the flag clears.
int SelectAuto(int panel, int control, int event, void* data, int e1, int e2);

// The groups' hooks: the link's group speed step, and the member lists filled as the
// configuration record is shown.
void InstallPumpGroups();
void BindPumpGroupCallbacks();
// Every list empty.
void ResetPumpGroups();

}  // namespace operation
