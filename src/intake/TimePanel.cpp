#include "TimePanel.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/DateText.h"

namespace {

constexpr int kHourColumns = 8;
constexpr int kMinuteColumns = 10;
constexpr int kRight = 280;  // left edge of the cells

QLabel *cell(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    label->setFrameShape(QFrame::Box);
    label->setGeometry(geometry);
    return label;
}

void paint(QLabel *label, const QColor &background, const QColor &text)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    label->setPalette(palette);
}

QString twoDigits(int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); }

}  // namespace

TimePanel::TimePanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Picture4"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(2);
    setAutoFillBackground(true);
    resize(620, 238);

    auto *dayCaption = new QLabel(QStringLiteral("日期及时间"), this);
    dayCaption->setGeometry(8, 6, 200, 18);
    m_calendar = new QCalendarWidget(this);
    m_calendar->setDateRange(DateText::earliestDay(), DateText::latestDay());
    m_calendar->setObjectName(QStringLiteral("MonthView1"));
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setGeometry(8, 26, 262, 202);

    auto *hourCaption = new QLabel(QStringLiteral("请选择小时"), this);
    hourCaption->setGeometry(kRight, 6, 120, 18);
    for (int i = 0; i < 24; ++i) {
        const QRect r(kRight + (i % kHourColumns) * 41, 26 + (i / kHourColumns) * 24, 39, 22);
        QLabel *label = cell(this, QStringLiteral("Label2(%1)").arg(i), r);
        label->setText(twoDigits(i));
        label->installEventFilter(this);
        m_hours.append(label);
    }

    auto *minuteCaption = new QLabel(QStringLiteral("请选择分钟"), this);
    minuteCaption->setGeometry(kRight, 104, 120, 18);
    m_back = cell(this, QStringLiteral("Label4(0)"), QRect(kRight + 264, 101, 30, 20));
    m_back->setText(QStringLiteral("<"));
    m_back->installEventFilter(this);
    m_forward = cell(this, QStringLiteral("Label4(1)"), QRect(kRight + 297, 101, 30, 20));
    m_forward->setText(QStringLiteral(">"));
    m_forward->installEventFilter(this);
    for (int i = 0; i < 30; ++i) {
        const QRect r(kRight + (i % kMinuteColumns) * 33, 126 + (i / kMinuteColumns) * 24, 31, 22);
        QLabel *label = cell(this, QStringLiteral("Label3(%1)").arg(i), r);
        label->installEventFilter(this);
        m_minutes.append(label);
    }

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("Text3"));
    m_text->setGeometry(kRight, 204, 150, 24);
    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setObjectName(QStringLiteral("Command7"));
    m_ok->setGeometry(kRight + 160, 203, 80, 26);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("Command8"));
    m_cancel->setGeometry(kRight + 246, 203, 80, 26);
    connect(m_ok, &QPushButton::clicked, this, [this] { emit accepted(m_text->text()); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { emit cancelled(); });

    for (int i = 0; i < 24; ++i) paintHour(i, false);
    showPage(0);
}

bool TimePanel::load(const QString &text, const QDate &today)
{
    const QDateTime value = DateText::parse(text);
    if (!value.isValid()) {
        m_calendar->setSelectedDate(today);
    } else {
        m_calendar->setSelectedDate(value.date());
        m_hour = value.time().hour();
        m_minute = value.time().minute();
    }
    for (int i = 0; i < 24; ++i) paintHour(i, i == m_hour);
    showPage(m_minute / 30);
    return value.isValid() || text.isEmpty();
}

void TimePanel::setValue(const QString &text) { m_text->setText(text); }

void TimePanel::showPage(int page)
{
    m_page = page;
    for (int i = 0; i < 30; ++i) {
        m_minutes[i]->setText(twoDigits(i + 30 * page));
        paintMinute(i, false);
    }
    m_back->setEnabled(page == 1);
    m_forward->setEnabled(page == 0);
    // The selected minute stays marked on its own page only.
    if (m_minute / 30 == page) paintMinute(m_minute % 30, true);
}

void TimePanel::paintHour(int cell, bool selected)
{
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    paint(m_hours[cell], selected ? selectedColor() : hourColor(), selected ? QColor(Qt::white) : text);
}

void TimePanel::paintMinute(int cell, bool selected)
{
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    if (selected) paint(m_minutes[cell], selectedColor(), Qt::white);
    else paint(m_minutes[cell], cell % 5 == 0 ? fiveMinuteColor() : minuteColor(), text);
}

void TimePanel::hourChosen(int cell)
{
    paintHour(m_hour, false);
    m_hour = cell;
    paintHour(m_hour, true);
    compose();
}

void TimePanel::minuteChosen(int cell)
{
    if (m_minute / 30 == m_page) paintMinute(m_minute % 30, false);
    m_minute = cell + 30 * m_page;
    paintMinute(cell, true);
    compose();
}

void TimePanel::compose()
{
    m_text->setText(DateText::day(m_calendar->selectedDate()) + QLatin1Char(' ') + m_hours[m_hour]->text() +
                    QLatin1Char(':') + twoDigits(m_minute));
}

bool TimePanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonDblClick) return QFrame::eventFilter(watched, event);
    if (watched == m_back) {
        showPage(0);
        return true;
    }
    if (watched == m_forward) {
        showPage(1);
        return true;
    }
    const int hour = m_hours.indexOf(static_cast<QLabel *>(watched));
    if (hour >= 0) {
        hourChosen(hour);
        return true;
    }
    const int minute = m_minutes.indexOf(static_cast<QLabel *>(watched));
    if (minute >= 0) {
        minuteChosen(minute);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}
