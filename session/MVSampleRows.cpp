#include "session/MVSampleRows.h"

#include "session/MVGLDFormat.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace {

constexpr char kFieldEnd = '\n';

const char* fieldEndAt(const char* at, const char* last) {
    const void* found = std::memchr(at, kFieldEnd, static_cast<std::size_t>(last - at));
    return found ? static_cast<const char*>(found) : last;
}

}  // namespace

// ---- MVSampleRowView --------------------------------------------------------------------------

std::string_view MVSampleRowView::const_iterator::operator*() const {
    const char* end = at_;
    while (*end != kFieldEnd) ++end;
    return std::string_view(at_, static_cast<std::size_t>(end - at_));
}

MVSampleRowView::const_iterator& MVSampleRowView::const_iterator::operator++() {
    while (*at_ != kFieldEnd) ++at_;
    ++at_;
    return *this;
}

std::size_t MVSampleRowView::size() const {
    return static_cast<std::size_t>(std::count(text_.begin(), text_.end(), kFieldEnd));
}

std::string_view MVSampleRowView::operator[](std::size_t k) const {
    const char* at = text_.data();
    const char* last = at + text_.size();
    for (; k > 0 && at < last; --k) at = fieldEndAt(at, last) + 1;
    if (at >= last) return {};
    return std::string_view(at, static_cast<std::size_t>(fieldEndAt(at, last) - at));
}

std::string MVSampleRowView::at(std::size_t k) const {
    if (k >= size()) throw std::out_of_range("MVSampleRowView::at");
    return std::string((*this)[k]);
}

MVSampleRow MVSampleRowView::fields() const {
    MVSampleRow row;
    for (std::string_view field : *this) row.emplace_back(field);
    return row;
}

bool MVSampleRowView::operator==(const MVSampleRow& other) const {
    auto it = begin();
    for (const std::string& field : other) {
        if (it == end() || *it != field) return false;
        ++it;
    }
    return it == end();
}

std::ostream& operator<<(std::ostream& out, const MVSampleRowView& row) {
    out << "{";
    bool first = true;
    for (std::string_view field : row) {
        out << (first ? "\"" : ", \"") << field << "\"";
        first = false;
    }
    return out << "}";
}

// ---- MVSampleRows -----------------------------------------------------------------------------

MVSampleRows::MVSampleRows(std::initializer_list<MVSampleRow> rows) {
    for (const MVSampleRow& row : rows) push_back(row);
}

MVSampleRowView MVSampleRows::operator[](std::size_t row) const {
    const std::size_t start = rowStarts_[row];
    const std::size_t end = row + 1 < rowStarts_.size() ? rowStarts_[row + 1] : text_.size();
    return MVSampleRowView(text_.data() + start, end - start);
}

MVSampleRowView MVSampleRows::at(std::size_t row) const {
    if (row >= size()) throw std::out_of_range("MVSampleRows::at");
    return (*this)[row];
}

const std::vector<double>* MVSampleRows::doubleColumn(std::size_t column) const {
    for (const auto& c : doubles_) {
        if (c.column == column) return &c.values;
    }
    return nullptr;
}

const std::vector<float>* MVSampleRows::floatColumn(std::size_t column) const {
    for (const auto& c : floats_) {
        if (c.column == column) return &c.values;
    }
    return nullptr;
}

void MVSampleRows::keepNumberColumns(std::vector<std::size_t> doubleColumns,
                                     std::vector<std::size_t> floatColumns) {
    doubles_.clear();
    floats_.clear();
    for (std::size_t column : doubleColumns) doubles_.push_back({column, {}});
    for (std::size_t column : floatColumns) floats_.push_back({column, {}});
    for (std::size_t row = 0; row < size(); ++row) cacheRowNumbers(row);
}

void MVSampleRows::reserve(std::size_t rows, std::size_t textBytes) {
    rowStarts_.reserve(rows);
    text_.reserve(textBytes);
    for (auto& c : doubles_) c.values.reserve(rows);
    for (auto& c : floats_) c.values.reserve(rows);
}

