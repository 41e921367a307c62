#include "ShellResources.h"

#include <QApplication>
#include <QIcon>

void initShellResources()
{
    static bool done = false;
    if (done) return;
    done = true;
    Q_INIT_RESOURCE(shell);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/shell/tavimor-complaints.png")));
}
