#include "setup/gui/MessagePresenter.h"

#include <QMessageBox>

namespace setup::gui {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Question: return QMessageBox::Question;
        case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

bool MessagePresenter::report(QWidget* parent, const Outcome& outcome) {
    if (outcome.hasMessage()) {
        show(parent, outcome.message);
    }
    return outcome.success;
}

void MessageBoxPresenter::show(QWidget* parent, const Message& message) {
    QMessageBox box(boxIcon(message.icon), QString::fromLatin1(kMessageCaption), QString::fromStdString(message.text),
                    QMessageBox::Ok, parent);
    box.exec();
}

bool MessageBoxPresenter::confirm(QWidget* parent, const Message& question) {
    QMessageBox box(boxIcon(question.icon), QString::fromLatin1(kMessageCaption), QString::fromStdString(question.text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace setup::gui
