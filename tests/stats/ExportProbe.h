#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include "common/GridModel.h"

// Reads exported workbooks with openpyxl (a reader we did not write) through xlsx_probe.py.
namespace export_probe {

inline QByteArray run(const QString &script, const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning().noquote() << process.readAllStandardError();
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

// One sheet as openpyxl sees it: {"cells": {"A1": {value, type, format, size, h, v, border}},
// "merges": [...], "widths": {...}}, and the workbook's sheet names.
struct Seen {
    QStringList sheets;
    QJsonObject data;  // by sheet name
    QJsonObject sheet(const QString &name) const { return data[name].toObject(); }
    QJsonObject cell(const QString &sheetName, const QString &address) const
    {
        return sheet(sheetName)["cells"].toObject()[address].toObject();
    }
    QVariant value(const QString &sheetName, const QString &address) const
    {
        const QJsonValue v = cell(sheetName, address)["value"];
        return v.isNull() || v.isUndefined() ? QVariant() : v.toVariant();
    }
    QStringList merges(const QString &sheetName) const
    {
        QStringList list;
        for (const QJsonValue &v : sheet(sheetName)["merges"].toArray()) list << v.toString();
        return list;
    }
};

inline Seen dump(const QString &script, const QString &path)
{
    const QJsonObject all = QJsonDocument::fromJson(run(script, {"dump", path})).object();
    Seen seen;
    for (const QJsonValue &v : all["sheets"].toArray()) seen.sheets << v.toString();
    seen.data = all["data"].toObject();
    return seen;
}

// SHA-256 of the content of every zip entry.
inline QVariantMap parts(const QString &script, const QString &path)
{
    return QJsonDocument::fromJson(run(script, {"parts", path})).object().toVariantMap();
}

// A grid like the windows' grids: columns from a flex-grid format string, then data rows.
inline void fillGrid(GridModel &grid, const QString &format, const QList<QStringList> &rows)
{
    grid.setFormatString(format, QFont());
    for (const QStringList &row : rows) grid.appendRow(row);
}

}  // namespace export_probe

#define PROBE_SCRIPT QFINDTESTDATA("../xlsx/xlsx_probe.py")
