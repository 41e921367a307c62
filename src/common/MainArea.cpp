#include "MainArea.h"

#include <QDialog>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

namespace MainArea {

namespace {
QPointer<QMdiArea> mainArea;
ModalRunner modalRunner = nullptr;
}  // namespace

void set(QMdiArea *area)
{
    mainArea = area;
    // A small window opened over a maximized one stays small; the wide ones maximize themselves.
    if (area) area->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
}

QMdiArea *get() { return mainArea.data(); }

QMdiSubWindow *open(QWidget *window)
{
    if (!mainArea) {
        window->show();
        return nullptr;
    }
    // The frame takes the size the window was given (or asks for), not just its minimum.
    const QSize wanted = window->layout() ? window->size().expandedTo(window->sizeHint()) : window->size();
    QMdiSubWindow *frame = mainArea->addSubWindow(window);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setWindowTitle(window->windowTitle());
    frame->setWindowIcon(window->windowIcon());
    window->show();
    if (opensMaximized(window)) {
        frame->showMaximized();
    } else {
        frame->show();
        // Never larger than the area: on a small screen the window gives up what it would like
        // (down to its own minimum), so that its title bar and buttons stay in reach.
        frame->resize((wanted + frame->size() - window->size()).boundedTo(mainArea->viewport()->size()));
        // Centred once its frame has its final size (the window's own centring ran on a frame
        // that was still being sized).
        CenterInMain(window);
    }
    mainArea->setActiveSubWindow(frame);
    return frame;
}

// QWidget's own "maximized" property is read-only, hence a name of our own.
void setOpensMaximized(QWidget *window) { window->setProperty("openMaximized", true); }

bool opensMaximized(const QWidget *window) { return window && window->property("openMaximized").toBool(); }

void closeWindow(QWidget *window)
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(window->parentWidget())) frame->close();
    else window->close();
}

ModalRunner setModalRunner(ModalRunner runner)
{
    ModalRunner previous = modalRunner;
    modalRunner = runner;
    return previous;
}

int runModal(QDialog *dialog) { return modalRunner ? modalRunner(dialog) : dialog->exec(); }

}  // namespace MainArea

void CenterInMain(QWidget *window)
{
    QMdiArea *area = MainArea::get();
    if (!area) return;
    QWidget *frame = window;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget())) frame = sub;
    const QSize client = area->viewport()->size();
    const int left = (client.width() - frame->width()) / 2;
    const int top = (client.height() - frame->height()) / 2;
    if (frame->isWindow()) {
        frame->move(area->viewport()->mapToGlobal(QPoint(left, top)));
    } else {
        frame->move(left, top);
    }
}
