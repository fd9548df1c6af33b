#pragma once

namespace norvex::soak {

// SIGINT and SIGTERM end a run early but cleanly: every loop of the soak asks StopRequested(),
// so that the children are stopped and the scratch directory removed on the way out.
void CatchStopSignals();
bool StopRequested();

}  // namespace norvex::soak
