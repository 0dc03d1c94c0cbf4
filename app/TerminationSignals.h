#pragma once

namespace lumora {

// SIGTERM and SIGINT end the event loop as "Quit Lumora" does, so the bar is dismissed and
// a Touch Bar is handed back before the process goes. Call once, after the application object
// exists.
void quitOnTerminationSignals();

} // namespace lumora
