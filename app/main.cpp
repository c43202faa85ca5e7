#include <QApplication>
#include <QDir>
#include <cstdlib>
#include <memory>

#include "app/program_setup.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int status = quorbel::runProgram(application);
    // Probe workers may still be waiting for an echo; they own what they
    // use, and ending here without running static destructors keeps them
    // from meeting half-destroyed globals.
    std::quick_exit(status);
}
