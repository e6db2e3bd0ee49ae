#pragma once

#include "session/MVHelperKeys.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QVector>

class QWidget;

// The shared colours and fonts of the windows, and the small drawing helpers that go with them.
// The plain RGB values, keys and sizes of the same helper live in session/MVHelperKeys.h; the
// colours here are those values as Qt colours, in MVHelper::Gui so that their names do not clash
// with the RGB ones.
//
// Every colour and font is made once, on first use, and the same object is returned on every
// later call; the once-only slots are safe from any thread. The widget helpers are main thread
// only.
namespace MVHelper {

QColor toQColor(const MVRGB& rgb);

namespace Gui {

// Lap comparison colours: the faster and the slower of two compared laps.
const QColor& FasterColor();
const QColor& SlowerColor();
const QColor& SelectColor();
const QColor& WhiteColor();
const QColor& DarkGrayColor();
// Panel background.
const QColor& DarkBlueColor();
const QColor& LightBlueColor();
// Black (spelled as the rest of the program knows it).
const QColor& BackgoundColor();
// Light grey: text on dark backgrounds.
const QColor& BrightColorOnBackground();
// Light red: a refusal or failure told on the dark panels, at 4.5:1 or better on the dark blue
// (pure red reads at under 4:1 there).
const QColor& RefusalColor();
// The 11 lap colours, in order; the same list object on every call.
const QVector<QColor>& ColorArray();

}  // namespace Gui

// 15 px regular sans (the system sans face, DejaVu Sans on Debian).
const QFont& BigTextFont();
// The same face and size as BigTextFont (regular, not bold), kept as an object of its own.
const QFont& BigTextBoldFont();
// 12 px light sans.
const QFont& SmallTextFont();
// 12 px bold sans.
const QFont& SmallTextBoldFont();

// Give the widget a solid background of the colour, replacing any background it had. Main
// thread only.
void addLightBlueLayerForViewWithView(QWidget* view);
void addDarkBlueLayerForViewWithView(QWidget* view);
void addColorLayerWithColor(const QColor& color, QWidget* view);

// Height and width of the text set in one line in the font.
double calculateHeightWithString(const QString& text, const QFont& font);
double calculateWidthWithString(const QString& text, const QFont& font);

}  // namespace MVHelper
