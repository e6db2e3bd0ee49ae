#include "session/MVSessionFileRename.h"

#include "session/MVGLDFormat.h"
#include "session/MVLaps.h"

#include "platform/Folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MVSessionFileRename {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kVideoNumberLength = 4;

// Control bytes (line breaks, NUL, ...) as \xNN, so that a name never splits or ends a line.
std::string visible(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

void logLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", visible(line).c_str());
}

std::string errnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

bool isPrintableASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7E;
    });
}

// The last `count` characters of a UTF-8 text (never a part of a character).
std::string lastCharacters(const std::string& text, std::size_t count) {
    std::size_t at = text.size();
    for (std::size_t seen = 0; seen < count && at > 0; ++seen) {
        --at;
        while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    }
    return text.substr(at);
}

bool isPlaceholder(const fs::path& videoURL) {
    return videoURL.filename() == fs::path(std::string(MVGLDFormat::kNoVideoFileName));
}

// Position of the first line (delimited by CR and LF) equal to `line` at or after `from`.
std::optional<std::size_t> findLine(const std::string& text, std::string_view line,
                                    std::size_t from) {
    std::size_t start = from;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (std::string_view(text).substr(start, end - start) == line) return start;
        if (end == text.size()) break;
        start = end + 1;
    }
    return std::nullopt;
}

// Start of the line after the one starting at `start`.
std::size_t nextLine(const std::string& text, std::size_t start) {
    const std::size_t end = text.find_first_of("\r\n", start);
    return end == std::string::npos ? text.size() : end + 1;
}

std::optional<std::size_t> findVideoSection(const std::string& text) {
    if (auto at = findLine(text, MVGLDFormat::kAviSection, 0)) return at;
    return findLine(text, MVGLDFormat::kAviSectionUpper, 0);
}

std::optional<std::string> readFile(const fs::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path.string() + ": " + errnoText(errno);
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path.string();
        return std::nullopt;
    }
    return bytes.str();
}

// Moves `from` to `to` unless `to` exists (also as a dangling link); never replaces anything.
bool moveWithoutReplacing(const fs::path& from, const fs::path& to, std::string& error) {
    const int failure = platform::folders::renameWithoutReplacing(from, to);
    if (failure == 0) return true;
    error = "cannot move " + from.string() + " to " + to.string() + ": " + errnoText(failure);
    return false;
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Writes `bytes` to a new temporary file beside `sibling`, with `sibling`'s permission bits,
// flushed to the disk. Returns its path, or nothing (and no file) on failure.
std::optional<fs::path> writeTemporaryBeside(const fs::path& sibling, const std::string& bytes,
                                             std::string& error) {
    std::string pattern =
        (sibling.parent_path() / ("." + sibling.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error =
            "cannot create a temporary file beside " + sibling.string() + ": " + errnoText(errno);
        return std::nullopt;
    }
    const fs::path temporary = pattern;
    auto fail = [&](const std::string& what) {
        error = what + " " + temporary.string() + ": " + errnoText(errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return std::nullopt;
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("cannot write");
        written += static_cast<std::size_t>(n);
    }
    struct stat original {};
    if (::stat(sibling.c_str(), &original) == 0 && ::fchmod(fd, original.st_mode & 07777) != 0) {
        return fail("cannot set the permissions of");
    }
    if (::fsync(fd) != 0) return fail("cannot flush");
    if (::close(fd) != 0) {
        error = "cannot close " + temporary.string() + ": " + errnoText(errno);
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    return temporary;
}

// Checks that no target exists and no two moves share one; fills the plan's refusal if not.
bool checkTargets(Plan& plan) {
    std::vector<fs::path> targets = {plan.sessionTo};
    for (const auto& move : plan.videoMoves) targets.push_back(move.second);
    std::set<fs::path> seen;
    for (const fs::path& target : targets) {
        if (!seen.insert(target.lexically_normal()).second) {
            plan.status = Status::DuplicateTarget;
            plan.message = "two files would be renamed to " + target.string();
            return false;
        }
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(target, ec);
        if (ec && status.type() != fs::file_type::not_found) {
            plan.status = Status::Failed;
            plan.message = "cannot check " + target.string() + ": " + ec.message();
            return false;
        }
        if (fs::exists(status)) {
            plan.status = Status::TargetExists;
            plan.message = target.string() + " already exists";
            return false;
        }
    }
    return true;
}

bool checkSources(Plan& plan) {
    std::vector<fs::path> sources = {plan.sessionFrom};
    for (const auto& move : plan.videoMoves) sources.push_back(move.first);
    for (const fs::path& source : sources) {
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(source, ec))) {
            plan.status = Status::SourceMissing;
            plan.message = source.string() + " does not exist";
            return false;
        }
    }
    return true;
}

// Reads the session file and builds its new text when videos move and it names them.
bool planSessionText(Plan& plan, const std::string& newName) {
    std::string error;
    const auto text = readFile(plan.sessionFrom, error);
    if (!text) {
        plan.status = Status::Failed;
        plan.message = error;
        return false;
    }
    plan.hasVideoSection = findVideoSection(*text).has_value();
    if (!plan.hasVideoSection || plan.videoMoves.empty()) return true;
    const std::string extension = plan.videoMoves.back().second.extension().string();
    const std::string bare = extension.empty() ? extension : extension.substr(1);
    if (!isPrintableASCII(bare)) {
        plan.status = Status::InvalidName;
        plan.message = "the video extension " + bare + " cannot be written to a session file";
        return false;
    }
    plan.newSessionText = rewriteVideoSection(*text, newName, bare);
    if (!plan.newSessionText) {
        plan.status = Status::NoColumnNames;
        plan.message = plan.sessionFrom.string() + " has no [column names] after its [avi] section";
        return false;
    }
    return true;
}

// Moves every (from, to) pair back, last first; returns the files that could not be put back.
std::string moveBack(const std::vector<std::pair<fs::path, fs::path>>& moved) {
    std::string stranded;
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        std::string error;
        if (!moveWithoutReplacing(it->second, it->first, error)) stranded += "; " + error;
    }
    return stranded;
}

}  // namespace

