#pragma once

namespace Quorvane {

// Ctrl+C or a polite kill (SIGINT, SIGTERM) ends the loop the way a closed
// window does: after a whole frame, with the screenshot, recording and
// comparison still written.
void InstallStopSignalHandlers();
bool StopRequested();

}  // namespace Quorvane
