#include "app/MVSheetStandIns.h"

#include <QMessageBox>

void MVSheetNotice::show(QWidget* window) {
    ++requests_;
    if (box_) {
        box_->raise();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, title_, title_, QMessageBox::Ok, window);
    box->setInformativeText(text_);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box_ = box;
    shown_ = true;
    QObject::connect(box, &QMessageBox::finished, box, [this] { shown_ = false; });
    box->open();
}
