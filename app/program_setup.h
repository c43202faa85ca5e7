#pragma once

class QApplication;

namespace quorbel {

// Builds the program from the system's services, shows the main window and
// runs the event loop until the operator ends the program.
int runProgram(QApplication& application);

}  // namespace quorbel
