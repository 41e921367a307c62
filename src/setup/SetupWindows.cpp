#include "SetupWindows.h"

QWidget *createCategoryWindow() { return nullptr; }

QWidget *createChannelWindow() { return nullptr; }

