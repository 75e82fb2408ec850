// The units of the Pump Table's live values. A data reply is decoded in the display units
// of the moment, US (psi, degF, bbl/min, bbl, hp) or metric (MPa, kPa, degC, m3/min, m3,
// kW), and each record says in MetricValues which units it holds. This module owns the one
// table that names every live value with its quantity and the factor between its two
// units: the decoder converts with it, a switch of the display units converts the table in
// place with it, and whatever must judge or compute in US units reads a live value through
// LiveUs, which goes by the record's own units, never by the display setting.
#pragma once

namespace pumplink {

struct PumpRecord;

// A member of PumpRecord holding a live value (DischargePressure, PumpRate, ...).
using LiveField = float PumpRecord::*;

// The field's value from US units to metric, as the decoder converts it; a field that is
// not converted (the speeds) comes back as it is.
float MetricOf(LiveField field, double us);

// The field's value in US units: as it stands when the record holds US values, the exact
// inverse of the decoder's conversion when it holds metric ones. Not a number stays so.
float LiveUs(const PumpRecord& r, LiveField field);

// Brings every live value of the record (trip points included) to metric (true) or US
// units in place and sets MetricValues to match; a record already in those units is left
// as it is.
void SetLiveUnits(PumpRecord& r, bool metric);

}  // namespace pumplink
