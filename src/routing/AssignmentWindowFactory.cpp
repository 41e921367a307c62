#include "AssignmentWindow.h"
#include "RoutingWindows.h"

QWidget *createAssignmentWindow() { return new AssignmentWindow; }
