#pragma once

#include <QObject>
#include <cstdio>

namespace quorbel {

class MainWindow;

// Test builds only: prints every change of the list and the status bar to
// a stream, one line each, so an end-to-end test can follow the real
// program as the operator would see it.
//   row <index> <state>|<name>|<address>|<response>|<count>
//   status <text>
class StateTrace : public QObject {
public:
    StateTrace(MainWindow& window, std::FILE* stream);

private:
    void printRows(int first, int last);
    void printStatus(const QString& text);

    MainWindow& window_;
    std::FILE* stream_;
};

}  // namespace quorbel
