#include "app/MVLapTableFormat.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include <QFontMetrics>
#include <QHeaderView>

#include <algorithm>
#include <cmath>

namespace MVLapTable {

QString stringOfMinAndSeconds(double seconds) {
    // Hundredths are counted in 64 bits; beyond about 2^53 hundredths the count is no longer
    // exact, and no lap lasts that long.
    constexpr double kLargest = 9.0e15;
    if (!std::isfinite(seconds)) return notAvailableText();
    const double magnitude = std::fabs(seconds) * 100.0 + 0.5;
    if (magnitude >= kLargest) return notAvailableText();
    const auto hundredths = static_cast<long long>(magnitude);
    const QString text = QString::asprintf("%02lld:%02lld.%02lld", hundredths / 6000,
                                           hundredths / 100 % 60, hundredths % 100);
    return seconds < 0 && hundredths > 0 ? QStringLiteral("-") + text : text;
}

bool printsAsZero(double value) {
    return std::isfinite(value) && QString::asprintf("%.2f", std::fabs(value)) == u"0.00";
}

QString gapText(double gap) {
    if (printsAsZero(gap)) return hundredthsText(0.0);
    return gap > 0 ? QString::asprintf("+%3.2f", gap) : QString::asprintf("%3.2f", gap);
}

QColor gapColor(double gap) {
    if (printsAsZero(gap)) return MVHelper::Gui::BrightColorOnBackground();
    if (gap < 0) return MVHelper::Gui::FasterColor();
    if (gap > 0) return MVHelper::Gui::SlowerColor();
    return MVHelper::Gui::BrightColorOnBackground();
}

QString hundredthsText(double value) {
    return QString::asprintf("%3.2f", value);
}

QString tenthsText(double value) {
    return QString::asprintf("%3.1f", value);
}

QString notAvailableText() {
    return QStringLiteral("N/A");
}

int sectorColumnMinimumWidth() {
    constexpr int kPadding = 8;
    const QFontMetrics cell(MVHelper::SmallTextBoldFont());
    return std::max({kSectorColumnWidth,
                     cell.horizontalAdvance(QStringLiteral("+00.00")) + kPadding,
                     cell.horizontalAdvance(QStringLiteral("100.00")) + kPadding});
}

void setUpColumns(MVTableView& table, int fixedColumnCount) {
    QHeaderView* header = table.horizontalHeader();
    const std::array<int, 5> widths = fixedColumnWidths();
    header->setMinimumSectionSize(widths[0]);
    const int fixed = std::min(fixedColumnCount, table.model() ? table.model()->columnCount() : 0);
    for (int column = 0; column < fixed; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, widths[static_cast<std::size_t>(column)]);
    }
    table.setUniformColumns(fixedColumnCount, sectorColumnMinimumWidth());
}

std::array<int, 5> fixedColumnWidths() {
    constexpr int kPadding = 8;
    const QFontMetrics title(MVHelper::BigTextFont());
    const QFontMetrics cell(MVHelper::SmallTextBoldFont());
    auto fit = [&](int least, const char* heading, const char* widest) {
        return std::max({least, title.horizontalAdvance(QString::fromLatin1(heading)) + kPadding,
                         cell.horizontalAdvance(QString::fromLatin1(widest)) + kPadding});
    };
    return {32, fit(36, "Lap", "Ideal Lap"), fit(55, "Time", "00:00.00"),
            fit(40, "Delta", "+00.00"), fit(40, "VMax", "000.0")};
}

std::size_t boundaryCount(const MVLap& lap) {
    return lap.sectors() ? lap.sectors()->count() : 0;
}

std::optional<double> sectorTime(const MVLap& lap, std::int64_t k) {
    if (k < 1 || static_cast<std::size_t>(k) >= boundaryCount(lap)) return std::nullopt;
    const std::vector<double>& boundaries = lap.sectors()->values();
    const double time =
        boundaries[static_cast<std::size_t>(k)] - boundaries[static_cast<std::size_t>(k) - 1];
    if (time == 0.0 || !std::isfinite(time)) return std::nullopt;
    return time;
}

std::vector<std::optional<double>> bestSectorTimes(const MVLaps& laps, std::size_t boundaryCount) {
    std::vector<std::optional<double>> best;
    best.reserve(boundaryCount == 0 ? 1 : boundaryCount);
    best.emplace_back(0.0);
    for (std::size_t k = 1; k < boundaryCount; ++k) {
        std::optional<double> smallest;
        for (const MVLapPtr& lap : laps.data()) {
            const std::optional<double> time = sectorTime(*lap, static_cast<std::int64_t>(k));
            if (time && (!smallest || *time < *smallest)) smallest = time;
        }
        best.push_back(smallest);
    }
    return best;
}

}  // namespace MVLapTable
