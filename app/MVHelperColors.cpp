#include "app/MVHelperColors.h"

#include <QFontMetricsF>
#include <QPalette>
#include <QWidget>

namespace MVHelper {

namespace {

QColor rgb255(int r, int g, int b) {
    return QColor(r, g, b);
}

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

// Function-local statics: made once under the compiler's thread-safe guard, never freed.
const QColor& FasterColor() {
    static const QColor* c = new QColor(QColor::fromRgbF(0.4f, 1.0f, 0.4f));
    return *c;
}
const QColor& SlowerColor() {
    static const QColor* c = new QColor(QColor::fromRgbF(1.0f, 0.4f, 0.4f));
    return *c;
}
const QColor& SelectColor() {
    static const QColor* c = new QColor(rgb255(224, 224, 224));
    return *c;
}
const QColor& WhiteColor() {
    static const QColor* c = new QColor(QColor::fromRgbF(1.0f, 1.0f, 1.0f));
    return *c;
}
const QColor& DarkGrayColor() {
    static const QColor* c = new QColor(rgb255(169, 169, 169));
    return *c;
}
const QColor& DarkBlueColor() {
    static const QColor* c = new QColor(rgb255(2, 37, 57));
    return *c;
}
const QColor& LightBlueColor() {
    static const QColor* c = new QColor(rgb255(30, 144, 255));
    return *c;
}
const QColor& BackgoundColor() {
    static const QColor* c = new QColor(Qt::black);
    return *c;
}
const QColor& BrightColorOnBackground() {
    static const QColor* c = new QColor(Qt::lightGray);
    return *c;
}

const QVector<QColor>& ColorArray() {
    static const QVector<QColor>* colors = new QVector<QColor>{
        QColor(Qt::cyan),      QColor(Qt::yellow),    QColor(Qt::magenta),
        rgb255(255, 128, 0),   // orange
        rgb255(153, 102, 51),  // brown
        rgb255(255, 255, 224), rgb255(255, 182, 193), rgb255(255, 69, 0),
        rgb255(123, 104, 238), rgb255(135, 206, 235), rgb255(210, 105, 30),
    };
    return *colors;
}

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
    addColorLayerWithColor(LightBlueColor(), view);
}

void addDarkBlueLayerForViewWithView(QWidget* view) {
    addColorLayerWithColor(DarkBlueColor(), view);
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
