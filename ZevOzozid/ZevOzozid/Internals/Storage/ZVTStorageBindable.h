#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A value bound to one "?" of a prepared statement.
class ZVTStorageBindableType {
  public:
    virtual ~ZVTStorageBindableType() = default;
    // SQLite result code; index is 1-based.
    virtual int bindWithStatement(sqlite3_stmt* statement, int index) const = 0;
};

// Text bound as UTF-8 (SQLite copies it); absent text binds NULL.
class ZVTStorageTextType : public ZVTStorageBindableType {
  public:
    explicit ZVTStorageTextType(std::optional<std::string> value) : value_(std::move(value)) {}
    int bindWithStatement(sqlite3_stmt* statement, int index) const override;
    const std::optional<std::string>& value() const { return value_; }

  private:
    std::optional<std::string> value_;
};

// A signed 64-bit integer; absent binds 0.
class ZVTStorageNumberType : public ZVTStorageBindableType {
  public:
    explicit ZVTStorageNumberType(std::optional<int64_t> value) : value_(value) {}
    int bindWithStatement(sqlite3_stmt* statement, int index) const override;

  private:
    std::optional<int64_t> value_;
};

// Values for placeholders 1..n, in order.
class ZVTStorageBindableArray {
  public:
    void addString(std::optional<std::string> value);
    void addNumber(std::optional<int64_t> value);
    // The first non-zero bind result (logged), else 0.
    int bindAllValuesWithStatement(sqlite3_stmt* statement, sqlite3* db) const;
    size_t size() const { return values_.size(); }

  private:
    std::vector<std::unique_ptr<ZVTStorageBindableType>> values_;
};

// A column value read back: NULL, an integer or text.
using ZVTDBValue = std::variant<std::monostate, int64_t, std::string>;
using ZVTDBRow = std::vector<ZVTDBValue>;
