#pragma once

#include "session/MVGLDFileManager.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Renaming a session file together with its video files. The session file "<old>.gld" becomes
// "<new>.gld" in its folder; each video "<anything><nnnn>.<ext>" becomes "<new><nnnn>.<ext>" in
// its own folder (nnnn: the last four characters of the old name without extension, its video
// number); and the session file's "[avi]" section is rewritten to name the videos by the new
// base name:
//   "[avi]" CR LF, the new name CR LF, the extension of the last video moved CR LF (left out when
//   it is "avi" or "AVI"), CR LF
// with everything before the "[avi]" (or "[AVI]") line and everything from the "[column names]"
// line after it kept byte for byte. The "nil.nil" placeholder that stands for "no video" is not a
// file: it is left out of the moves and kept in the video list as it is.
//
// All or nothing: every check is made before anything is moved, no move ever replaces an existing
// file (a target that appears meanwhile makes the move fail), and when a later step fails the
// files already moved are put back under their old names. The new session text is written in
// full and flushed to a temporary file in the session's folder before any move, and replaces the
// moved session file only after every video was moved. Refused, leaving every file untouched:
//   - a new name that is not printable ASCII (every reader of session files demands ASCII; line
//     breaks would also split the "[avi]" section), holds "/", is "." or "..", or reads as a
//     section line ("[...]");
//   - a target that exists, or two moves with one target;
//   - a session file or video that is not there;
//   - a session file whose "[avi]" section has no "[column names]" line after it, when videos are
//     moved (the rewrite would drop everything after the section, the samples included).
// No name, an empty name or the current name changes nothing.
//
// renameSession() and both changeFileName() write every refusal and failure to the system log
// (standard error), one line each, control bytes shown as \xNN; "NO video attached!" is logged
// for a renamed session file without an "[avi]" section. Nothing throws.
// The functions touch only the files named and the objects passed in; call them where nothing
// else writes those. For a loaded session that is the manager's loading queue, where its lists
// are written: called elsewhere on the shared manager, the rename finds its new address refused,
// puts every file back and answers Failed.
namespace MVSessionFileRename {

enum class Status {
    Renamed,           // everything moved; the session text rewritten where it names videos
    Unchanged,         // no name, an empty name or the current name: nothing to do
    InvalidName,       // refused: the new name cannot be a session or video file name
    SessionNotLoaded,  // refused: the manager holds no session of that file
    SourceMissing,     // refused: the session file or a video is not there
    TargetExists,      // refused or failed: a target name is taken (nothing replaced)
    DuplicateTarget,   // refused: two files would get the same new name
    NoColumnNames,     // refused: "[avi]" without "[column names]" after it
    Failed,            // an input/output error, or the manager refused the new address;
                       // everything moved was put back
};

// What a rename did. On success the session file's new address and the video list with every
// moved video under its new address (placeholders as they were); otherwise the addresses given.
struct Result {
    Status status = Status::Unchanged;
    std::string message;  // the logged line; empty for Renamed and Unchanged
    std::filesystem::path sessionURL;
    std::vector<std::filesystem::path> videoURLs;

    bool renamed() const { return status == Status::Renamed; }
};

// A checked rename, ready to be carried out. Made by prepare(); carried out by commit().
struct Plan {
    Status status = Status::Unchanged;  // Renamed: ready to commit; anything else: refused
    std::string message;
    std::filesystem::path sessionFrom;
    std::filesystem::path sessionTo;
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> videoMoves;  // in order
    std::vector<std::filesystem::path> oldVideoURLs;
    std::vector<std::filesystem::path> newVideoURLs;
    std::optional<std::string> newSessionText;  // the whole rewritten file, when it is rewritten
    bool hasVideoSection = false;

    bool ready() const { return status == Status::Renamed; }
};

// True when `name` may become a session base name: non-empty printable ASCII (0x20 to 0x7E)
// without "/", not "." or "..", and not of the form "[...]".
bool isValidBaseName(const std::string& name);
// The new name of one video: base name + the last four characters of the old name without its
// extension (all of it when shorter) + "." + the old extension, in the old folder.
std::filesystem::path newVideoURL(const std::filesystem::path& videoURL,
                                  const std::string& newName);
// The session text with its video section naming `newName` and `extension`; nullopt when the
// text has no "[avi]"/"[AVI]" line or no "[column names]" line after it.
std::optional<std::string> rewriteVideoSection(const std::string& text, const std::string& newName,
                                               const std::string& extension);

// Checks everything and computes the moves and the new text; touches nothing.
Plan prepare(const std::string& newName, const std::filesystem::path& sessionURL,
             const std::vector<std::filesystem::path>& videoURLs);
// Asked once every file is moved, before the rewritten session text replaces the moved session
// file: false (with the reason in `error`) puts every file back, and the rename answers Failed.
using MovedCheck = std::function<bool(const Plan& plan, std::string& error)>;

// Carries out a ready plan (all or nothing, see above). A plan that is not ready is returned as
// its refusal, untouched.
Result commit(const Plan& plan, const MovedCheck& whenMoved = {});
// prepare() and commit() in one, with the result logged.
Result renameSession(const std::string& newName, const std::filesystem::path& sessionURL,
                     const std::vector<std::filesystem::path>& videoURLs,
                     const MovedCheck& whenMoved = {});

// Renames a loaded session: the session of `gldURL` (the manager entry loaded from that address,
// else the one whose display name is the file name without extension) and the videos of its
// whole-file lap. On success the whole-file lap's videoURLs become the new addresses, every other
// lap of the session has its video addresses mapped likewise, and the session's stored address in
// arrayOfGLDURLs becomes the new file, so that a re-parse finds it. The display name and the
// other lists stay as they are until the session is loaded again. On the manager's loading
// queue only (for a manager bound to it): elsewhere the address write is refused, every file is
// put back and the answer is Failed, with laps and addresses as they were.
Result changeFileName(const std::string& newName, const std::filesystem::path& gldURL,
                      MVGLDFileManager& manager = MVGLDFileManager::sharedManager());

// Renames the session file of a summary: `url` and `arrayOfVideoURLs` are the summary's own
// fields; on success they become the new addresses, otherwise they stay as they are.
Result changeFileName(const std::string& newName, std::filesystem::path& url,
                      std::vector<std::filesystem::path>& arrayOfVideoURLs);

}  // namespace MVSessionFileRename
