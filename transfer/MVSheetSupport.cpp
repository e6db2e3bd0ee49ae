#include "transfer/MVSheetSupport.h"

#include "platform/Folders.h"

#include <QFileDialog>
#include <QLayout>
#include <QMessageBox>

namespace MVSheetSupport {

std::optional<std::filesystem::path> chooseFolder(QWidget* parent,
                                                  const std::filesystem::path& start) {
    QFileDialog panel(parent, QStringLiteral("Choose a folder"),
                      QString::fromStdString(start.string()));
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    panel.setOption(QFileDialog::ShowDirsOnly, true);
    panel.setFileMode(QFileDialog::Directory);
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setSizeGripEnabled(true);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(panel.selectedFiles().first().toStdString());
}

void showAlert(QWidget* parent, const QString& title, const QString& message) {
    QWidget* window = parent ? parent->window() : nullptr;
    auto* alert = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::Ok, window);
    alert->setInformativeText(message);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    alert->open();
}

void growToFit(QWidget* sheet) {
    QLayout* layout = sheet ? sheet->layout() : nullptr;
    if (layout == nullptr) return;
    layout->activate();
    const int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(sheet->width())
                                                   : layout->totalSizeHint().height();
    if (needed > sheet->height()) sheet->resize(sheet->width(), needed);
}

std::filesystem::path defaultDestination() {
    return platform::folders::desktop();
}

}  // namespace MVSheetSupport
