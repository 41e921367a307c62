#include "SetupWindows.h"

#include "CodeListWindow.h"

QWidget *createCategoryWindow() { return new CodeListWindow(CodeListSettings::categories()); }

QWidget *createChannelWindow() { return new CodeListWindow(CodeListSettings::channels()); }
