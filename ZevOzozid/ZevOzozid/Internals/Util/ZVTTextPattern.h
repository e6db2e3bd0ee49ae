#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A text pattern for masking secrets in log lines, matched without case by one pass over the
// text per match that tracks every position in the pattern at once (no recursion, no
// backtracking, so no stack or time blow-up on long texts). It is a sequence of items, each a
// literal character,
// "." (any character), an escape (\s \S \d \D \w \W, or a quoted character such as \" or \.) or
// a bracket class ([a-z_], [^"]), each optionally followed by "*", "+" or "?". Groups,
// alternation, anchors and counted repeats are not part of it: such a pattern is refused.
// Immutable once made; safe from any thread.
class ZVTTextPattern {
  public:
    // Nothing (with `why` set) for a pattern outside the form above.
    static std::optional<ZVTTextPattern> make(const std::string& pattern, std::string& why);

    // The text with every leftmost-longest non-empty match replaced by `replacement`, in which
    // "$&" stands for the match and "$$" for "$".
    std::string replaceAll(const std::string& text, const std::string& replacement) const;

  private:
    struct Item {
        std::bitset<256> accepts;
        bool repeats = false;   // "*" or the tail of "+"
        bool optional = false;  // "*" or "?"
    };

    // The leftmost-longest non-empty match at or after `from`: (start, end), or nothing.
    std::optional<std::pair<size_t, size_t>> nextMatch(const std::string& text, size_t from) const;

    std::vector<Item> items_;
};
