#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

// How a column title of the lap tables is drawn: a flat fill and a centred title in the big
// font, coloured by what the column holds. Titles are tested case-sensitively, in this order:
//   contains "S"                  a sector column (S1, S2, ...): lap colour (n - 1) mod 11,
//                                 n the number after the first character; dark blue text;
//   contains "L" but not "Lap"    a lap segment of the whole-session table (L1, ...): the same;
//   contains "Channel"            light blue, white text;
//   anything else                 dark grey, white text ("Lap", "Time", "Delta", "VMax", ...).
// The number is read like a C integer prefix (0 when there is none) and the index is taken on
// unsigned 64-bit values, so a title without a number uses the fifth colour.
class MVTableHeaderCell {
  public:
    struct Look {
        QColor fill;
        QColor text;
    };

    static Look lookForTitle(const QString& title);
    // Draws the cell in `frame`; no title draws nothing.
    static void draw(QPainter& painter, const QRectF& frame, const std::optional<QString>& title);

    static double heightOfString(const QString& text, const QFont& font);
    static double widthOfString(const QString& text, const QFont& font);
};
