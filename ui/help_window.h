#pragma once

#include <QDialog>

namespace quorbel {

// The program's name, version and usage notes.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
};

}  // namespace quorbel
