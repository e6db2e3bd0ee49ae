#include "app/MVPaneRecorder.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

std::vector<std::string> MVPaneRecorder::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool MVPaneRecorder::received(const std::string& call) const {
    std::lock_guard lock(mutex_);
    return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
}

void MVPaneRecorder::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void MVPaneRecorder::record(std::string call) const {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

QString MVPaneRecorder::summary() const {
    return label_ ? label_->text() : QString();
}

void MVPaneRecorder::setPane(QWidget* pane) {
    pane_ = pane;
    label_ = nullptr;
    if (!pane) return;
    auto* layout = pane->layout() ? pane->layout() : new QVBoxLayout(pane);
    label_ = new QLabel(pane);
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    label_->setStyleSheet(QStringLiteral("QLabel { color: gray; background: transparent; }"));
    layout->addWidget(label_);
}

void MVPaneRecorder::showSummary(const QString& text) {
    if (label_) label_->setText(text);
}
