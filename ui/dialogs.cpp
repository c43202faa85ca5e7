#include "ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace quorbel {

Dialogs::~Dialogs() = default;

bool QtDialogs::askYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::inform(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtDialogs::warn(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

QString QtDialogs::chooseOpenFile(QWidget* parent, const QString& initialName) {
    // Default title, every file, starting at the previous choice (or the
    // current directory); the dialog itself insists on an existing file.
    return QFileDialog::getOpenFileName(parent, QString(), initialName, QString());
}

}  // namespace quorbel
