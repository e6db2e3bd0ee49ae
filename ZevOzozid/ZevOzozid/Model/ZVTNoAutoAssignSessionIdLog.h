#pragma once

// Marker base of logs that keep the session id they were made with: the analytics session
// tracker leaves their session id alone.
class ZVTNoAutoAssignSessionIdLog {
  public:
    virtual ~ZVTNoAutoAssignSessionIdLog() = default;
};
