#include "platform/dialog.h"

namespace zor {

DialogControl* DialogControls::find(int id) {
    for (DialogControl& control : controls_) {
        if (control.spec.id == id) return &control;
    }
    return nullptr;
}

const DialogControl* DialogControls::find(int id) const {
    for (const DialogControl& control : controls_) {
        if (control.spec.id == id) return &control;
    }
    return nullptr;
}

}  // namespace zor
