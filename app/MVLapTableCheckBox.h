#pragma once

#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>

// The check box of a lap row. The images are our own, drawn in code and made once:
// "Checked Checkbox" (a ticked box) and "Unchecked Checkbox" (an empty box). The delegate paints
// the cell's background and the image named by the model's decoration, centred in the cell.
// Main thread only.
class MVLapTableCheckBox : public QStyledItemDelegate {
    Q_OBJECT
  public:
    static constexpr int kImageSide = 14;

    explicit MVLapTableCheckBox(QObject* parent = nullptr);

    static QString checkedImageName();
    static QString uncheckedImageName();
    // The image of that name; a null icon for any other name.
    static QIcon imageNamed(const QString& name);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
