#include "app/MVBestIdealLapModel.h"

#include "app/MVLapTableFormat.h"

#include "widgets/MVHelperColors.h"

#include "session/MVSampleValues.h"

MVBestIdealLapModel::MVBestIdealLapModel(MVLapPtr bestLap, MVLapsPtr laps,
                                         std::vector<MVLapPtr> selectedLaps,
                                         const MVGLDFileManager& manager, QObject* parent)
    : QAbstractTableModel(parent),
      manager_(manager),
      bestLap_(std::move(bestLap)),
      laps_(laps ? std::move(laps) : MVLaps::instance()),
      selectedLaps_(std::move(selectedLaps)) {
    const MVLapPtr first = selectedLaps_.empty() ? nullptr : selectedLaps_.front();
    wholeFileSelected_ = first && first->isWholeFileLap();
    const MVLapPtr& columnsLap = first ? first : bestLap_;
    if (columnsLap) {
        const std::size_t boundaries = MVLapTable::boundaryCount(*columnsLap);
        sectorColumns_ = boundaries > 1 ? static_cast<int>(boundaries - 1) : 0;
    }
    calculateIdealLap();
    if (bestLap_) bestLapTopSpeed_ = MVSampleValues(manager_).vmaxWithLap(*bestLap_);
}

void MVBestIdealLapModel::calculateIdealLap() {
    if (wholeFileSelected_ || !bestLap_) return;
    idealLapSectors_ = MVLapTable::bestSectorTimes(*laps_, MVLapTable::boundaryCount(*bestLap_));
    double sum = 0.0;
    for (std::size_t k = 1; k < idealLapSectors_.size(); ++k) {
        if (!idealLapSectors_[k]) return;  // no time for this sector in any lap: no ideal lap
        const std::optional<double> b =
            MVLapTable::sectorTime(*bestLap_, static_cast<std::int64_t>(k));
        sum += *idealLapSectors_[k] - b.value_or(0.0);
    }
    idealLapDuration_ = bestLap_->duration() + sum;
}

int MVBestIdealLapModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || wholeFileSelected_ || !bestLap_) return 0;
    return 2;
}

int MVBestIdealLapModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFixedColumnCount + sectorColumns_;
}

Qt::ItemFlags MVBestIdealLapModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

QVariant MVBestIdealLapModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return QVariant();
    }
    switch (role) {
        case Qt::DisplayRole:
            return cellAt(index.row(), index.column()).text;
        case Qt::ForegroundRole:
            return cellAt(index.row(), index.column()).textColor;
        case Qt::FontRole:
            return MVHelper::SmallTextBoldFont();
        case Qt::TextAlignmentRole:
            return QVariant(int(Qt::AlignCenter));
        default:
            return QVariant();
    }
}

void MVBestIdealLapModel::reload() {
    if (bestLap_) bestLapTopSpeed_ = MVSampleValues(manager_).vmaxWithLap(*bestLap_);
    if (rowCount() == 0) return;
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

MVBestIdealLapModel::Cell MVBestIdealLapModel::cellAt(int row, int column) const {
    Cell cell{QString(), MVHelper::Gui::BrightColorOnBackground()};
    const bool ideal = row == IdealLapRow;
    switch (column) {
        case CheckboxColumn:
            break;
        case TitleColumn:
            cell.text = ideal ? QStringLiteral("Ideal Lap") : QStringLiteral("Best Lap");
            break;
        case DurationColumn:
            if (!ideal) {
                cell.text = MVLapTable::stringOfMinAndSeconds(bestLap_->duration());
            } else if (idealLapDuration_) {
                cell.text = MVLapTable::stringOfMinAndSeconds(*idealLapDuration_);
            } else {
                cell.text = MVLapTable::notAvailableText();
            }
            break;
        case DeltaColumn:
            if (!ideal) {
                cell.text = MVLapTable::hundredthsText(0.0);
            } else if (idealLapDuration_) {
                // A gap of 0 reads "+0.00" in green: the best lap is the ideal lap. A gap that
                // prints as zero reads the same, whichever side of 0 it lies.
                const double d = *idealLapDuration_ - bestLap_->duration();
                const bool zero = MVLapTable::printsAsZero(d);
                cell.text = d < 0 && !zero ? QString::asprintf("%3.2f", d)
                                           : QString::asprintf("+%3.2f", zero ? 0.0 : d);
                cell.textColor =
                    d <= 0 || zero ? MVHelper::Gui::FasterColor() : MVHelper::Gui::SlowerColor();
            } else {
                cell.text = MVLapTable::notAvailableText();
            }
            break;
        case VmaxColumn:
            if (!ideal) cell.text = MVLapTable::tenthsText(bestLapTopSpeed_);
            break;
        default:
            sectorCell(row, column - kFixedColumnCount + 1, cell);
    }
    return cell;
}

void MVBestIdealLapModel::sectorCell(int row, std::int64_t k, Cell& cell) const {
    const std::optional<double> b = MVLapTable::sectorTime(*bestLap_, k);
    if (row == BestLapRow) {
        cell.text = b ? MVLapTable::hundredthsText(*b) : MVLapTable::notAvailableText();
        return;
    }
    const auto uk = static_cast<std::size_t>(k);
    const std::optional<double> i =
        uk < idealLapSectors_.size() ? idealLapSectors_[uk] : std::optional<double>();
    if (!i) {
        cell.text = MVLapTable::notAvailableText();
    } else if (!b) {
        // Nothing to measure against: the ideal sector time itself.
        cell.text = MVLapTable::hundredthsText(*i);
    } else {
        const double g = *i - *b;
        cell.text = MVLapTable::gapText(g);
        cell.textColor = MVLapTable::gapColor(g);
    }
}
