#include "IntakeWindows.h"

#include "ReceptionWindow.h"

QWidget *createReceptionWindow() { return new ReceptionWindow; }
