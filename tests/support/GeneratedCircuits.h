#pragma once

// Geometry of the synthetic circuit that the session generator (SessionGenerator.h) drives, in the
// units of the circuit database "StartFinishDataBase.xml":
//   - every coordinate in minutes of arc (degrees x 60);
//   - latitude north-positive, longitude EAST-positive (the database's convention; session files
//     write longitude west-positive, so the same point has the opposite longitude sign there);
//   - a gate is two points: `previous` (database attributes "oldlat"/"oldlong") lies 20 m before
//     the line on the racing line, `next` ("lat"/"long") lies on the line itself. The gate is the
//     line through `next` perpendicular to the direction previous -> next.
//
// The loop is an invented place (no real circuit there): a rounded hexagon of 2451.9 m driven
// anticlockwise. Its main straight runs due east at latitude 2370.000000' (39.5 N); the
// start/finish line sits on it 300 m west of the local origin (39.5 N, 3.0 W), where the generated
// car passes at about 150 km/h. The optional split finish gate sits 80 m before the start/finish
// line on the same straight.
//
// A database entry for it, for example:
//   <circuit name="Larkfield Loop" length="2452" min="-180.420,2369.946" max="-179.615,2370.281">
//     <startFinish oldlat="2370.000000" oldlong="-180.223763"
//                  lat="2370.000000" long="-180.209778"/>
//   </circuit>
// and, for a split start/finish layout, add inside the circuit element:
//     <Finish oldlat="2370.000000" oldlong="-180.279704" lat="2370.000000" long="-180.265719"/>

namespace testing_support::generated_circuits {

struct GatePoint {
    double latitudeMinutes;   // north-positive
    double longitudeMinutes;  // east-positive
};

struct Gate {
    GatePoint previous;  // "oldlat" / "oldlong"
    GatePoint next;      // "lat" / "long"
};

inline constexpr const char* kLoopName = "Larkfield Loop";

// Length of one lap along the racing line, metres.
inline constexpr double kLoopLengthMetres = 2451.9;

// Local origin of the generator's plane (on the main straight, 300 m past the line).
inline constexpr GatePoint kLoopOrigin{2370.0, -180.0};

// Area of the circuit for the database's "min" / "max" attributes (written there longitude first,
// "longitude,latitude"), with about 100 m margin around the racing line and the pit lane.
inline constexpr GatePoint kLoopAreaMin{2369.946, -180.420};
inline constexpr GatePoint kLoopAreaMax{2370.281, -179.615};

// Centre of that area: what the database reader compares with the middle of a session.
inline constexpr GatePoint kLoopCentre{
    (kLoopAreaMin.latitudeMinutes + kLoopAreaMax.latitudeMinutes) / 2,
    (kLoopAreaMin.longitudeMinutes + kLoopAreaMax.longitudeMinutes) / 2};

// Start/finish gate.
inline constexpr Gate kLoopStartFinish{{2370.000000, -180.223763}, {2370.000000, -180.209778}};

// Finish gate of the split start/finish variant (80 m before the start/finish line).
inline constexpr Gate kLoopSplitFinish{{2370.000000, -180.279704}, {2370.000000, -180.265719}};

// The kart circuits (CircuitLayout::Kart...) are invented places too, 400 km from the loop, with
// no circuit of the database near them; their sessions carry the start/finish gate in
// "[laptiming]". The start/finish line crosses their main straight at the local origin:
inline constexpr GatePoint kKartOrigin{2400.0, -120.0};

// Minutes of arc to decimal degrees.
constexpr double minutesToDegrees(double minutes) {
    return minutes / 60.0;
}

}  // namespace testing_support::generated_circuits
