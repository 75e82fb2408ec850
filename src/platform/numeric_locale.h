// Numbers in the one form the station reads and writes. The toolkit adopts the desktop's
// locale when it starts (setlocale(LC_ALL, "")); under a decimal-comma language strtod
// would stop at the point of "2.5" and printf would put commas into the comma-separated
// output line and the recordings. Text handling keeps the desktop's locale.
#pragma once

namespace platform {

// Sets LC_NUMERIC to "C" for the rest of the run. Call it right after the toolkit's
// application object is made, before the command line is read.
void UseCNumerics();

}  // namespace platform
