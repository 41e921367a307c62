#pragma once

#include <QString>

class QDateEdit;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRect;
class QWidget;

// Making the controls of a window. Every control carries the system's name for it as its objectName.

template <typename W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

// A button that Enter in a text box never presses by itself.
QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption);
// A text box of several lines with a vertical scroll bar; Tab moves on to the next control.
QPlainTextEdit *makeMultiLine(QWidget *parent, const QString &name);
// A date picker ("yyyy-MM-dd" with a calendar) that offers only the days the database can store
// (DateText::earliestDay() to DateText::latestDay()).
QDateEdit *makeDatePicker(QWidget *parent, const QString &name);
// A label whose text is its caption, placed at a design position in twips (its width from its text).
// With a line height (twips) it is centred on that line, the line of the box beside it.
QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, int left, int top, int lineHeight = 0);
// An unnamed caption beside a control, placed in pixels.
QLabel *makeCaption(QWidget *parent, const QString &text, const QRect &geometry);
// A frame whose caption sits on the border line, so that controls placed by their design position
// just below the top edge stay clear of it.
QGroupBox *makeFrame(QWidget *parent, const QString &name, const QString &caption);
// Places a widget by twips (left, top, width, height); negative sizes become zero.
void setTwipsGeometry(QWidget *widget, int left, int top, int width, int height);
template <typename W>
W *placeTwips(W *widget, int left, int top, int width, int height)
{
    setTwipsGeometry(widget, left, top, width, height);
    return widget;
}
