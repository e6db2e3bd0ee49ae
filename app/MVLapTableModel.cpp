#include "app/MVLapTableModel.h"

#include "app/MVLapTableCheckBox.h"
#include "app/MVLapTableFormat.h"

#include "widgets/MVHelperColors.h"

#include "session/MVSampleValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Two sector times this close are the same time (the single-precision epsilon, 2^-23).
constexpr double kSameSectorTime = 1.1920928955078125e-7;

// The sector number of a sector column's sort key ("1", "2", ...); nullopt for other keys.
std::optional<std::int64_t> sectorOfKey(const std::string& key) {
    std::int64_t k = 0;
    const char* end = key.data() + key.size();
    const auto [ptr, error] = std::from_chars(key.data(), end, k);
    if (error != std::errc() || ptr != end || k < 1) return std::nullopt;
    return k;
}

template <typename T>
int threeWay(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

MVLapTableModel::MVLapTableModel(MVLapPtr bestLap, MVLapsPtr laps,
                                 std::vector<MVLapPtr> selectedLaps,
                                 const MVGLDFileManager& manager, MVOptionsAndSettings& options,
                                 QObject* parent)
    : QAbstractTableModel(parent),
      manager_(manager),
      options_(options),
      bestLap_(std::move(bestLap)),
      laps_(laps ? std::move(laps) : MVLaps::instance()),
      listOrder_(laps_->data()),
      rows_(listOrder_),
      selectedLaps_(std::move(selectedLaps)) {
    fatestLap_ = laps_->findFastestLap();
    if (!listOrder_.empty()) {
        const MVLap& first = *listOrder_.front();
        wholeFile_ = first.isWholeFileLap();
        const std::size_t boundaries = MVLapTable::boundaryCount(first);
        sectorColumns_ = boundaries > 1 ? static_cast<int>(boundaries - 1) : 0;
    }
    // The best sectors mark the session's best time of each sector; a table built while a
    // whole-session lap is selected has no such marks.
    const bool wholeFileSelected =
        !selectedLaps_.empty() && selectedLaps_.front() && selectedLaps_.front()->isWholeFileLap();
    if (!wholeFileSelected) {
        const std::size_t boundaries = bestLap_ ? MVLapTable::boundaryCount(*bestLap_) : 0;
        idealLapSectors_ = MVLapTable::bestSectorTimes(*laps_, boundaries);
    }
    readTopSpeeds();
    descriptors_ = options_.lapSortDescriptors();
    sortRows();
}

// ---- Model interface --------------------------------------------------------------------------

int MVLapTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MVLapTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFixedColumnCount + sectorColumns_;
}

QVariant MVLapTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return QVariant();
    }
    if (role == IdentifierRole) return columnIdentifier(index.column());
    if (role == Qt::TextAlignmentRole) return QVariant(int(Qt::AlignCenter));
    const Cell cell = cellAt(index.row(), index.column());
    switch (role) {
        case Qt::DisplayRole:
            return cell.text;
        case Qt::ForegroundRole:
            return cell.textColor;
        case Qt::BackgroundRole:
            return cell.background ? QVariant(*cell.background) : QVariant();
        case Qt::FontRole:
            return cell.bold ? MVHelper::SmallTextBoldFont() : MVHelper::SmallTextFont();
        case Qt::DecorationRole:
            if (cell.imageName.isEmpty()) return QVariant();
            return MVLapTableCheckBox::imageNamed(cell.imageName);
        case ImageNameRole:
            return cell.imageName.isEmpty() ? QVariant() : QVariant(cell.imageName);
        default:
            return QVariant();
    }
}

QVariant MVLapTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QVariant();
    }
    if (role == IdentifierRole) return columnIdentifier(section);
    if (role != Qt::DisplayRole) return QVariant();
    switch (section) {
        case CheckboxColumn:
            return QString();
        case NumberColumn:
            return QStringLiteral("Lap");
        case DurationColumn:
            return QStringLiteral("Time");
        case DeltaColumn:
            return QStringLiteral("Delta");
        case VmaxColumn:
            return QStringLiteral("VMax");
        default:
            break;
    }
    const int k = section - kFixedColumnCount + 1;
    if (!wholeFile_) return QStringLiteral("S%1").arg(k);
    // Whole session: the out lap, the laps, the in lap.
    if (k == 1) return QStringLiteral("Out");
    if (k == sectorColumns_) return QStringLiteral("In");
    return QStringLiteral("L%1").arg(k - 1);
}

