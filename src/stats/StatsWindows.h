#pragma once

class QWidget;

// The work windows of this folder, as the main window opens them (nullptr: not available yet).
QWidget *createStatisticsWindow();
QWidget *createAnalysisWindow();
