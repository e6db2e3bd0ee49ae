// The tool-button bar's controller, as it stands until the bar is built: it records its
// operations and keeps whether its buttons are enabled.
#include "app/MVMenuController.h"

void MVMenuController::disableButtons() {
    record("disableButtons");
    buttonsEnabled_ = false;
}

void MVMenuController::enableButtons() {
    record("enableButtons");
    buttonsEnabled_ = true;
}
