#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Names and values the whole program shares: channel keys, user-defaults key names, the
// minute-to-degree factors, plain RGB colours, interface sizes and a delay. Every function may be
// called from any thread; each returned object is made once and is the same object on every call.
// Fonts, coloured layers and text measuring belong to the windowing code.

// A colour as red, green and blue fractions in [0, 1]; alpha is always 1.
struct MVRGB {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;

    friend bool operator==(const MVRGB&, const MVRGB&) = default;
};

namespace MVHelper {

// Channel keys: a session's column names are compared with these after lower-casing, and the
// derived series are filed under them.
const std::string& Key_Satellites();     // "satellites"
const std::string& Key_Time();           // "time": time of day as in the session file
const std::string& Key_UTCTime();        // "utc"
const std::string& Key_Latitude();       // "latitude", minutes of arc
const std::string& Key_Longitude();      // "longitude", minutes of arc, west positive
const std::string& Key_Speed();          // "velocity", a velocity column in any unit
const std::string& Key_Heading();        // "heading"
const std::string& Key_Height();         // "height"
const std::string& Key_VerticalSpeed();  // "vertical velocity m/s"
const std::string& Key_VideoIndex();     // "avifileindex"
const std::string& Key_VideoSyncTime();  // "avisynctime", milliseconds
const std::string& Key_Distance();       // "distance", derived
const std::string& Key_DeltaT();         // "delta t", derived
const std::string& Key_LatAcc();         // "lat acc", derived, g
const std::string& Key_LongAcc();        // "long acc", derived, g
const std::string& Key_CombinedG();      // "combined g", derived, g

// Position of the first channel named exactly `key` in a session's channel list, or -1.
std::ptrdiff_t ColumnOfKey(const std::vector<std::string>& headers, const std::string& key);

// User-defaults key names (each returns its own name).
const std::string& Default_SpeedUnit();
const std::string& Default_XAxisMode();
const std::string& Default_DisplayMode();
const std::string& Default_DistanceUnit();
const std::string& Default_HeightUnit();
const std::string& Default_DestinationFolder();
const std::string& Default_ThumbnailIsClosed();
const std::string& Default_TrackRouteFlag();
const std::string& Default_TrackLockFlag();
const std::string& Default_TrackSectionInVisibleFlag();
const std::string& Default_VideoFullScreeenFlag();  // three e in a row, as stored
const std::string& Default_MacOSDividerTrackMapPosition();
const std::string& Default_MacOSDividerVerticalMapPosition();
const std::string& Default_MacOSDividerChartVideoMapPosition();

// Minutes of arc divided by these give degrees; the negative one reverses the longitude's sign
// (session files and outline files hold west-positive longitudes).
inline constexpr double LATITUDE_TO_DECIMAL_MINUTES = 60.0;
inline constexpr double LONGITUDE_TO_DECIMAL_MINUTES = -60.0;

// Shared colours (alpha 1).
const MVRGB& FasterColor();              // 0.4, 1.0, 0.4: the faster of two compared laps
const MVRGB& SlowerColor();              // 1.0, 0.4, 0.4: the slower lap
const MVRGB& SelectColor();              // 224, 224, 224 of 255
const MVRGB& WhiteColor();               // 1, 1, 1
const MVRGB& DarkGrayColor();            // 169, 169, 169 of 255
const MVRGB& DarkBlueColor();            // 2, 37, 57 of 255: panel background
const MVRGB& LightBlueColor();           // 30, 144, 255 of 255
const MVRGB& BackgoundColor();           // black
const MVRGB& BrightColorOnBackground();  // light grey: text on dark backgrounds
// The 11 lap colours, in order: cyan, yellow, magenta, orange, brown, then 255/255/224,
// 255/182/193, 255/69/0, 123/104/238, 135/206/235, 210/105/30 (of 255).
const std::vector<MVRGB>& ColorArray();

// Interface sizes in points, and the delay in seconds before thumbnail information is
// regenerated after a change (a newer request cancels the waiting one).
inline constexpr double ToolBarHeight() {
    return 25.0;
}
inline constexpr double TableCellHeight() {
    return 20.0;
}
inline constexpr double SectorBarHeight() {
    return 21.0;
}
inline constexpr double VideoHeight() {
    return 100.0;
}
inline constexpr double VideoWidth() {
    return 160.0;
}
inline constexpr double FunctionDelayTime() {
    return 0.5;
}

}  // namespace MVHelper
