#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

// What the export sheets share: the folder panel, alerts, and the default destination.
// Main thread only.
namespace MVSheetSupport {

// Asks for a folder (starting at `start`); none when the user cancels.
using FolderChooser = std::function<std::optional<std::filesystem::path>(
    QWidget* parent, const std::filesystem::path& start)>;
// Tells the user something went wrong (title, informative text).
using AlertPresenter =
    std::function<void(QWidget* parent, const QString& title, const QString& message)>;

// What the user answers when an export would take the name of a file that is there.
enum class ExistingFileAnswer { Replace, KeepBoth, Cancel };
// Asks what to do about `existing`, the file of the export's name; `keepBoth` is the name Keep
// Both would give the export.
using ExistingFileAsker = std::function<ExistingFileAnswer(
    QWidget* parent, const std::filesystem::path& existing, const std::filesystem::path& keepBoth)>;

// The one question every export asks before it replaces a file: a window-modal alert titled as
// the parent's window, "“<name>” already exists in <folder>.", asking whether to replace it with
// the new `what` ("cut", "file") or keep both (naming `keepBoth`); buttons Replace, Keep Both
// (the default) and Cancel (also Escape). Returns once answered.
ExistingFileAnswer askAboutExistingFile(QWidget* parent, const QString& what,
                                        const std::filesystem::path& existing,
                                        const std::filesystem::path& keepBoth);
// The asker that puts that question about the new `what`.
ExistingFileAsker existingFileAsker(const QString& what);

// The folder panel: "Choose a folder", folders only, folder creation allowed, hidden files not
// shown, one selection.
std::optional<std::filesystem::path> chooseFolder(QWidget* parent,
                                                  const std::filesystem::path& start);
// A warning alert with one "OK" button, window-modal on the parent's window (top-level when
// there is none); returns at once.
void showAlert(QWidget* parent, const QString& title, const QString& message);
// Makes a sheet tall enough for its layout at its current width, so a message that wraps onto
// more lines than it had room for shows whole; it never shrinks the sheet.
void growToFit(QWidget* sheet);
// The user's Desktop folder (XDG), where exports go by default.
std::filesystem::path defaultDestination();

}  // namespace MVSheetSupport
