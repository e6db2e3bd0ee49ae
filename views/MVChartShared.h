#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include "platform/NotificationCenter.h"

// The shared objects the chart pane reads and writes: the cursor, the options, the selection,
// the session-file manager and the notification centre. The program uses the process-wide ones
// (process()); tests hand in fresh ones. Not owned; they outlive the pane.
struct MVChartShared {
    MVSynchronization* sync = nullptr;
    MVOptionsAndSettings* options = nullptr;
    MVGlobalData* global = nullptr;
    MVGLDFileManager* manager = nullptr;
    platform::NotificationCenter* center = nullptr;

    static MVChartShared process() {
        return {&MVSynchronization::sharedManager(), &MVOptionsAndSettings::sharedManager(),
                &MVGlobalData::sharedManager(), &MVGLDFileManager::sharedManager(),
                &platform::NotificationCenter::defaultCenter()};
    }
};
