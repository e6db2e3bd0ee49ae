#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBDamagedCopies.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSides[] = {"", "-wal", "-shm"};

fs::path withSuffix(fs::path path, const std::string& suffix) {
    path += suffix;
    return path;
}

fs::path copyName(const fs::path& file, int number) {
    return withSuffix(file,
                      number == 1 ? std::string(".corrupt") : ".corrupt-" + std::to_string(number));
}

// The numbers of the copies of `file` in its folder, ascending.
std::vector<int> copyNumbers(const fs::path& file) {
    std::vector<int> numbers;
    const std::string prefix = file.filename().string() + ".corrupt";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(file.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        if (rest.empty()) {
            numbers.push_back(1);
            continue;
        }
        if (rest[0] != '-' || rest.size() < 2) continue;
        char* end = nullptr;
        const long n = std::strtol(rest.c_str() + 1, &end, 10);
        if (*end == '\0' && n >= 2 && n <= 10000) numbers.push_back(static_cast<int>(n));
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

int64_t bytesOf(const fs::path& copy) {
    int64_t total = 0;
    for (const char* side : kSides) {
        std::error_code ec;
        const auto size = fs::file_size(withSuffix(copy, side), ec);
        if (!ec) total += static_cast<int64_t>(size);
    }
    return total;
}

}  // namespace

std::optional<fs::path> ZVTDBDamagedCopies::nextName(const fs::path& file) {
    const std::vector<int> numbers = copyNumbers(file);
    const int next = numbers.empty() ? 1 : numbers.back() + 1;
    if (next > 10000) return std::nullopt;
    return copyName(file, next);
}

int64_t ZVTDBDamagedCopies::keepNewest(const fs::path& file, int64_t budget) {
    const std::vector<int> numbers = copyNumbers(file);
    int64_t kept = 0;
    int keptCount = 0;
    for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
        const fs::path copy = copyName(file, *it);
        const int64_t bytes = bytesOf(copy);
        if (keptCount < kMaxKept && kept + bytes <= budget) {
            kept += bytes;
            ++keptCount;
            continue;
        }
        for (const char* side : kSides) {
            std::error_code ec;
            fs::remove(withSuffix(copy, side), ec);
        }
        ZVTLogInfo(kZVTLogTag, "The damaged copy ", copy.string(), " (", bytes,
                   " bytes) is deleted to keep the store within its size limit; its readable "
                   "rows were copied when it was found.");
    }
    return kept;
}
