#pragma once

// A session's sample rows: MVSampleRow (one row as strings, for rows written by hand) and the
// compact store MVSampleRows with its row views.
#include "session/MVSampleRows.h"
