#include "transfer/MVSheetSupport.h"

#include "platform/Folders.h"

#include <QFileDialog>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>

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

ExistingFileAnswer askAboutExistingFile(QWidget* parent, const QString& what,
                                        const std::filesystem::path& existing,
                                        const std::filesystem::path& keepBoth) {
    QWidget* window = parent ? parent->window() : nullptr;
    QMessageBox alert(QMessageBox::Warning, window ? window->windowTitle() : QString(),
                      QStringLiteral("\u201c%1\u201d already exists in %2.")
                          .arg(QString::fromStdString(existing.filename().string()),
                               QString::fromStdString(existing.parent_path().string())),
                      QMessageBox::NoButton, window);
    alert.setInformativeText(
        QStringLiteral("Replace it with the new %1, or keep both (the new %1 is saved as "
                       "\u201c%2\u201d)?")
            .arg(what, QString::fromStdString(keepBoth.filename().string())));
    QPushButton* replace = alert.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
    QPushButton* keep = alert.addButton(QStringLiteral("Keep Both"), QMessageBox::AcceptRole);
    alert.addButton(QMessageBox::Cancel);
    alert.setDefaultButton(keep);
    alert.setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    alert.exec();
    if (alert.clickedButton() == replace) return ExistingFileAnswer::Replace;
    if (alert.clickedButton() == keep) return ExistingFileAnswer::KeepBoth;
    return ExistingFileAnswer::Cancel;
}

ExistingFileAsker existingFileAsker(const QString& what) {
    return [what](QWidget* parent, const std::filesystem::path& existing,
                  const std::filesystem::path& keepBoth) {
        return askAboutExistingFile(parent, what, existing, keepBoth);
    };
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
