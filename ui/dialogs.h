#pragma once

#include <QString>

class QWidget;

namespace quorbel {

// Every modal question the windows ask goes through here, so tests can
// answer them without a message loop.
class Dialogs {
public:
    virtual ~Dialogs();

    // Buttons Yes and No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A single OK button.
    virtual void inform(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A single OK button, with a warning sign.
    virtual void warn(QWidget* parent, const QString& caption, const QString& text) = 0;
    // An open-file dialog showing `initialName`; returns the chosen file's
    // full path, or the empty text when cancelled.
    virtual QString chooseOpenFile(QWidget* parent, const QString& initialName) = 0;
};

// The real dialogs: Qt's message boxes and file dialog.
class QtDialogs : public Dialogs {
public:
    bool askYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    void inform(QWidget* parent, const QString& caption, const QString& text) override;
    void warn(QWidget* parent, const QString& caption, const QString& text) override;
    QString chooseOpenFile(QWidget* parent, const QString& initialName) override;
};

}  // namespace quorbel
