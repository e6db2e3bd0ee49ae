#pragma once

// Posted by the host on the platform's default notification centre when its application stops
// or starts being the active one; the SDK's services observe them.
inline constexpr const char* kZVTApplicationDidResignActiveNotification =
    "NSApplicationDidResignActiveNotification";
inline constexpr const char* kZVTApplicationWillBecomeActiveNotification =
    "NSApplicationWillBecomeActiveNotification";
// Posted the same way when the application is shown again after it was hidden.
inline constexpr const char* kZVTApplicationWillUnhideNotification =
    "NSApplicationWillUnhideNotification";
