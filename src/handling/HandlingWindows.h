#pragma once

#include <QString>

class QWidget;

// The work windows of this folder, as the main window opens them (nullptr: not available yet).
QWidget *createHandlingWindow();

// Shows the review comments of a complaint modally (frm投诉阅处意见浏览); the acceptance and the
// handling windows call it.
void showReviewCommentsOf(QWidget *parent, const QString &complaintCode);
