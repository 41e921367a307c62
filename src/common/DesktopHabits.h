#pragma once

#include <QLocale>
#include <QString>

class QApplication;

// What every window of the program shares with the other programs of the desktop, set up once
// for the application (the program and the tests alike).
namespace DesktopHabits {

// Enter presses the button that has the focus (Space already does), and Qt's own texts (file
// dialog, context menus of text boxes, calendars, standard buttons) are shown in Chinese: the
// translation locale below is also the default locale of the widgets.
void install(QApplication &app);

// The locale whose Qt translations are loaded: the user's when it is Chinese, zh_CN otherwise.
QLocale translationLocale(const QLocale &user);

}  // namespace DesktopHabits
