#pragma once

class QMdiArea;
class QMdiSubWindow;
class QWidget;
class QDialog;

// The main window's client area, where work windows open as children.
namespace MainArea {

void set(QMdiArea *area);
QMdiArea *get();

// Shows a work window as a child of the main window (one frame per window) and brings it to the front.
QMdiSubWindow *open(QWidget *window);

// Work windows that open maximized (the wide lists) say so once, when they are made.
void setOpensMaximized(QWidget *window);
bool opensMaximized(const QWidget *window);

// Closes a work window together with its frame (the window's own "退出" button).
void closeWindow(QWidget *window);

// Runs a modal window. Tests replace the runner to drive the window instead of a user.
using ModalRunner = int (*)(QDialog *dialog);
ModalRunner setModalRunner(ModalRunner runner);
int runModal(QDialog *dialog);

}  // namespace MainArea

// Centres a window in the main window's client area: left = (client width - width) / 2,
// top = (client height - height) / 2, negative when the window is larger.
void CenterInMain(QWidget *window);
