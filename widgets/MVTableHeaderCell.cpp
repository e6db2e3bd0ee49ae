#include "widgets/MVTableHeaderCell.h"

#include "widgets/MVHelperColors.h"

#include <QPainter>

#include <climits>
#include <cstdint>

namespace {

// The integer at the start of `text`: leading spaces, an optional sign, then digits; 0 when
// there are none; clamped to the int range.
int integerPrefix(const QString& text) {
    int i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

QColor lapColourForTitle(const QString& title) {
    const QVector<QColor>& colours = MVHelper::Gui::ColorArray();
    const int number = integerPrefix(title.mid(1));
    const uint64_t index = (static_cast<uint64_t>(static_cast<int64_t>(number)) - 1u) %
                           static_cast<uint64_t>(colours.size());
    return colours[static_cast<qsizetype>(index)];
}

}  // namespace

MVTableHeaderCell::Look MVTableHeaderCell::lookForTitle(const QString& title) {
    const bool sector = title.contains(QLatin1Char('S'), Qt::CaseSensitive);
    const bool lapSegment = !sector && title.contains(QLatin1Char('L'), Qt::CaseSensitive) &&
                            !title.contains(QStringLiteral("Lap"), Qt::CaseSensitive);
    if (sector || lapSegment) return {lapColourForTitle(title), MVHelper::Gui::DarkBlueColor()};
    if (title.contains(QStringLiteral("Channel"), Qt::CaseSensitive)) {
        return {MVHelper::Gui::LightBlueColor(), QColor(Qt::white)};
    }
    return {QColor(Qt::darkGray), QColor(Qt::white)};
}

void MVTableHeaderCell::draw(QPainter& painter, const QRectF& frame,
                             const std::optional<QString>& title) {
    if (!title) return;
    const Look look = lookForTitle(*title);
    painter.save();
    painter.fillRect(frame, look.fill);
    painter.setFont(MVHelper::BigTextFont());
    painter.setPen(look.text);
    painter.drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, *title);
    painter.restore();
}

double MVTableHeaderCell::heightOfString(const QString& text, const QFont& font) {
    return MVHelper::calculateHeightWithString(text, font);
}

double MVTableHeaderCell::widthOfString(const QString& text, const QFont& font) {
    return MVHelper::calculateWidthWithString(text, font);
}
