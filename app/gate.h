// The system gate: the program refuses to run on systems older than 6.0.
#pragma once

#include "platform/text.h"

namespace kestrana {

// The system version as "%d.%02d" text, or "" / "unknown" when it cannot be
// determined.
VersionText querySystemVersion();

// Returns only when the system passes; otherwise shows the refusal and ends
// the program with exit code 0.
void checkSystemVersion();

}  // namespace kestrana
