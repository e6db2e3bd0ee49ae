#include "views/MVVideoShellHooks.h"

#include <utility>

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

MVVideoShellHooks MVVideoShellHooks::setShared(MVVideoShellHooks hooks) {
    return std::exchange(shared(), std::move(hooks));
}
