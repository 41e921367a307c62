#pragma once

#include <QString>

// Coded items (categories, channels, offices, departments, posts) are shown as the code, one
// blank and the name; the code is read back as the text before the first blank.
namespace CodeName {

inline QString join(const QString &code, const QString &name) { return code + QLatin1Char(' ') + name; }

// The text before the first blank (all of it when there is none).
inline QString code(const QString &text)
{
    const int blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? text : text.left(blank);
}

// Everything after the first blank, further blanks included (empty when there is none).
inline QString name(const QString &text)
{
    const int blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : text.mid(blank + 1);
}

}  // namespace CodeName
