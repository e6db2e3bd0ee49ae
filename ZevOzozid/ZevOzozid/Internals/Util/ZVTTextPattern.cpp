#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTTextPattern.h"

#include <cctype>

namespace {

using Set = std::bitset<256>;

void addCaseless(Set& set, unsigned char c) {
    set.set(c);
    set.set(static_cast<unsigned char>(std::tolower(c)));
    set.set(static_cast<unsigned char>(std::toupper(c)));
}

// The class of an escape letter (\s, \d, \w and their negations); false for any other letter.
bool escapeClass(char letter, Set& set) {
    Set base;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    for (int c = 0; c < 256; ++c) {
        const bool in = lower == 's'   ? (c == ' ' || (c >= '\t' && c <= '\r'))
                        : lower == 'd' ? (c >= '0' && c <= '9')
                        : lower == 'w' ? (std::isalnum(c) != 0 && c < 128) || c == '_'
                                       : false;
        if (in) base.set(static_cast<size_t>(c));
    }
    if (lower != 's' && lower != 'd' && lower != 'w') return false;
    set |= std::isupper(static_cast<unsigned char>(letter)) ? ~base : base;
    return true;
}

bool isQuotable(char c) {
    return !std::isalnum(static_cast<unsigned char>(c));
}

// One bracket class from just after "[" to just after "]"; false when malformed.
bool bracket(const std::string& p, size_t& i, Set& set, std::string& why) {
    const bool negated = i < p.size() && p[i] == '^';
    if (negated) ++i;
    Set members;
    bool first = true;
    while (i < p.size() && (p[i] != ']' || first)) {
        first = false;
        unsigned char c = static_cast<unsigned char>(p[i++]);
        if (c == '\\') {
            if (i >= p.size()) break;
            const char e = p[i++];
            if (escapeClass(e, members)) continue;
            if (!isQuotable(e)) {
                why = std::string("unsupported escape \\") + e;
                return false;
            }
            c = static_cast<unsigned char>(e);
        }
        if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
            const unsigned char last = static_cast<unsigned char>(p[i + 1]);
            i += 2;
            if (last < c) {
                why = "range out of order";
                return false;
            }
            for (unsigned v = c; v <= last; ++v)
                addCaseless(members, static_cast<unsigned char>(v));
        } else {
            addCaseless(members, c);
        }
    }
    if (i >= p.size()) {
        why = "unterminated bracket";
        return false;
    }
    ++i;  // the "]"
    set = negated ? ~members : members;
    return true;
}

}  // namespace

std::optional<ZVTTextPattern> ZVTTextPattern::make(const std::string& p, std::string& why) {
    ZVTTextPattern pattern;
    for (size_t i = 0; i < p.size();) {
        Item item;
        const char c = p[i++];
        if (c == '.') {
            item.accepts.set();
        } else if (c == '[') {
            if (!bracket(p, i, item.accepts, why)) return std::nullopt;
        } else if (c == '\\') {
            if (i >= p.size()) {
                why = "trailing backslash";
                return std::nullopt;
            }
            const char e = p[i++];
            if (!escapeClass(e, item.accepts)) {
                if (!isQuotable(e)) {
                    why = std::string("unsupported escape \\") + e;
                    return std::nullopt;
                }
                addCaseless(item.accepts, static_cast<unsigned char>(e));
            }
        } else if (std::string("()|^${}*+?]").find(c) != std::string::npos) {
            why = std::string("unsupported or misplaced \"") + c + "\"";
            return std::nullopt;
        } else {
            addCaseless(item.accepts, static_cast<unsigned char>(c));
        }
        const char q = i < p.size() ? p[i] : '\0';
        if (q == '*' || q == '?') {
            item.optional = true;
            item.repeats = q == '*';
            ++i;
            pattern.items_.push_back(item);
        } else if (q == '+') {
            ++i;
            pattern.items_.push_back(item);
            item.optional = item.repeats = true;
            pattern.items_.push_back(item);
        } else {
            pattern.items_.push_back(item);
        }
    }
    if (pattern.items_.empty()) {
        why = "empty pattern";
        return std::nullopt;
    }
    return pattern;
}

std::optional<std::pair<size_t, size_t>> ZVTTextPattern::nextMatch(const std::string& text,
                                                                   size_t from) const {
    // One pass over the text with every state's earliest start (a state reached from two starts
    // keeps the earlier one); a new start is tried at each character until some match is
    // found, and the pass ends when no state is left. The match is the leftmost, and of those
    // the longest.
    constexpr size_t kNone = static_cast<size_t>(-1);
    const size_t n = items_.size();
    std::vector<size_t> now(n + 1, kNone), next(n + 1, kNone);
    std::optional<std::pair<size_t, size_t>> best;
    auto offer = [&](std::vector<size_t>& states, size_t state, size_t start) {
        if (start < states[state]) states[state] = start;
    };
    auto close = [&](std::vector<size_t>& states, size_t end) {
        for (size_t s = 0; s < n; ++s) {
            if (states[s] != kNone && items_[s].optional) offer(states, s + 1, states[s]);
        }
        const size_t start = states[n];
        if (start == kNone || end == start) return;  // empty matches do not count
        if (!best || start < best->first || (start == best->first && end > best->second)) {
            best = std::make_pair(start, end);
        }
    };
    for (size_t at = from; at <= text.size(); ++at) {
        if (!best) {
            offer(now, 0, at);
        } else {
            for (auto& start : now) {
                if (start != kNone && start > best->first) start = kNone;
            }
        }
        close(now, at);
        if (at == text.size()) break;
        const unsigned char c = static_cast<unsigned char>(text[at]);
        std::fill(next.begin(), next.end(), kNone);
        bool alive = false;
        for (size_t s = 0; s < n; ++s) {
            if (now[s] == kNone || !items_[s].accepts.test(c)) continue;
            offer(next, items_[s].repeats ? s : s + 1, now[s]);
            alive = true;
        }
        now.swap(next);
        if (!alive && best) break;
        if (!alive) std::fill(now.begin(), now.end(), kNone);
        close(now, at + 1);
        // The match state has no step of its own: it is cleared before the next character.
        now[n] = kNone;
    }
    return best;
}

std::string ZVTTextPattern::replaceAll(const std::string& text,
                                       const std::string& replacement) const {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const auto match = nextMatch(text, at);
        if (!match) break;
        out.append(text, at, match->first - at);
        for (size_t r = 0; r < replacement.size(); ++r) {
            const bool marker = replacement[r] == '$' && r + 1 < replacement.size();
            if (marker && replacement[r + 1] == '&') {
                out.append(text, match->first, match->second - match->first);
                ++r;
            } else if (marker && replacement[r + 1] == '$') {
                out += '$';
                ++r;
            } else {
                out += replacement[r];
            }
        }
        at = match->second;
    }
    if (at < text.size()) out.append(text, at, std::string::npos);
    return out;
}
