#include "Controls.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "DateText.h"
#include "Twips.h"

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption)
{
    auto *button = named(new QPushButton(caption, parent), name);
    button->setAutoDefault(false);
    return button;
}

QPlainTextEdit *makeMultiLine(QWidget *parent, const QString &name)
{
    auto *edit = named(new QPlainTextEdit(parent), name);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setTabChangesFocus(true);
    return edit;
}

QDateEdit *makeDatePicker(QWidget *parent, const QString &name)
{
    auto *picker = named(new QDateEdit(parent), name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    picker->setDateRange(DateText::earliestDay(), DateText::latestDay());
    return picker;
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, int left, int top, int lineHeight)
{
    auto *label = named(new QLabel(text, parent), name);
    label->adjustSize();
    const int y = Twips::toPixels(top);
    label->move(Twips::toPixels(left),
                lineHeight > 0 ? qMax(0, y + (Twips::toPixels(lineHeight) - label->height()) / 2) : y);
    return label;
}

QLabel *makeCaption(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

QGroupBox *makeFrame(QWidget *parent, const QString &name, const QString &caption)
{
    auto *frame = named(new QGroupBox(caption, parent), name);
    frame->setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
                       " QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: "
                       "6px; padding: 0 2px; }"));
    return frame;
}

void setTwipsGeometry(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(Twips::toPixels(left), Twips::toPixels(top), qMax(0, Twips::toPixels(width)),
                        qMax(0, Twips::toPixels(height)));
}
