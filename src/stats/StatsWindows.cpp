#include "StatsWindows.h"

#include "AnalysisWindow.h"
#include "StatisticsWindow.h"

QWidget *createStatisticsWindow() { return new StatisticsWindow; }
QWidget *createAnalysisWindow() { return new AnalysisWindow; }
