#include "HandlingWindows.h"

#include "HandlingWindow.h"
#include "ReviewCommentsDialog.h"
#include "common/MainArea.h"
#include "common/Tag.h"

QWidget *createHandlingWindow() { return new HandlingWindow; }

void showReviewCommentsOf(QWidget *parent, const QString &complaintCode)
{
    ReviewCommentsDialog dialog(parent);
    setTag(&dialog, complaintCode);
    MainArea::runModal(&dialog);
}
