#include "ZVCrashReporter/Source/async/SymbolLookup.h"

namespace {

struct symbol_lookup_result {
    char name[256];
    bool found;
    uint64_t address;
};

void symbol_table_result_callback(uint64_t address, const char* name, void* context) {
    auto* result = static_cast<symbol_lookup_result*>(context);
    if (result->found && address < result->address) return;
    size_t n = 0;
    while (n < sizeof result->name - 1 && name[n] != '\0') {
        result->name[n] = name[n];
        ++n;
    }
    result->name[n] = '\0';
    result->address = address;
    result->found = true;
}

}  // namespace

zvcrash_error_t find_symbol_for_address(const elf_image* image, uint32_t strategy, uint64_t address,
                                        symbol_lookup_callback callback, void* context) {
    symbol_lookup_result result;
    result.found = false;
    result.address = 0;
    result.name[0] = '\0';
    zvcrash_error_t table = ZVCRASH_ENOTFOUND;
    if (strategy & ZVCRASH_SYMBOLICATE_SYMBOL_TABLE) {
        table =
            elf_image_find_symbol_by_address(image, address, symbol_table_result_callback, &result);
    }
    if (table != ZVCRASH_ESUCCESS) return ZVCRASH_ENOTFOUND;
    if (!result.found) return ZVCRASH_EINTERNAL;
    callback(result.address, result.name, context);
    return ZVCRASH_ESUCCESS;
}
