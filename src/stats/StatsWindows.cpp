#include "StatsWindows.h"

#include "StatisticsWindow.h"

QWidget *createStatisticsWindow() { return new StatisticsWindow; }
