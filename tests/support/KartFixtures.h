#pragma once

// Generated sessions on kart circuits whose track comes back past the start line's extension
// within the gate's width the other way (a hairpin beside the line, the far side of the straight
// beside a pit lane), at the rates phone lap timers and GPS loggers write, with rows off the beat,
// with pit stops, and driven the other way round; and the generated sessions frozen in
// tests/data/golden_laps (sessions.txt), as options. Shared by the tests that compare laps.

#include "tests/support/SessionGenerator.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct NamedSession {
    std::string name;
    SessionOptions options;
};

inline SessionOptions kartSession(CircuitLayout circuit, double rateHz, int laps) {
    SessionOptions options;
    options.circuit = circuit;
    options.rateHz = rateHz;
    options.laps = laps;
    options.withLapTiming = true;  // no database circuit lies near the kart circuits
    return options;
}

// Test names show the session's name.
inline void PrintTo(const NamedSession& session, std::ostream* out) {
    *out << session.name;
}

// The kart circuits' sessions.
inline std::vector<NamedSession> kartSessions() {
    using C = CircuitLayout;
    std::vector<NamedSession> sessions = {
        {"Hairpin5Hz", kartSession(C::KartHairpin, 5, 4)},
        {"Hairpin10Hz", kartSession(C::KartHairpin, 10, 4)},
        {"Hairpin25Hz", kartSession(C::KartHairpin, 25, 4)},
        {"Hairpin10HzOffBeat", kartSession(C::KartHairpin, 10, 4)},
        {"TightHairpin10Hz", kartSession(C::KartHairpinTight, 10, 3)},
        {"PitLane10Hz", kartSession(C::KartPitLane, 10, 15)},
        {"PitLane5HzOffBeat", kartSession(C::KartPitLane, 5, 6)},
        {"HairpinReversed", kartSession(C::KartHairpin, 10, 3)},
        {"PitLaneReversed", kartSession(C::KartPitLane, 10, 6)},
    };
    sessions[3].options.irregularSteps = true;
    sessions[5].options.pitStops = 2;
    sessions[6].options.pitStops = 2;
    sessions[6].options.irregularSteps = true;
    sessions[7].options.reverse = true;
    sessions[8].options.reverse = true;
    sessions[8].options.pitStops = 2;
    // The loop driven the other way round, its circuit (and gate) from the database.
    SessionOptions loop;
    loop.laps = 3;
    loop.reverse = true;
    sessions.push_back({"LoopReversed", loop});
    return sessions;
}

// The sessions of tests/data/golden_laps/sessions.txt (the gld-gen arguments written there).
inline std::vector<NamedSession> goldenSessions() {
    const auto session = [](std::string name, int laps, double rateHz) {
        NamedSession named{std::move(name), {}};
        named.options.laps = laps;
        named.options.rateHz = rateHz;
        return named;
    };
    std::vector<NamedSession> sessions = {
        session("one_hz", 4, 1),    session("ten_hz", 5, 10),   session("twentyfive_hz", 5, 25),
        session("fifty_hz", 4, 50), session("midnight", 5, 20), session("messy", 5, 10),
    };
    SessionOptions& ten = sessions[1].options;
    ten.withVideo = ten.withHeading = ten.withHeight = true;
    ten.unfinishedLapFraction = 0.4;
    SessionOptions& quarter = sessions[2].options;
    quarter.withLapTiming = quarter.withVideo = true;
    quarter.extraChannels = 3;
    sessions[3].options.withLapTiming = sessions[3].options.withSplitFinish = true;
    sessions[4].options.startTimeOfDay = 23 * 3600 + 57 * 60 + 30;
    sessions[4].options.withHeading = true;
    SessionOptions& messy = sessions[5].options;
    messy.garbageLines = 25;
    messy.withDroppedChannels = messy.decimalComma = true;
    messy.crlf = false;
    messy.speedUnit = SpeedUnit::Mph;
    return sessions;
}

}  // namespace testing_support
