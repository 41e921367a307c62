#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
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
// A label whose text is its caption, placed at a design position in twips (its width from its text).
QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, int left, int top);
// A frame whose caption sits on the border line, so that controls placed by their design position
// just below the top edge stay clear of it.
QGroupBox *makeFrame(QWidget *parent, const QString &name, const QString &caption);
// Places a widget by twips (left, top, width, height); negative sizes become zero.
void placeTwips(QWidget *widget, int left, int top, int width, int height);
