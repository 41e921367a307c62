#include "RoutingWindows.h"

QWidget *createAcceptanceWindow() { return nullptr; }

QWidget *createAssignmentWindow() { return nullptr; }

