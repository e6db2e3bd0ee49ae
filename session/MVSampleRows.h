#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One sample row as separate strings: how rows are written by hand (tests, tools) and handed to
// MVSampleRows::push_back. Field k belongs to channel k of the session's channel list.
using MVSampleRow = std::vector<std::string>;

// A row of an MVSampleRows store: a light view of its fields, valid as long as the store is
// neither changed nor destroyed. Fields are read as text views; `at` copies (and checks).
class MVSampleRowView {
  public:
    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const;
        const_iterator& operator++();
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return at_ == other.at_; }

      private:
        friend class MVSampleRowView;
        explicit const_iterator(const char* at) : at_(at) {}
        const char* at_ = nullptr;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;

    std::size_t size() const;
    bool empty() const { return text_.empty(); }
    // Field k (k < size()); an empty view past the end.
    std::string_view operator[](std::size_t k) const;
    // Field k as a string; throws std::out_of_range past the end, as a vector would.
    std::string at(std::size_t k) const;
    const_iterator begin() const { return const_iterator(text_.data()); }
    const_iterator end() const { return const_iterator(text_.data() + text_.size()); }
    // The fields as separate strings.
    MVSampleRow fields() const;

    bool operator==(const MVSampleRowView& other) const { return text_ == other.text_; }
    bool operator==(const MVSampleRow& other) const;

  private:
    friend class MVSampleRows;
    MVSampleRowView(const char* text, std::size_t size) : text_(text, size) {}
    // Every field followed by '\n' (no field holds a line break).
    std::string_view text_;
};

std::ostream& operator<<(std::ostream& out, const MVSampleRowView& row);

// All kept sample rows of a session, in file order, stored compactly: the text of every field
// once, in one buffer, each field ended by a line feed, and the start of each row in that buffer.
// Besides the text the store can keep a few columns as numbers, read once when the rows are
// added, so the readers that walk a whole column (speeds, times, positions) parse nothing again;
// a cached number is exactly the value MVGLDFormat::doubleValue or ::floatValue gives for the
// field's text. The loading pipeline gives the columns up once it has made a session's series
// and plane points, so a loaded session holds only the text. Rows are appended only; a filled store
// is read from any thread without locks.
class MVSampleRows {
  public:
    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = MVSampleRowView;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = MVSampleRowView;

        const_iterator() = default;
        MVSampleRowView operator*() const { return (*rows_)[at_]; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return at_ == other.at_; }

      private:
        friend class MVSampleRows;
        const_iterator(const MVSampleRows* rows, std::size_t at) : rows_(rows), at_(at) {}
        const MVSampleRows* rows_ = nullptr;
        std::size_t at_ = 0;
    };
    using iterator = const_iterator;
    using value_type = MVSampleRowView;

    MVSampleRows() = default;
    MVSampleRows(std::initializer_list<MVSampleRow> rows);

    std::size_t size() const { return rowStarts_.size(); }
    bool empty() const { return rowStarts_.empty(); }
    MVSampleRowView operator[](std::size_t row) const;
    // Throws std::out_of_range past the end.
    MVSampleRowView at(std::size_t row) const;
    MVSampleRowView front() const { return (*this)[0]; }
    MVSampleRowView back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    // Column `column` of every row as MVGLDFormat::doubleValue (or ::floatValue) of its text,
    // when the store keeps that column as numbers; null otherwise. A row without that field
    // counts 0.
    const std::vector<double>* doubleColumn(std::size_t column) const;
    const std::vector<float>* floatColumn(std::size_t column) const;

    // Filling. Columns to keep as numbers are named before the first row is added.
    void keepNumberColumns(std::vector<std::size_t> doubleColumns,
                           std::vector<std::size_t> floatColumns);
    void reserve(std::size_t rows, std::size_t textBytes);
    void push_back(const MVSampleRow& row);
    // A row field by field: beginRow, appendField for each field in order, endRow.
    void beginRow();
    void appendField(std::string_view field);
    void endRow();
    // A whole row at once: `fields` is the text of its fields, each followed by a line feed, and
    // the numbers of the kept columns in the order they were named (doubles, then floats), each
    // exactly what MVGLDFormat::doubleValue or ::floatValue gives for that field.
    void appendRow(std::string_view fields, std::span<const double> doubles,
                   std::span<const float> floats);
    // Keeps rows 0, step, 2 step, ... and drops the others, in place; with `keepLast` the last
    // row is kept as well.
    void keepEvery(std::size_t step, bool keepLast = false);
    // Releases the spare capacity of the row starts and number columns once the last row is in.
    void shrinkToFit();
    // Gives up the number columns once the walks over whole columns are done: a session keeps
    // only the text, from which every reader gets the very same numbers.
    void dropNumberColumns();

    // Bytes in use (text, row starts, number columns), for memory figures.
    std::size_t byteSize() const;

    bool operator==(const MVSampleRows& other) const;

  private:
    template <typename T>
    struct NumberColumn {
        std::size_t column = 0;
        std::vector<T> values;
    };
    void cacheRowNumbers(std::size_t row);

    std::string text_;
    std::vector<std::size_t> rowStarts_;
    std::vector<NumberColumn<double>> doubles_;
    std::vector<NumberColumn<float>> floats_;
};

std::ostream& operator<<(std::ostream& out, const MVSampleRows& rows);
