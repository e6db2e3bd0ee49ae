#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>

// Copies what can still be read of a damaged SQLite file into an open database: for every
// table of the schema, each row that can be read, with the schema's own columns and its row id,
// in one transaction. Rows behind a damaged page are skipped by seeking past it (a doubling
// step, then halving back, so no readable row after the damage is missed); a row the target
// refuses (a constraint, a value of the wrong kind) is left out. Stops early when the target is
// full. Runs on the caller's thread; never changes the damaged file's rows.
class ZVTDBSalvage {
  public:
    // The number of rows copied.
    static uint64_t copyReadableRows(const std::filesystem::path& damaged,
                                     const ZVTDBSchema& schema, sqlite3* target);
};