void MVSampleRows::push_back(const MVSampleRow& row) {
    beginRow();
    for (const std::string& field : row) appendField(field);
    endRow();
}

void MVSampleRows::beginRow() {
    rowStarts_.push_back(text_.size());
}

void MVSampleRows::appendField(std::string_view field) {
    text_.append(field);
    text_.push_back(kFieldEnd);
}

void MVSampleRows::endRow() {
    cacheRowNumbers(size() - 1);
}

void MVSampleRows::appendRow(std::string_view fields, std::span<const double> doubles,
                             std::span<const float> floats) {
    rowStarts_.push_back(text_.size());
    text_.append(fields);
    for (std::size_t k = 0; k < doubles_.size() && k < doubles.size(); ++k) {
        doubles_[k].values.push_back(doubles[k]);
    }
    for (std::size_t k = 0; k < floats_.size() && k < floats.size(); ++k) {
        floats_[k].values.push_back(floats[k]);
    }
}

void MVSampleRows::keepEvery(std::size_t step, bool keepLast) {
    if (step <= 1 || empty()) return;
    const std::size_t last = size() - 1;
    const bool lastToo = keepLast && last % step != 0;
    const std::size_t kept = (size() + step - 1) / step + (lastToo ? 1 : 0);
    std::size_t textEnd = 0;
    for (std::size_t to = 0; to < kept; ++to) {
        const std::size_t from = lastToo && to + 1 == kept ? last : to * step;
        const std::size_t start = rowStarts_[from];
        const std::size_t end = from + 1 < rowStarts_.size() ? rowStarts_[from + 1] : text_.size();
        // Rows only move towards the front, so the text of a later row is never overwritten
        // before it is moved.
        std::memmove(text_.data() + textEnd, text_.data() + start, end - start);
        rowStarts_[to] = textEnd;
        textEnd += end - start;
        for (auto& c : doubles_) c.values[to] = c.values[from];
        for (auto& c : floats_) c.values[to] = c.values[from];
    }
    text_.resize(textEnd);
    rowStarts_.resize(kept);
    for (auto& c : doubles_) c.values.resize(kept);
    for (auto& c : floats_) c.values.resize(kept);
}

void MVSampleRows::cacheRowNumbers(std::size_t row) {
    if (doubles_.empty() && floats_.empty()) return;
    const MVSampleRowView view = (*this)[row];
    for (auto& c : doubles_) c.values.push_back(MVGLDFormat::doubleValue(view[c.column]));
    for (auto& c : floats_) c.values.push_back(MVGLDFormat::floatValue(view[c.column]));
}

void MVSampleRows::shrinkToFit() {
    // The text keeps its room: copying it would cost time and a second buffer for a moment, and
    // room that no row reached was never touched, so it takes address space only.
    rowStarts_.shrink_to_fit();
    for (auto& c : doubles_) c.values.shrink_to_fit();
    for (auto& c : floats_) c.values.shrink_to_fit();
}

void MVSampleRows::dropNumberColumns() {
    doubles_ = {};
    floats_ = {};
}

std::size_t MVSampleRows::byteSize() const {
    // The text's spare room is address space that no row has touched: not counted.
    std::size_t bytes = text_.size() + rowStarts_.capacity() * sizeof(std::size_t);
    for (const auto& c : doubles_) bytes += c.values.capacity() * sizeof(double);
    for (const auto& c : floats_) bytes += c.values.capacity() * sizeof(float);
    return bytes;
}

bool MVSampleRows::operator==(const MVSampleRows& other) const {
    if (size() != other.size()) return false;
    for (std::size_t i = 0; i < size(); ++i) {
        if (!((*this)[i] == other[i])) return false;
    }
    return true;
}

std::ostream& operator<<(std::ostream& out, const MVSampleRows& rows) {
    out << "{";
    for (std::size_t i = 0; i < rows.size(); ++i) out << (i ? ", " : "") << rows[i];
    return out << "}";
}