Qt::ItemFlags MVLapTableModel::flags(const QModelIndex& index) const {
    // Rows are never selected: laps are picked through their check boxes only.
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

// ---- Laps ---------------------------------------------------------------------------------------

MVLapPtr MVLapTableModel::lapAtRow(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
    return rows_[static_cast<std::size_t>(row)];
}

std::optional<int> MVLapTableModel::rowOfLap(const MVLap* lap) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].get() == lap) return static_cast<int>(i);
    }
    return std::nullopt;
}

void MVLapTableModel::setSelectedLaps(std::vector<MVLapPtr> laps) {
    selectedLaps_ = std::move(laps);
    if (rows_.empty()) return;
    emit dataChanged(index(0, CheckboxColumn), index(rowCount() - 1, NumberColumn));
}

void MVLapTableModel::reload() {
    readTopSpeeds();
    if (rows_.empty()) return;
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void MVLapTableModel::readTopSpeeds() {
    const MVSampleValues values(manager_);
    topSpeeds_.clear();
    for (const MVLapPtr& lap : listOrder_) topSpeeds_[lap.get()] = values.vmaxWithLap(*lap);
}

double MVLapTableModel::vmaxOf(const MVLap* lap) const {
    const auto it = topSpeeds_.find(lap);
    return it == topSpeeds_.end() ? 0.0 : it->second;
}

// ---- Cells --------------------------------------------------------------------------------------

MVLapTableModel::Cell MVLapTableModel::cellAt(int row, int column) const {
    const MVLap& lap = *rows_[static_cast<std::size_t>(row)];
    Cell cell;
    cell.textColor = MVHelper::Gui::BrightColorOnBackground();
    cell.bold = fatestLap_ && &lap == fatestLap_.get();

    // Selection marks: the last selected lap (the faster of two, or the only one) on green, the
    // first of two on red.
    const MVLap* last = selectedLaps_.empty() ? nullptr : selectedLaps_.back().get();
    const MVLap* first = selectedLaps_.empty() ? nullptr : selectedLaps_.front().get();
    const bool isLast = &lap == last;
    const bool isFirst = !isLast && &lap == first;
    if (column == CheckboxColumn) {
        cell.imageName = isLast || isFirst ? MVLapTableCheckBox::checkedImageName()
                                           : MVLapTableCheckBox::uncheckedImageName();
    } else if (column == NumberColumn && (isLast || isFirst)) {
        cell.textColor = MVHelper::Gui::DarkBlueColor();
        cell.background = isLast ? MVHelper::Gui::FasterColor() : MVHelper::Gui::SlowerColor();
    }

    if (wholeFile_) {
        wholeFileTexts(lap, column, cell);
    } else {
        lapTexts(lap, column, cell);
    }
    return cell;
}

void MVLapTableModel::lapTexts(const MVLap& lap, int column, Cell& cell) const {
    switch (column) {
        case CheckboxColumn:
            return;
        case NumberColumn:
            cell.text = QString::number(lap.number());
            return;
        case DurationColumn:
            cell.text = MVLapTable::stringOfMinAndSeconds(lap.duration());
            return;
        case DeltaColumn:
            // Without a best lap there is nothing to measure against.
            if (!bestLap_) return;
            {
                const double d = lap.duration() - bestLap_->duration();
                cell.text = MVLapTable::gapText(d);
                cell.textColor = MVLapTable::gapColor(d);
            }
            return;
        case VmaxColumn:
            cell.text = MVLapTable::tenthsText(vmaxOf(&lap));
            return;
        default:
            sectorCell(lap, column - kFixedColumnCount + 1, cell);
    }
}

void MVLapTableModel::sectorCell(const MVLap& lap, std::int64_t k, Cell& cell) const {
    const std::optional<double> s = MVLapTable::sectorTime(lap, k);
    const std::optional<double> b =
        bestLap_ ? MVLapTable::sectorTime(*bestLap_, k) : std::optional<double>();
    if (!s) {
        cell.text = MVLapTable::notAvailableText();
        return;
    }
    if (&lap == bestLap_.get() || !b) {
        // The best lap's own time, or a sector the best lap has no time for: the time itself.
        cell.text = MVLapTable::hundredthsText(*s);
    } else {
        const double g = *s - *b;
        cell.text = MVLapTable::gapText(g);
        cell.textColor = MVLapTable::gapColor(g);
    }
    const auto uk = static_cast<std::size_t>(k);
    if (uk < idealLapSectors_.size() && idealLapSectors_[uk] &&
        std::fabs(*idealLapSectors_[uk] - *s) < kSameSectorTime) {
        cell.textColor = QColor(Qt::magenta);
        cell.bold = true;
    }
}

void MVLapTableModel::wholeFileTexts(const MVLap& lap, int column, Cell& cell) const {
    switch (column) {
        case CheckboxColumn:
            return;
        case NumberColumn:
            cell.text = QString::fromStdString(lap.gldFile());
            return;
        case DurationColumn:
            cell.text = MVLapTable::hundredthsText(lap.duration());
            return;
        case DeltaColumn:
            cell.text = QStringLiteral("0.000");
            cell.textColor = MVHelper::Gui::BrightColorOnBackground();
            return;
        case VmaxColumn:
            cell.text = MVLapTable::tenthsText(vmaxOf(&lap));
            return;
        default: {
            const std::optional<double> segment =
                MVLapTable::sectorTime(lap, column - kFixedColumnCount + 1);
            cell.text =
                segment ? MVLapTable::hundredthsText(*segment) : MVLapTable::notAvailableText();
        }
    }
}

// ---- Sorting ------------------------------------------------------------------------------------

QString MVLapTableModel::columnIdentifier(int column) const {
    switch (column) {
        case CheckboxColumn:
            return QStringLiteral("checkbox");
        case NumberColumn:
            return QStringLiteral("number");
        case DurationColumn:
            return QStringLiteral("duration");
        case DeltaColumn:
            return QStringLiteral("delta");
        case VmaxColumn:
            return QStringLiteral("vmax");
        default:
            if (column < 0 || column >= columnCount()) return QString();
            return QString::number(column - kFixedColumnCount + 1);
    }
}

std::optional<std::string> MVLapTableModel::sortKeyForColumn(int column) const {
    switch (column) {
        case NumberColumn:
            return std::string("number");
        case DurationColumn:
        case DeltaColumn:
            return std::string("duration");
        case VmaxColumn:
            return std::string("vmax");
        default:
            if (column < kFixedColumnCount || column >= columnCount()) return std::nullopt;
            return columnIdentifier(column).toStdString();
    }
}

void MVLapTableModel::sortByColumnClick(int column) {
    const std::optional<std::string> key = sortKeyForColumn(column);
    if (!key) return;
    std::vector<MVSortDescriptor> descriptors = descriptors_;
    if (!descriptors.empty() && descriptors.front().key == *key) {
        descriptors.front().ascending = !descriptors.front().ascending;
    } else {
        std::erase_if(descriptors, [&](const MVSortDescriptor& d) { return d.key == *key; });
        // Lap numbers and lap times start with the smallest; top speeds and sector times start
        // with the largest.
        const bool ascending = *key == "number" || *key == "duration";
        descriptors.insert(descriptors.begin(), MVSortDescriptor{*key, ascending});
    }
    applySortDescriptors(std::move(descriptors), true);
}

void MVLapTableModel::sort(int column, Qt::SortOrder order) {
    const std::optional<std::string> key = sortKeyForColumn(column);
    if (!key) return;
    std::vector<MVSortDescriptor> descriptors = descriptors_;
    std::erase_if(descriptors, [&](const MVSortDescriptor& d) { return d.key == *key; });
    descriptors.insert(descriptors.begin(), MVSortDescriptor{*key, order == Qt::AscendingOrder});
    applySortDescriptors(std::move(descriptors), true);
}

void MVLapTableModel::applySortDescriptors(std::vector<MVSortDescriptor> descriptors, bool store) {
    if (store) options_.setLapSortDescriptors(descriptors);
    beginResetModel();
    descriptors_ = std::move(descriptors);
    sortRows();
    endResetModel();
}

void MVLapTableModel::sortRows() {
    rows_ = listOrder_;
    if (descriptors_.empty()) return;
    std::stable_sort(rows_.begin(), rows_.end(), [this](const MVLapPtr& a, const MVLapPtr& b) {
        for (const MVSortDescriptor& descriptor : descriptors_) {
            const int order = compareByKey(*a, *b, descriptor);
            if (order != 0) return order < 0;
        }
        return false;
    });
}

int MVLapTableModel::compareByKey(const MVLap& a, const MVLap& b,
                                  const MVSortDescriptor& descriptor) const {
    const int direction = descriptor.ascending ? 1 : -1;
    const std::string& key = descriptor.key;
    if (key == "number") return direction * threeWay(a.number(), b.number());
    if (key == "duration") return direction * threeWay(a.duration(), b.duration());
    if (key == "vmax") return direction * threeWay(vmaxOf(&a), vmaxOf(&b));
    const std::optional<std::int64_t> k = sectorOfKey(key);
    if (!k) return 0;
    const std::optional<double> sa = MVLapTable::sectorTime(a, *k);
    const std::optional<double> sb = MVLapTable::sectorTime(b, *k);
    // A missing sector time goes after every timed one, whichever the direction.
    if (!sa || !sb) return sa ? -1 : (sb ? 1 : 0);
    return direction * threeWay(*sa, *sb);
}
