#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// The track pane's own images, drawn once on first use: the tool-bar icons ("Resize Diagonal
// Filled", "Expand", "Unpin", "Pin", "Paint Bucket Filled", "Paint Bucket", "Menu", "More") and
// the start/finish flags ("flag": the start/finish gate, "flag2": the separate finish gate).
// An unknown name gives a null icon or image. Main thread only.
namespace MVTrackIcons {

QIcon icon(const QString& name);
QImage image(const QString& name);

}  // namespace MVTrackIcons
