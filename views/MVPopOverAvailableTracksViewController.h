#pragma once

#include "session/MVTrackInfo.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MVTrackCarousel;
class QFileDialog;

// The circuit chooser, shown as a pop-up beside the track tool bar's edit button: a carousel of
// the candidate circuits near the session (preview image and name) and a last item, "Load custom
// circuit overlay". Choosing a candidate posts "MVNotificationTrackChanged" (object: the
// chooser, user info "track": the record); the last item asks for a circuit outline file
// (".cir") and, when the file can be read, posts "MVNotificationOverlayChanged" with a new record
// that carries only the file. A file that cannot be read is refused with an alert and nothing is
// posted. A wheel step beyond ±2, sideways or up and down, moves one item (not while the
// carousel scrolls).
// The pop-up stays open after a choice. Main thread only.
class MVPopOverAvailableTracksViewController : public QWidget {
    Q_OBJECT
  public:
    // Asks for an outline file; nullopt when the user cancels.
    using FileChooser = std::function<std::optional<std::filesystem::path>(QWidget* parent)>;
    // Tells the user why a file was refused.
    using Alert = std::function<void(QWidget* parent, const QString& text)>;

    explicit MVPopOverAvailableTracksViewController(QWidget* parent = nullptr);

    const std::vector<MVTrackInfoPtr>& arrayOfTracks() const { return arrayOfTracks_; }
    void setArrayOfTracks(std::vector<MVTrackInfoPtr> tracks);
    MVTrackCarousel* carousel() const { return carousel_; }

    // Candidates + 1.
    int numberOfItemsInCarousel() const;
    // "Load custom circuit overlay" for the last item, else the candidate's name.
    QString nameOfItemAtIndex(int index) const;
    void didSelectItemAtIndex(int index);
    // A wheel delta (the larger of the sideways and the up-and-down one): below -2 the next item,
    // above 2 the previous one.
    void scrollWheel(double deltaX);

    // Shows the chooser next to the widget's right edge, kept on its screen.
    void showRelativeTo(QWidget* anchor);

    // The outline panel as the default file chooser shows it: one ".cir" file, opened in
    // outlinePanelFolder().
    static std::unique_ptr<QFileDialog> makeOutlinePanel(QWidget* parent);
    // The folder of the last outline file chosen in this run while it exists, else the user's
    // home folder.
    static std::filesystem::path outlinePanelFolder();

    // The preview image of a circuit: a "PNG" file of the circuit database's preview folder
    // named exactly after the circuit first, else the first whose name contains it; none for a
    // nameless circuit.
    static std::optional<std::filesystem::path> previewFileForName(const std::string& name);

    // For tests:
    // Replace the file panel and the alert; the defaults are a window-modal panel and a warning
    // box over the main window.
    void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
    void setAlert(Alert alert) { alert_ = std::move(alert); }

  protected:
    void wheelEvent(QWheelEvent* event) override;

  private:
    void reloadItems();
    void chooseOutlineFile();

    std::vector<MVTrackInfoPtr> arrayOfTracks_;
    MVTrackCarousel* carousel_ = nullptr;
    FileChooser fileChooser_;
    Alert alert_;
};
