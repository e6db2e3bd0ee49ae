#include "session/MVHelperKeys.h"

#include <algorithm>

// Function-local statics are initialised once under the language's thread-safe guard, so every
// call returns the same object from any thread.
#define MV_CONSTANT_STRING(function, text)    \
    const std::string& MVHelper::function() { \
        static const std::string value(text); \
        return value;                         \
    }

MV_CONSTANT_STRING(Key_Satellites, "satellites")
MV_CONSTANT_STRING(Key_Time, "time")
MV_CONSTANT_STRING(Key_UTCTime, "utc")
MV_CONSTANT_STRING(Key_Latitude, "latitude")
MV_CONSTANT_STRING(Key_Longitude, "longitude")
MV_CONSTANT_STRING(Key_Speed, "velocity")
MV_CONSTANT_STRING(Key_Heading, "heading")
MV_CONSTANT_STRING(Key_Height, "height")
MV_CONSTANT_STRING(Key_VerticalSpeed, "vertical velocity m/s")
MV_CONSTANT_STRING(Key_VideoIndex, "avifileindex")
MV_CONSTANT_STRING(Key_VideoSyncTime, "avisynctime")
MV_CONSTANT_STRING(Key_Distance, "distance")
MV_CONSTANT_STRING(Key_DeltaT, "delta t")
MV_CONSTANT_STRING(Key_LatAcc, "lat acc")
MV_CONSTANT_STRING(Key_LongAcc, "long acc")
MV_CONSTANT_STRING(Key_CombinedG, "combined g")

std::ptrdiff_t MVHelper::ColumnOfKey(const std::vector<std::string>& headers,
                                     const std::string& key) {
    const auto it = std::find(headers.begin(), headers.end(), key);
    return it == headers.end() ? -1 : it - headers.begin();
}

MV_CONSTANT_STRING(Default_SpeedUnit, "Default_SpeedUnit")
MV_CONSTANT_STRING(Default_XAxisMode, "Default_XAxisMode")
MV_CONSTANT_STRING(Default_DisplayMode, "Default_DisplayMode")
MV_CONSTANT_STRING(Default_DistanceUnit, "Default_DistanceUnit")
MV_CONSTANT_STRING(Default_HeightUnit, "Default_HeightUnit")
MV_CONSTANT_STRING(Default_DestinationFolder, "Default_DestinationFolder")
MV_CONSTANT_STRING(Default_ThumbnailIsClosed, "Default_ThumbnailIsClosed")
MV_CONSTANT_STRING(Default_TrackRouteFlag, "Default_TrackRouteFlag")
MV_CONSTANT_STRING(Default_TrackLockFlag, "Default_TrackLockFlag")
MV_CONSTANT_STRING(Default_TrackSectionInVisibleFlag, "Default_TrackSectionInVisibleFlag")
MV_CONSTANT_STRING(Default_VideoFullScreeenFlag, "Default_VideoFullScreeenFlag")
MV_CONSTANT_STRING(Default_MacOSDividerTrackMapPosition, "Default_MacOSDividerTrackMapPosition")
MV_CONSTANT_STRING(Default_MacOSDividerVerticalMapPosition,
                   "Default_MacOSDividerVerticalMapPosition")
MV_CONSTANT_STRING(Default_MacOSDividerChartVideoMapPosition,
                   "Default_MacOSDividerChartVideoMapPosition")

#undef MV_CONSTANT_STRING

namespace {

constexpr MVRGB of255(int red, int green, int blue) {
    return MVRGB{red / 255.0, green / 255.0, blue / 255.0};
}

// The standard named colours of the palette the lap colours start with.
constexpr MVRGB kCyan{0.0, 1.0, 1.0};
constexpr MVRGB kYellow{1.0, 1.0, 0.0};
constexpr MVRGB kMagenta{1.0, 0.0, 1.0};
constexpr MVRGB kOrange{1.0, 0.5, 0.0};
constexpr MVRGB kBrown{0.6, 0.4, 0.2};
constexpr MVRGB kBlack{0.0, 0.0, 0.0};
constexpr MVRGB kLightGray{2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0};

}  // namespace

#define MV_CONSTANT_COLOR(function, value) \
    const MVRGB& MVHelper::function() {    \
        static const MVRGB color = value;  \
        return color;                      \
    }

MV_CONSTANT_COLOR(FasterColor, (MVRGB{0.4, 1.0, 0.4}))
MV_CONSTANT_COLOR(SlowerColor, (MVRGB{1.0, 0.4, 0.4}))
MV_CONSTANT_COLOR(SelectColor, of255(224, 224, 224))
MV_CONSTANT_COLOR(WhiteColor, (MVRGB{1.0, 1.0, 1.0}))
MV_CONSTANT_COLOR(DarkGrayColor, of255(169, 169, 169))
MV_CONSTANT_COLOR(DarkBlueColor, of255(2, 37, 57))
MV_CONSTANT_COLOR(LightBlueColor, of255(30, 144, 255))
MV_CONSTANT_COLOR(BackgoundColor, kBlack)
MV_CONSTANT_COLOR(BrightColorOnBackground, kLightGray)

#undef MV_CONSTANT_COLOR

const std::vector<MVRGB>& MVHelper::ColorArray() {
    static const std::vector<MVRGB> colors{
        kCyan,
        kYellow,
        kMagenta,
        kOrange,
        kBrown,
        of255(255, 255, 224),
        of255(255, 182, 193),
        of255(255, 69, 0),
        of255(123, 104, 238),
        of255(135, 206, 235),
        of255(210, 105, 30),
    };
    return colors;
}