bool isValidBaseName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (!isPrintableASCII(name) || name.find('/') != std::string::npos) return false;
    return !(name.front() == '[' && name.back() == ']');
}

fs::path newVideoURL(const fs::path& videoURL, const std::string& newName) {
    const std::string number = lastCharacters(videoURL.stem().string(), kVideoNumberLength);
    return videoURL.parent_path() / (newName + number + videoURL.extension().string());
}

std::optional<std::string> rewriteVideoSection(const std::string& text, const std::string& newName,
                                               const std::string& extension) {
    const auto marker = findVideoSection(text);
    if (!marker) return std::nullopt;
    const auto columns = findLine(text, MVGLDFormat::kColumnNamesSection, nextLine(text, *marker));
    if (!columns) return std::nullopt;
    const std::string_view lineEnd = MVGLDFormat::kLineEnd;
    std::string result = text.substr(0, *marker);
    result.append(MVGLDFormat::kAviSection).append(lineEnd);
    result.append(newName).append(lineEnd);
    if (extension != "avi" && extension != "AVI") result.append(extension).append(lineEnd);
    result.append(lineEnd);
    result.append(text, *columns, std::string::npos);
    return result;
}

Plan prepare(const std::string& newName, const fs::path& sessionURL,
             const std::vector<fs::path>& videoURLs) {
    Plan plan;
    plan.sessionFrom = sessionURL;
    plan.oldVideoURLs = videoURLs;
    plan.newVideoURLs = videoURLs;
    if (newName.empty() || newName == sessionURL.stem().string()) return plan;
    if (!isValidBaseName(newName)) {
        plan.status = Status::InvalidName;
        plan.message = "\"" + visible(newName) + "\" cannot be a session file name";
        return plan;
    }
    plan.sessionTo =
        sessionURL.parent_path() / (newName + "." + std::string(MVGLDFormat::kFileExtension));
    for (std::size_t i = 0; i < videoURLs.size(); ++i) {
        if (isPlaceholder(videoURLs[i])) continue;
        plan.newVideoURLs[i] = newVideoURL(videoURLs[i], newName);
        plan.videoMoves.emplace_back(videoURLs[i], plan.newVideoURLs[i]);
    }
    if (!checkTargets(plan) || !checkSources(plan) || !planSessionText(plan, newName)) {
        return plan;
    }
    plan.status = Status::Renamed;
    return plan;
}

Result commit(const Plan& plan, const MovedCheck& whenMoved) {
    Result result{plan.status, plan.message, plan.sessionFrom, plan.oldVideoURLs};
    if (!plan.ready()) return result;

    std::string error;
    std::optional<fs::path> temporary;
    if (plan.newSessionText) {
        temporary = writeTemporaryBeside(plan.sessionFrom, *plan.newSessionText, error);
        if (!temporary) {
            result.status = Status::Failed;
            result.message = error;
            return result;
        }
    }
    std::vector<std::pair<fs::path, fs::path>> moved;
    auto fail = [&](Status status) {
        if (temporary) ::unlink(temporary->c_str());
        const std::string stranded = moveBack(moved);
        result.status = status;
        result.message = error + (stranded.empty() ? "" : "; not put back" + stranded);
        return result;
    };
    std::vector<std::pair<fs::path, fs::path>> moves = {{plan.sessionFrom, plan.sessionTo}};
    moves.insert(moves.end(), plan.videoMoves.begin(), plan.videoMoves.end());
    for (const auto& move : moves) {
        if (!moveWithoutReplacing(move.first, move.second, error)) {
            std::error_code ec;
            const bool taken = fs::exists(fs::symlink_status(move.second, ec));
            return fail(taken ? Status::TargetExists : Status::Failed);
        }
        moved.push_back(move);
    }
    if (whenMoved && !whenMoved(plan, error)) return fail(Status::Failed);
    // Replaces the moved session file (the only replacing step, and the last one).
    if (temporary && std::rename(temporary->c_str(), plan.sessionTo.c_str()) != 0) {
        error = "cannot replace " + plan.sessionTo.string() + ": " + errnoText(errno);
        return fail(Status::Failed);
    }
    std::set<fs::path> folders;
    for (const auto& move : moves) folders.insert(move.second.parent_path());
    for (const fs::path& folder : folders) syncFolder(folder);

    result.status = Status::Renamed;
    result.sessionURL = plan.sessionTo;
    result.videoURLs = plan.newVideoURLs;
    return result;
}

