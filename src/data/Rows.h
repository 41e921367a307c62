#pragma once

#include <QDateTime>
#include <QHash>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// Column names of a result; looked up case-insensitively, as the server matches them.
class Columns {
public:
    Columns() = default;
    explicit Columns(const QStringList &names);
    int size() const { return m_names.size(); }
    const QStringList &names() const { return m_names; }
    // Index of the column, -1 when the result has no such column.
    int indexOf(const QString &name) const { return m_index.value(name.toLower(), -1); }
    // Index of the column; throws DbError when the result has no such column.
    int require(const QString &name) const;

private:
    QStringList m_names;
    QHash<QString, int> m_index;
};

// Converting what a column holds. NULL reads as an empty text and an invalid date-time.
namespace Value {
QString text(const QVariant &value);
// The text without the blanks after it: the padding of a fixed-width (CHAR) column.
QString unpadded(const QVariant &value);
// Date-times come back as QDateTime from SQL Server and as text from SQLite.
QDateTime dateTime(const QVariant &value);
// True for the text form in which SQLite keeps date-times: "yyyy-MM-dd HH:mm:ss".
bool isStoredDateTime(const QString &text);
}  // namespace Value

// What a result holds: its columns and its cells, row after row. Shared, never changed.
struct RowsData {
    Columns columns;
    QVector<QVariant> cells;
};

// One row of a result, read by column name or position. It shares the result's data, so it
// stays valid when the result it came from is gone.
class Row {
public:
    Row(QSharedPointer<const RowsData> data, int index) : m_data(std::move(data)), m_index(index) {}
    QVariant value(const QString &column) const { return value(m_data->columns.require(column)); }
    QVariant value(int column) const { return m_data->cells.at(m_index * m_data->columns.size() + column); }
    bool isNull(const QString &column) const { return value(column).isNull(); }
    QString text(const QString &column) const { return Value::text(value(column)); }
    QString text(int column) const { return Value::text(value(column)); }
    QDateTime dateTime(const QString &column) const { return Value::dateTime(value(column)); }
    QDateTime dateTime(int column) const { return Value::dateTime(value(column)); }
    qint64 number(const QString &column) const { return value(column).toLongLong(); }
    qint64 number(int column) const { return value(column).toLongLong(); }

private:
    QSharedPointer<const RowsData> m_data;
    int m_index;
};

// One row of a streamed result (Database::scan), read by position.
class ScanRow {
public:
    virtual ~ScanRow() = default;
    virtual QVariant value(int column) const = 0;
    virtual int columnCount() const = 0;
};

// A result read to its end: the reads of this program never keep a cursor open on the
// connection (the SQL Server driver has one active result per connection).
class Rows {
public:
    Rows() : m_data(QSharedPointer<RowsData>::create()) {}
    Rows(const Columns &columns, QVector<QVariant> cells)
        : m_data(QSharedPointer<RowsData>::create(RowsData{columns, std::move(cells)}))
    {
    }

    int size() const { return m_data->columns.size() == 0 ? 0 : int(m_data->cells.size() / m_data->columns.size()); }
    bool isEmpty() const { return size() == 0; }
    const Columns &columns() const { return m_data->columns; }
    Row at(int row) const { return Row(m_data, row); }
    Row first() const { return at(0); }
    QVariant value(int row, int column) const { return m_data->cells.at(row * m_data->columns.size() + column); }
    QVariant value(int row, const QString &column) const { return value(row, m_data->columns.require(column)); }

    struct Iterator {
        const Rows *rows;
        int index;
        Row operator*() const { return rows->at(index); }
        Iterator &operator++()
        {
            ++index;
            return *this;
        }
        bool operator!=(const Iterator &other) const { return index != other.index; }
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, size()}; }

private:
    QSharedPointer<const RowsData> m_data;
};
