#pragma once

// Names of the notifications that the panes, the session loader and the sheets post on
// platform::NotificationCenter::defaultCenter(). Each constant holds its own name.

// Lap table: a lap was clicked. Object none; user info "selectedLap": the clicked lap (MVLapPtr).
inline constexpr char MVLapDidSelected[] = "MVLapDidSelected";
// Laps panel: a session tab's close button. Object none; user info "index": the session position.
inline constexpr char MVSessionCloseButtonClicked[] = "MVSessionCloseButtonClicked";
// Track pane: the user picked a candidate circuit. User info "track": the circuit record.
inline constexpr char MVNotificationTrackChanged[] = "MVNotificationTrackChanged";
// Track pane: an outline file was chosen for the current circuit. User info "track".
inline constexpr char MVNotificationOverlayChanged[] = "MVNotificationOverlayChanged";
// Track pane's expand button. No object, no user info.
inline constexpr char MVNotificationTrackMapFullScreen[] = "MVNotificationTrackMapFullScreen";
// Video pane's expand button, and once at start-up when full-screen video is on.
inline constexpr char MVNotificationVideoFullScreen[] = "MVNotificationVideoFullScreen";
inline constexpr char MVNotificationVideoClicked[] = "MVNotificationVideoClicked";
inline constexpr char MVNotificationBoundsDidChanged[] = "MVNotificationBoundsDidChanged";
inline constexpr char MVNotificationThumbnailShowed[] = "MVNotificationThumbnailShowed";
inline constexpr char MVNotificationThumbnailHided[] = "MVNotificationThumbnailHided";
// Brand view: a recent file was chosen. User info "recent": the file path.
inline constexpr char MVNotificationRecentFileSelected[] = "MVNotificationRecentFileSelected";
// Sector strip: a sector click in the whole-session display switched to one lap.
inline constexpr char MVNotificationSelectedLapsChangedFromWholeFileSession[] =
    "MVNotificationSelectedLapsChangedFromWholeFileSession";
// Session-file manager: a loaded file was removed. No object, no user info.
inline constexpr char MVNotificationGLDFileDidRemoved[] = "MVNotificationGLDFileDidRemoved";
// Fast summary parse finished. No object; posted on the operation's thread.
inline constexpr char GLDParsingFastDidFinish[] = "GLDParsingFastDidFinish";
// Open panel: a file was newly selected; it travels with the notification.
inline constexpr char MVFileSelected[] = "MVFileSelected";
// Drag-target field: the card-import source folder changed. No object, no user info.
inline constexpr char MVSourceURLChanged[] = "MVSourceURLChanged";
