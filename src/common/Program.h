#pragma once

// Ending the program at once (quit button, exit command, closing the main window, a failed
// connection at login). Tests replace the handler to see that the program would end.
namespace Program {

using EndHandler = void (*)(int exitCode);

void end(int exitCode = 0);
// True once end() was called: code that waited on a modal window stops there.
bool isEnding();
EndHandler setEndHandler(EndHandler handler);
// Forgets a recorded end (tests).
void resetEnding();

}  // namespace Program
