#pragma once

#include <QString>
#include <stdexcept>

// A database failure: the number and description that the error reports show.
class DbError : public std::runtime_error {
public:
    DbError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
    {
    }

    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// Thrown when a write depends on state that another client changed first
// (a complaint already accepted, a step already closed). Nothing has been written.
class ConcurrentChange : public DbError {
public:
    explicit ConcurrentChange(const QString &description) : DbError(-2, description) {}
};
