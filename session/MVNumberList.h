#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Base of the per-sample and per-lap number lists (speeds, elapsed times, distances, position
// alignment, sector boundaries). Holds one ordered list of doubles; the subclasses decide how a
// value is stored and how a read outside the list behaves. No locks: a list is built by one
// thread and read afterwards.
class MVNumberList {
  public:
    virtual ~MVNumberList() = default;

    // A copy of the whole list; changing it leaves the list alone.
    std::vector<double> data() const { return data_; }
    // Replaces the whole list; values are stored as given (never rounded).
    void setData(std::vector<double> values) { data_ = std::move(values); }

    // Direct read-only view, for loops that must not copy.
    const std::vector<double>& values() const { return data_; }
    std::size_t count() const { return data_.size(); }
    bool empty() const { return data_.empty(); }

    // value * 100 rounded to the nearest whole number (exact halves away from zero), then / 100,
    // all in double precision: 0.125 -> 0.13, -0.005 -> -0.01, 1.005 -> 1.0 (1.005 * 100 is just
    // below 100.5 in binary).
    static double roundToHundredth(double value);

  protected:
    MVNumberList() = default;

    void append(double value) { data_.push_back(value); }
    // Index below 0 reads the first value, at or past the end the last; an empty list reads
    // emptyValue.
    double clampedValue(std::int64_t index, double emptyValue) const;

  private:
    std::vector<double> data_;
};
