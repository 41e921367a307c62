#include "Program.h"

#include <QCoreApplication>

namespace Program {

namespace {
bool ending = false;
EndHandler handler = nullptr;
}  // namespace

void end(int exitCode)
{
    ending = true;
    if (handler) {
        handler(exitCode);
        return;
    }
    // Leaves every event loop, modal ones included; nothing asks to save.
    QCoreApplication::exit(exitCode);
}

bool isEnding() { return ending; }

EndHandler setEndHandler(EndHandler newHandler)
{
    EndHandler previous = handler;
    handler = newHandler;
    return previous;
}

void resetEnding() { ending = false; }

}  // namespace Program
