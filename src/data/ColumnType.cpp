#include "ColumnType.h"

#include <QHash>
#include <QMutex>
#include <QStringEncoder>

#include "DbError.h"

namespace {

// The converter of a Windows code page (ICU knows them by these names).
QStringEncoder encoderFor(int codePage)
{
    if (codePage == 65001) return QStringEncoder(QStringConverter::Utf8);
    // The converter may keep the name it was given: it must outlive the converter.
    static QHash<int, QByteArray> names;
    static QMutex guard;
    const QMutexLocker lock(&guard);
    auto name = names.find(codePage);
    if (name == names.end()) {
        QByteArray windows = "windows-" + QByteArray::number(codePage);
        if (!QStringEncoder(windows.constData()).isValid()) windows = "cp" + QByteArray::number(codePage);
        name = names.insert(codePage, windows);
    }
    return QStringEncoder(name->constData());
}

// Byte length when the code page is not known to the converter: one byte for ASCII, two for
// everything else, as in the double-byte code pages of the East Asian collations.
int guessedBytes(const QString &text)
{
    int bytes = 0;
    for (const QChar c : text) bytes += c.unicode() < 0x80 ? 1 : (c.isLowSurrogate() ? 0 : 2);
    return bytes;
}

}  // namespace

int ColumnType::unitsOf(const QString &text) const
{
    if (kind != NarrowText) return int(text.size());
    QStringEncoder encoder = encoderFor(codePage);
    if (!encoder.isValid()) return guessedBytes(text);
    const QByteArray bytes = encoder.encode(text);
    return int(bytes.size());
}

QString ColumnType::firstUnrepresentable(const QString &text) const
{
    if (kind != NarrowText) return QString();
    QStringEncoder whole = encoderFor(codePage);
    if (!whole.isValid()) return QString();
    const QByteArray encoded = whole.encode(text);
    if (!whole.hasError()) return QString();
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, width);
        QStringEncoder one = encoderFor(codePage);
        const QByteArray ignored = one.encode(character);
        Q_UNUSED(ignored);
        if (one.hasError()) return character;
        i += width;
    }
    return QString();
}

QString ColumnType::tooLongMessage(const QString &column, int actual) const
{
    if (kind == NarrowText) {
        // The double-byte code pages of the Chinese, Japanese and Korean collations.
        const bool doubleByte = codePage == 936 || codePage == 950 || codePage == 932 || codePage == 949;
        return QStringLiteral("“%1”最多只能有 %2 个字节%3，现在有 %4 个，请缩短后再保存。")
            .arg(column)
            .arg(length)
            .arg(doubleByte ? QStringLiteral("（一个汉字占两个字节）") : QString())
            .arg(actual);
    }
    return QStringLiteral("“%1”最多只能有 %2 个字符，现在有 %3 个，请缩短后再保存。")
        .arg(column)
        .arg(length)
        .arg(actual);
}

QString ColumnType::unrepresentableMessage(const QString &column, const QString &character)
{
    return QStringLiteral("“%1”中的字符“%2”无法存入数据库（这一栏的字符集里没有它），请换一种写法后再保存。")
        .arg(column, character);
}

void ColumnType::check(const QString &column, const QString &text) const
{
    const QString character = firstUnrepresentable(text);
    if (!character.isEmpty()) throw DbError(kUnrepresentableError, unrepresentableMessage(column, character));
    if (length <= 0) return;
    const int actual = unitsOf(text);
    if (actual > length) throw DbError(kTooLongError, tooLongMessage(column, actual));
}
