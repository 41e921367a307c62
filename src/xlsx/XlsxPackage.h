#pragma once

// The zip package of a workbook: reading its entries, the relationships between its parts, and the
// state of an opened or created workbook that Workbook, its loader and its saver share.

#include <zip.h>

#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "xlsx/Workbook.h"
#include "xlsx/XlsxStyles.h"
#include "xlsx/XlsxXml.h"

namespace xlsx::detail {

inline const QString kRelTypeBase = kRelNs + QLatin1Char('/');
inline const QString kOfficeDocumentType = kRelTypeBase + QStringLiteral("officeDocument");
inline const QString kWorksheetType = kRelTypeBase + QStringLiteral("worksheet");
inline const QString kStylesType = kRelTypeBase + QStringLiteral("styles");
inline const QString kCalcChainType = kRelTypeBase + QStringLiteral("calcChain");
inline const QString kStrictOfficeDocumentType =
    QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");
inline const QString kWorksheetContentType =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
inline const QString kMacroWorkbookContentType = QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml");
inline const QString kStylesContentType =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");

// A path as the user's system writes it.
QString native(const QString &path);

// libzip describes its errors in English only; these give the texts the user reads.
QString zipErrorText(const zip_error_t *error);
// The text of an error code from zip_open(); call it before anything else can change errno.
QString zipErrorText(int code);

QString folderOf(const QString &part);
QString relationshipsPartOf(const QString &part);
// The zip entry name a relationship target refers to.
QString resolveTarget(const QString &sourcePart, const QString &target);

struct Relationship {
    QString id, type, target;
};
std::vector<Relationship> relationships(const XmlDocument &rels);

// Adds a part to the workbook, its relationship from the workbook and its content type; returns the
// relationship id.
QString addPart(XmlDocument &workbookRels, XmlDocument &contentTypes, const QString &workbookPart, const QString &part,
                const QString &relationshipType, const QString &contentType);

struct SheetEntry {
    QString name;
    QString part;  // zip entry name
    bool isWorksheet = true;
    std::unique_ptr<Worksheet> sheet;  // once read or added
};

struct WorkbookData {
    QString path;
    bool onDisk = false;       // opened, or saved once
    zip_t *archive = nullptr;  // read handle while the workbook is open
    QDateTime stampTime;
    qint64 stampSize = -1;

    XmlDocument contentTypes, workbook, workbookRels;
    QString workbookPart, workbookRelsPart, stylesPart, calcChainPart;
    bool contentTypesChanged = false, workbookChanged = false, workbookRelsChanged = false;
    QByteArray newPackageRels;  // _rels/.rels of a workbook that was never saved
    std::unique_ptr<Styles> styles;
    bool stylesPartIsNew = false;
    bool formulasRemoved = false;
    std::vector<SheetEntry> sheets;

    ~WorkbookData() { closeArchive(); }

    void openArchive();
    void closeArchive()
    {
        if (archive) zip_discard(archive);
        archive = nullptr;
    }
    bool hasEntry(const QString &name) const;
    QByteArray read(const QString &name) const;
    Styles &ensureStyles();
    XmlNode &sheetsElement();
};

}  // namespace xlsx::detail
