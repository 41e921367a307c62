#include "AcceptanceWindow.h"
#include "RoutingWindows.h"

QWidget *createAcceptanceWindow() { return new AcceptanceWindow; }
