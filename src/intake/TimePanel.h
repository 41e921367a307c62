#pragma once

#include <QDate>
#include <QFrame>
#include <QVector>

class QCalendarWidget;
class QLabel;
class QLineEdit;
class QPushButton;

// The pop-up with which the receptionist picks a complaint time with the mouse: a day in the
// month calendar, an hour and a minute from cells (double click), composed into `Text3`.
// The minute cells show one half hour at a time; the arrows switch between the halves.
class TimePanel : public QFrame {
    Q_OBJECT
public:
    explicit TimePanel(QWidget *parent = nullptr);

    // Shows the day, hour and minute of a date-time text. A text that is neither empty nor a
    // valid date shows `today` and returns false; an empty text shows `today` too.
    bool load(const QString &text, const QDate &today);

    void setValue(const QString &text);

    static QColor hourColor() { return QColor(0, 255, 255); }
    static QColor fiveMinuteColor() { return QColor(255, 255, 128); }
    static QColor minuteColor() { return QColor(255, 192, 128); }
    static QColor selectedColor() { return QColor(0, 0, 255); }

signals:
    void accepted(const QString &value);
    void cancelled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPage(int page);
    void paintHour(int cell, bool selected);
    void paintMinute(int cell, bool selected);
    void hourChosen(int cell);
    void minuteChosen(int cell);
    void compose();

    QCalendarWidget *m_calendar;
    QVector<QLabel *> m_hours;
    QVector<QLabel *> m_minutes;
    QLabel *m_back;
    QLabel *m_forward;
    QLineEdit *m_text;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    int m_hour = 0;
    int m_minute = 0;  // the selected minute, whichever page shows
    int m_page = 0;
};
