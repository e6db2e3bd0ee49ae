#pragma once

#include "session/MVHelperGeometry.h"

#include <cstdint>
#include <vector>

// The rule of a gate crossing, the same wherever a gate is crossed (lap cutting with one gate or
// a split finish, the circuit choice, the summary of the open panel and the card import, the
// track wizard's lap count, the sector gates): a step crosses a gate only when it passes the gate
// line in the direction in which the session drives through that gate. A pass the other way,
// however near the gate's middle, is no crossing: on a kart circuit the track often comes back
// past the line's extension within the gate's width (a hairpin beside the line, the far side of
// the straight), and counting it cut every lap in two.
//
// The direction is learnt from the session's own passages through the gate, not taken from the
// gate alone, so a session driven the other way round a circuit still cuts its laps. Every
// passage votes for its direction, weighted by how near the gate's middle it meets the line: 1 at
// the gate's end point, falling to 0 at the gate's width from it. The line driven lap after lap
// outvotes a section of track that passes near the gate's edge the other way; on a tie the
// passages that are more win, and then the gate's own direction (its previous point before its
// next point).
//
// Plain values; safe from any thread.
class MVGatePassages {
  public:
    struct Passage {
        std::int64_t position = 0;  // the step's place in the caller's list of steps
        MVHelper::GatePassage passage;
    };

    explicit MVGatePassages(std::int64_t gateWidth) : gateWidth_(gateWidth) {}

    // Notes a step's passage; one that does not pass through the gate (time 0) is ignored.
    // Positions are added in ascending order.
    void add(std::int64_t position, const MVHelper::GatePassage& passage);

    // Every passage noted, in either direction, in the order added.
    const std::vector<Passage>& all() const { return passages_; }
    // True when the session drives through the gate its own way (from its previous point towards
    // its next point); also when no passage was noted.
    bool drivenAlong() const;
    // True when the passage runs the way the session drives through the gate.
    bool isCrossing(const Passage& passage) const { return passage.passage.along == drivenAlong(); }
    // The crossings: the passages that run the driven way, in order.
    std::vector<Passage> crossings() const;

  private:
    std::int64_t gateWidth_;
    std::vector<Passage> passages_;
    double weightAlong_ = 0;
    double weightAgainst_ = 0;
    std::size_t countAlong_ = 0;
    std::size_t countAgainst_ = 0;
};
