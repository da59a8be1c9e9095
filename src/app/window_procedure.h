#pragma once
// The main window's procedure and the message drain run at the start of
// every pass. Escape, a left or right click and closing the window all post
// the quit message; every other key is swallowed; the mouse's motion and
// wheel are passed on.

#include "platform/window_system.h"

namespace zor {

enum class ProcedureResult {
    Handled,       // the program acted on the message (or swallowed it)
    PassedOn,      // left to the platform's default handling
};

ProcedureResult mainWindowProcedure(const WindowMessage& message, WindowSystem& system);

// Takes every waiting message and hands it to the procedure; true as soon
// as a quit message is taken (the messages behind it stay queued).
bool drainMessages(WindowSystem& system);

}  // namespace zor
