#pragma once

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into an orderly end of the event loop, so the program
// ends as when its window is closed (its settings are written) when a session or a terminal
// ends it. Every loop ends, so an open question is answered "No" and a dialog is cancelled.
// A second such signal ends the program at once. Call once, after the application exists.
void quitOnTerminationSignals();

} // namespace platform
