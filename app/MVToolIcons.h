#pragma once

#include <QIcon>
#include <QString>

// The tool-button images of the main window, drawn by the program itself: "Folder", "Junk",
// "SD", "CSV", "Prev", "Play", "Next", "Map", "Layout" and "Config". An unknown name gives a
// null icon. Each image is drawn once per run and shared. Main thread only.
namespace MVToolIcons {

inline constexpr int kImageSize = 28;

QIcon image(const QString& name);

}  // namespace MVToolIcons
