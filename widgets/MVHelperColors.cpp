#include "widgets/MVHelperColors.h"

#include <QFontMetricsF>
#include <QPalette>
#include <QWidget>

namespace MVHelper {

namespace {

// The face that stands in for the proprietary sans faces of the original design.
const char* const kSansFace = "DejaVu Sans";

QFont makeFont(int pixelSize, QFont::Weight weight) {
    QFont font(QString::fromLatin1(kSansFace));
    font.setStyleHint(QFont::SansSerif);
    // Sizes are in device-independent pixels, so text fits the fixed row and bar heights.
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

}  // namespace

QColor toQColor(const MVRGB& rgb) {
    return QColor::fromRgbF(static_cast<float>(rgb.red), static_cast<float>(rgb.green),
                            static_cast<float>(rgb.blue), 1.0f);
}

namespace Gui {

// Function-local statics: made once under the compiler's thread-safe guard, never freed.
#define MV_GUI_COLOR(function)                                                   \
    const QColor& function() {                                                   \
        static const QColor* color = new QColor(toQColor(MVHelper::function())); \
        return *color;                                                           \
    }

MV_GUI_COLOR(FasterColor)
MV_GUI_COLOR(SlowerColor)
MV_GUI_COLOR(SelectColor)
MV_GUI_COLOR(WhiteColor)
MV_GUI_COLOR(DarkGrayColor)
MV_GUI_COLOR(DarkBlueColor)
MV_GUI_COLOR(LightBlueColor)
MV_GUI_COLOR(BackgoundColor)
MV_GUI_COLOR(BrightColorOnBackground)

#undef MV_GUI_COLOR

const QColor& RefusalColor() {
    static const QColor* color = new QColor(255, 96, 96);
    return *color;
}

const QVector<QColor>& ColorArray() {
    static const QVector<QColor>* colors = [] {
        auto* list = new QVector<QColor>;
        for (const MVRGB& rgb : MVHelper::ColorArray()) list->append(toQColor(rgb));
        return list;
    }();
    return *colors;
}

}  // namespace Gui

const QFont& BigTextFont() {
    static const QFont* f = new QFont(makeFont(15, QFont::Normal));
    return *f;
}
const QFont& BigTextBoldFont() {
    static const QFont* f = new QFont(makeFont(15, QFont::Normal));
    return *f;
}
const QFont& SmallTextFont() {
    static const QFont* f = new QFont(makeFont(12, QFont::Light));
    return *f;
}
const QFont& SmallTextBoldFont() {
    static const QFont* f = new QFont(makeFont(12, QFont::Bold));
    return *f;
}

void addLightBlueLayerForViewWithView(QWidget* view) {
    addColorLayerWithColor(Gui::LightBlueColor(), view);
}

void addDarkBlueLayerForViewWithView(QWidget* view) {
    addColorLayerWithColor(Gui::DarkBlueColor(), view);
}

void addColorLayerWithColor(const QColor& color, QWidget* view) {
    if (view == nullptr) return;
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, color);
    view->setPalette(palette);
    view->setAutoFillBackground(true);
    view->update();
}

double calculateHeightWithString(const QString& text, const QFont& font) {
    return QFontMetricsF(font).size(Qt::TextSingleLine, text).height();
}

double calculateWidthWithString(const QString& text, const QFont& font) {
    return QFontMetricsF(font).size(Qt::TextSingleLine, text).width();
}

}  // namespace MVHelper
