#include "FollowUpWindows.h"

#include "FollowUpWindow.h"

QWidget *createFollowUpWindow() { return new FollowUpWindow; }
