#pragma once

#include <QString>

// What the database holds in one column, as far as binding a value to it and limiting its length
// go. The SQL Server backend reads it from the server's catalogue at connect; SQLite has one answer
// for every text column (characters, any code point), with the lengths of the SQL Server script.
struct ColumnType {
    enum Kind {
        Unknown,       // not a column the backend knows: bound and limited as national text
        NationalText,  // NVARCHAR, NCHAR, NTEXT: UTF-16 units
        NarrowText,    // VARCHAR, CHAR, TEXT: bytes of the column's code page
        DateTime,      // DATETIME or SMALLDATETIME: 1753 to 9999, bound as DATETIME
        OtherDate,     // DATE, DATETIME2, DATETIMEOFFSET
        Other,         // numbers, binary
    };

    Kind kind = Unknown;
    // Longest value, in the column's own unit; 0 when unlimited (MAX, TEXT) or not text.
    int length = 0;
    // CHAR or NCHAR: the server pads values with blanks to the length.
    bool fixedWidth = false;
    // Collation name (SQL Server) and the code page of its narrow text; empty and 0 where none.
    QString collation;
    int codePage = 0;

    bool isText() const { return kind == Unknown || kind == NationalText || kind == NarrowText; }
    bool isNarrow() const { return kind == NarrowText; }

    // The length of `text` in this column's unit: bytes of the code page for narrow text, UTF-16
    // units otherwise.
    int unitsOf(const QString &text) const;
    // The first character of `text` that the column's code page cannot hold, or an empty string
    // when every one fits (always, for national text).
    QString firstUnrepresentable(const QString &text) const;

    // Number of the error for a value longer than its column (the server's own number for it).
    static constexpr int kTooLongError = 8152;
    // Number of the error for a character the column cannot hold (ours; the server would store "?").
    static constexpr int kUnrepresentableError = 50001;
    // The messages of check().
    QString tooLongMessage(const QString &column, int actual) const;
    static QString unrepresentableMessage(const QString &column, const QString &character);
    // Throws DbError when `text` does not fit this column: too long, or a character its code page
    // cannot hold. `column` names the field in the message.
    void check(const QString &column, const QString &text) const;
};
