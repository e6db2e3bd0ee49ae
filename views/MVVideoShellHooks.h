#pragma once

#include "session/MVLap.h"

#include <functional>

// What the video pane needs of the application shell, which it cannot include: the shell sets
// these hooks at start-up.
//   isSessionLaunched / setIsSessionLaunched: the application delegate's flag, true from launch
//     until the video pane's first full-screen start clears it. Unset, the pane keeps a flag of
//     its own with the same meaning.
//   showExportSheet: opens the lap video export sheet for a lap. Unset, the pane's export button
//     stays disabled.
// Main thread only.
struct MVVideoShellHooks {
    std::function<bool()> isSessionLaunched;
    std::function<void(bool)> setIsSessionLaunched;
    std::function<void(const MVLapPtr& lap)> showExportSheet;

    // The process's hooks.
    static MVVideoShellHooks& shared();
    // Makes `hooks` the process's; answers the ones they replace.
    static MVVideoShellHooks setShared(MVVideoShellHooks hooks);
};
