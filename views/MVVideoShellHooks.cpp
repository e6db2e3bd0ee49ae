#include "views/MVVideoShellHooks.h"

MVVideoShellHooks& MVVideoShellHooks::shared() {
    static MVVideoShellHooks* hooks = [] {
        auto* made = new MVVideoShellHooks;
        auto launched = std::make_shared<bool>(true);
        made->isSessionLaunched = [launched] { return *launched; };
        made->setIsSessionLaunched = [launched](bool value) { *launched = value; };
        return made;
    }();
    return *hooks;
}
