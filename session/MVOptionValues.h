#pragma once

#include <cstdint>

// The values of the user's display options. Each name stands for the integer the option holds,
// hands to its observers and (except the lap option) stores in the user-defaults store, so the
// stored files read the same numbers as ever. An option may hold a number without a name here
// (its readers then do nothing, as they always did).

// The x axis of the charts and the video position (the option `mode`).
enum class MVXAxisMode : std::int32_t { Time = 0, Position = 1 };

// What the lap list and the charts show (the option `displayMode`).
enum class MVDisplayMode : std::int32_t { Laps = 0, WholeSession = 1 };

// Which laps of each session are listed (the option `lapOptionsMode`): "ignore short laps" keeps
// the precise laps, "unfinished laps" keeps every lap.
enum class MVLapOptionsMode : std::int32_t { PreciseLaps = 0, AllLaps = 1 };

enum class MVSpeedUnit : std::int32_t { KilometresPerHour = 0, MilesPerHour = 1 };
enum class MVDistanceUnit : std::int32_t { Metre = 0, Feet = 1, Mile = 2 };
enum class MVHeightUnit : std::int32_t { Metre = 0, Feet = 1 };

// The integer an option value is held and stored as.
template <typename Value>
constexpr std::int32_t storedOptionValue(Value value) {
    return static_cast<std::int32_t>(value);
}
