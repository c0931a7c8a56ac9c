// termination_signals.h: the panel ends as if its window were closed when the
// session logs out, the terminal it was started from closes, or somebody
// sends it SIGTERM or SIGINT: a jog in force is stopped first, instead of
// the shaft turning on until the driver notices the silence. Depends on Qt
// Widgets and POSIX signals.
#pragma once

#include <QWidget>

namespace velkor {

// From now on SIGTERM, SIGINT and SIGHUP close `window` (running its own
// closing steps), then every other window still open, prompts and message
// boxes among them, so the run ends. Call once, with the panel.
void CloseOnTerminationSignals(QWidget& window);

}  // namespace velkor
