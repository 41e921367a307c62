#include "ReportList.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QMdiSubWindow>
#include <QPointer>

#include "FlexGrid.h"

void setUpReportList(FlexGrid *grid, const QStringList &captions, const QVector<int> &widthsTwips)
{
    GridModel *model = grid->grid();
    model->setColumnCount(int(captions.size()));
    for (int c = 0; c < captions.size(); ++c) {
        model->setHeaderText(c, captions.at(c));
        model->setAlignment(c, 1);
        model->setFixedAlignment(c, 1);
        model->setWidthTwips(c, widthsTwips.value(c));
    }
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideRight);
}

int selectedRow(const FlexGrid *grid)
{
    const QModelIndexList rows = grid->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int rowOfCode(const FlexGrid *grid, int column, const QString &code)
{
    const GridModel *model = grid->grid();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->text(row, column) == code) return row;
    return -1;
}

namespace {

// Watches a work window for its activations.
class ActivationWatcher : public QObject {
public:
    ActivationWatcher(QWidget *window, std::function<void()> refresh)
        : QObject(window), m_window(window), m_refresh(std::move(refresh))
    {
        window->installEventFilter(this);
        hookFrame();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window) return false;
        switch (event->type()) {
            case QEvent::ParentChange: hookFrame(); break;
            case QEvent::Show:
                hookFrame();
                // In the main window the frame's activation refreshes (it comes before the first
                // show); a window of its own refreshes when it is shown.
                if (!m_shown && !(m_frame && m_activated)) m_refresh();
                m_shown = true;
                break;
            case QEvent::Hide: m_shown = false; break;
            case QEvent::WindowDeactivate: m_wasDeactivated = true; break;
            case QEvent::WindowActivate:
                // A window of its own: the activation that follows its first show is not a new one.
                if (m_window->isWindow() && m_wasDeactivated) m_refresh();
                m_wasDeactivated = false;
                break;
            default: break;
        }
        return false;
    }

private:
    void hookFrame()
    {
        auto *frame = qobject_cast<QMdiSubWindow *>(m_window->parentWidget());
        if (!frame || frame == m_frame) return;
        m_frame = frame;
        connect(frame, &QMdiSubWindow::aboutToActivate, this, [this] {
            m_activated = true;
            m_refresh();
        });
    }

    QWidget *m_window;
    std::function<void()> m_refresh;
    QPointer<QMdiSubWindow> m_frame;
    bool m_shown = false;
    bool m_activated = false;
    bool m_wasDeactivated = false;
};

}  // namespace

void refreshOnEveryActivation(QWidget *window, std::function<void()> refresh)
{
    new ActivationWatcher(window, std::move(refresh));
}