Result renameSession(const std::string& newName, const fs::path& sessionURL,
                     const std::vector<fs::path>& videoURLs, const MovedCheck& whenMoved) {
    const Plan plan = prepare(newName, sessionURL, videoURLs);
    Result result = commit(plan, whenMoved);
    if (!result.message.empty()) logLine(result.message);
    if (result.renamed() && !plan.hasVideoSection) logLine("NO video attached!");
    return result;
}

namespace {

// The manager's entry for the session file: the one loaded from that address, else the one
// whose display name is the file name without its extension.
std::optional<std::size_t> sessionIndex(const MVGLDFileManager& manager, const fs::path& gldURL) {
    const auto& urls = manager.arrayOfGLDURLs();
    if (urls.size() == manager.gldFileNames().size()) {
        const auto it = std::find(urls.begin(), urls.end(), gldURL);
        if (it != urls.end()) return static_cast<std::size_t>(it - urls.begin());
    }
    return manager.indexOfGLDFileName(gldURL.stem().string());
}

void mapVideoURLs(MVLap& lap, const std::map<fs::path, fs::path>& renamed) {
    if (!lap.videoURLs()) return;
    std::vector<fs::path> urls = *lap.videoURLs();
    for (fs::path& url : urls) {
        const auto it = renamed.find(url);
        if (it != renamed.end()) url = it->second;
    }
    lap.setVideoURLs(std::move(urls));
}

}  // namespace

Result changeFileName(const std::string& newName, const fs::path& gldURL,
                      MVGLDFileManager& manager) {
    if (newName.empty() || newName == gldURL.stem().string()) {
        return Result{Status::Unchanged, {}, gldURL, {}};
    }
    const auto index = sessionIndex(manager, gldURL);
    const auto& wholeLists = manager.arrayOfWholeFileMVLaps();
    const MVLapPtr whole = index && *index < wholeLists.size() && wholeLists[*index]
                               ? wholeLists[*index]->lapAtIndex(0)
                               : nullptr;
    if (!whole) {
        Result result{
            Status::SessionNotLoaded, gldURL.string() + " is not a loaded session", gldURL, {}};
        logLine(result.message);
        return result;
    }
    const std::vector<fs::path> videos = whole->videoURLs().value_or(std::vector<fs::path>{});
    // The session's address changes once every file is moved, before anything else: where the
    // manager refuses the write (off its loading queue), the moves are put back.
    const std::vector<fs::path> oldURLs = manager.arrayOfGLDURLs();
    const auto writeAddress = [&](const Plan& plan, std::string& error) {
        std::vector<fs::path> urls = oldURLs;
        std::replace(urls.begin(), urls.end(), gldURL, plan.sessionTo);
        manager.setArrayOfGLDURLs(urls);
        if (manager.arrayOfGLDURLs() == urls) return true;
        error = "the session manager refused the new address " + plan.sessionTo.string() +
                " (a loaded session is renamed on its loading queue); every file put back";
        return false;
    };
    Result result = renameSession(newName, gldURL, videos, writeAddress);
    if (!result.renamed()) {
        // The address went in but a later step failed: the files are back, and so is it.
        if (manager.arrayOfGLDURLs() != oldURLs) manager.setArrayOfGLDURLs(oldURLs);
        return result;
    }

    std::map<fs::path, fs::path> renamed;
    for (std::size_t i = 0; i < videos.size(); ++i) renamed[videos[i]] = result.videoURLs[i];
    for (const auto* lists : {&manager.arrayOfMVLaps(), &manager.arrayOfAllLaps(),
                              &manager.arrayOfPreciseLaps(), &wholeLists}) {
        if (*index >= lists->size() || !(*lists)[*index]) continue;
        for (const MVLapPtr& lap : (*lists)[*index]->data()) {
            if (lap) mapVideoURLs(*lap, renamed);
        }
    }
    return result;
}

Result changeFileName(const std::string& newName, fs::path& url,
                      std::vector<fs::path>& arrayOfVideoURLs) {
    Result result = renameSession(newName, url, arrayOfVideoURLs);
    if (result.renamed()) {
        url = result.sessionURL;
        arrayOfVideoURLs = result.videoURLs;
    }
    return result;
}

}  // namespace MVSessionFileRename
