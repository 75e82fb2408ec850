// Loading and saving the configuration record (settings/config_record.h) at start-up, on
// every change and at normal exit: the record's copies of the Pump Table and its companion tables (ports, speed
// steps, pump groups, "Auto" boxes) are handed to them on loading and taken from them on
// saving; the record's own preferences are shown on the windows once loaded.
#pragma once

namespace shell {

// Reads vnk.cfg (a missing or unreadable file gives the first-start record, written at
// once), hands its values to the tables and shows them.
void LoadConfiguration();
// Takes the tables' values into the record and writes vnk.cfg (exit).
void SaveConfiguration();
// The same, only when the record differs from what vnk.cfg was last given (or loaded from):
// called once a second, so that a power cut loses no setting. A write that fails is shown
// once and tried again at each call until it goes through.
void KeepConfiguration();
// No image kept, no failure.
void ResetCfg();

}  // namespace shell
