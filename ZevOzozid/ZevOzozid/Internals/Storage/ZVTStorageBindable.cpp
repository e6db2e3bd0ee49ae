#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorageBindable.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

int ZVTStorageTextType::bindWithStatement(sqlite3_stmt* statement, int index) const {
    if (!value_) return sqlite3_bind_null(statement, index);
    return sqlite3_bind_text(statement, index, value_->c_str(), static_cast<int>(value_->size()),
                             SQLITE_TRANSIENT);
}

int ZVTStorageNumberType::bindWithStatement(sqlite3_stmt* statement, int index) const {
    return sqlite3_bind_int64(statement, index, value_.value_or(0));
}

void ZVTStorageBindableArray::addString(std::optional<std::string> value) {
    values_.push_back(std::make_unique<ZVTStorageTextType>(std::move(value)));
}

void ZVTStorageBindableArray::addNumber(std::optional<int64_t> value) {
    values_.push_back(std::make_unique<ZVTStorageNumberType>(value));
}

int ZVTStorageBindableArray::bindAllValuesWithStatement(sqlite3_stmt* statement,
                                                        sqlite3* db) const {
    for (size_t i = 0; i < values_.size(); ++i) {
        int rc = values_[i]->bindWithStatement(statement, static_cast<int>(i + 1));
        if (rc != SQLITE_OK) {
            ZVTLogError(kZVTLogTag, "Binding query parameter ", i + 1, " failed with error: ", rc,
                        ". Message: ", sqlite3_errmsg(db));
            return rc;
        }
    }
    return SQLITE_OK;
}
