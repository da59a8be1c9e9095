#include "app/window_procedure.h"

namespace zor {

ProcedureResult mainWindowProcedure(const WindowMessage& message, WindowSystem& system) {
    switch (message.kind) {
    case MessageKind::KeyDown:
        if (message.key == kVirtualKeyEscape) system.postQuitMessage();
        return ProcedureResult::Handled;
    case MessageKind::Destroy:
    case MessageKind::LeftButtonDown:
    case MessageKind::RightButtonDown:
        system.postQuitMessage();
        return ProcedureResult::Handled;
    case MessageKind::MouseMove:
    case MessageKind::MouseWheel:
    case MessageKind::Quit:
    case MessageKind::Other:
        break;
    }
    return ProcedureResult::PassedOn;
}

bool drainMessages(WindowSystem& system) {
    WindowMessage message;
    while (system.peekMessage(message)) {
        if (message.kind == MessageKind::Quit) return true;
        mainWindowProcedure(message, system);
    }
    return false;
}

}  // namespace zor
