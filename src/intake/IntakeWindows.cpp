#include "IntakeWindows.h"

QWidget *createReceptionWindow() { return nullptr; }

