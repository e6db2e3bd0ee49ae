#pragma once

#include <QSize>

#include <functional>

class QFileDialog;
class QWidget;

// The open panel of the Open command: "Choose a gld file", one existing session file (*.gld),
// window-modal on the main window and deleted when closed. Its file list shows in detail (name,
// size, date), the size and date as wide as their contents, the name taking the rest;
// the session preview stands beside the list, in the panel's splitter
// (object name "openPanelAccessory"), as file dialogs with a preview do. The default size has room
// for at least ten rows of the list and is cut to the available area of the window's screen.
// Main thread only.
namespace MVOpenPanel {

// Makes the preview inside its area (the parent given); none: the area stays empty.
using AccessoryFactory = std::function<QWidget*(QWidget* parent)>;

// The panel's size when the screen has room for it.
inline constexpr QSize kDefaultSize{1200, 660};
// The least width of the preview area.
inline constexpr int kAccessoryWidth = 400;

// A new panel over `window` (not yet shown).
QFileDialog* create(QWidget* window, const AccessoryFactory& accessory);

// Calls `chosen` with the path of the item the user has come to in `panel`, however it was
// chosen: a click, the arrow keys in the list, or a name typed and completed in the name field.
// It may be called more than once with the same path.
void followSelection(QFileDialog& panel, const std::function<void(const QString& path)>& chosen);

}  // namespace MVOpenPanel
