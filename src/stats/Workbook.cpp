#include "stats/Workbook.h"

#include <zip.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <cstring>
#include <ctime>
#include <optional>

#include "stats/XlsxSheet.h"
#include "stats/XlsxStyles.h"
#include "stats/XlsxXml.h"

namespace xlsx {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("xlsx", text);
}

QString native(const QString &path) {
    return QDir::toNativeSeparators(path);
}

const QString kRelTypeBase = kRelNs + QLatin1Char('/');
const QString kOfficeDocumentType = kRelTypeBase + QStringLiteral("officeDocument");
const QString kWorksheetType = kRelTypeBase + QStringLiteral("worksheet");
const QString kStylesType = kRelTypeBase + QStringLiteral("styles");
const QString kCalcChainType = kRelTypeBase + QStringLiteral("calcChain");
const QString kStrictOfficeDocumentType =
    QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");
const QString kWorksheetContentType =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
const QString kStylesContentType =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");

const char kNewContentTypes[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/xl/workbook.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
    R"(</Types>)";
const char kNewPackageRels[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" )"
    R"(Target="xl/workbook.xml"/></Relationships>)";
const char kNewWorkbook[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<bookViews><workbookView/></bookViews><sheets/></workbook>)";
const char kNewWorkbookRels[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>)";

// Compression of the parts this module writes: level 1 keeps a large sheet fast to save; the
// repetitive XML of a sheet still shrinks to a small share of its size.
constexpr int kCompressionLevel = 1;
// Parts larger than this are refused when reading rather than exhausting memory.
constexpr zip_uint64_t kMaxPartSize = zip_uint64_t(1) << 30;

QString zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

QString folderOf(const QString &part) {
    return part.left(part.lastIndexOf(QLatin1Char('/')) + 1);
}

QString relationshipsPartOf(const QString &part) {
    return folderOf(part) + QStringLiteral("_rels/") + part.mid(part.lastIndexOf(QLatin1Char('/')) + 1) +
           QStringLiteral(".rels");
}

// The zip entry name a relationship target refers to.
QString resolveTarget(const QString &sourcePart, const QString &target) {
    const QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    if (decoded.startsWith(QLatin1Char('/'))) return QDir::cleanPath(decoded.mid(1));
    return QDir::cleanPath(folderOf(sourcePart) + decoded);
}

struct Relationship {
    QString id, type, target;
};

std::vector<Relationship> relationships(const XmlDocument &rels) {
    std::vector<Relationship> result;
    for (const XmlNode &r : rels.root.children) {
        if (r.is(kPackageRelNs, u"Relationship") && r.value(u"TargetMode") != u"External")
            result.push_back({r.value(u"Id"), r.value(u"Type"), r.value(u"Target")});
    }
    return result;
}

// Adds a part to the workbook, its relationship from the workbook and its content type; returns the
// relationship id.
QString addPart(XmlDocument &workbookRels, XmlDocument &contentTypes, const QString &workbookPart,
                const QString &part, const QString &relationshipType, const QString &contentType) {
    QSet<QString> ids;
    for (const XmlNode &r : workbookRels.root.children) ids.insert(r.value(u"Id"));
    QString id;
    for (int n = 1; ids.contains(id = QStringLiteral("rId%1").arg(n)); ++n) {
    }
    XmlNode rel = workbookRels.root.makeSibling(QStringLiteral("Relationship"));
    rel.setAttribute(QStringLiteral("Id"), id);
    rel.setAttribute(QStringLiteral("Type"), relationshipType);
    rel.setAttribute(QStringLiteral("Target"), part.mid(folderOf(workbookPart).size()));
    workbookRels.root.children.push_back(std::move(rel));
    XmlNode override = contentTypes.root.makeSibling(QStringLiteral("Override"));
    override.setAttribute(QStringLiteral("PartName"), QLatin1Char('/') + part);
    override.setAttribute(QStringLiteral("ContentType"), contentType);
    contentTypes.root.children.push_back(std::move(override));
    return id;
}

}  // namespace

// ---------------------------------------------------------------------------------------------- basics

WorkbookError::WorkbookError(QString message, bool cancelled)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_cancelled(cancelled) {}

QString columnName(int column) {
    if (column < 1 || column > kMaxColumns) return QString();
    QString name;
    for (int c = column; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

int columnNumber(QStringView letters) {
    if (letters.isEmpty() || letters.size() > 3) return 0;
    int number = 0;
    for (QChar ch : letters) {
        const char16_t c = ch.toUpper().unicode();
        if (c < u'A' || c > u'Z') return 0;
        number = number * 26 + (c - u'A' + 1);
    }
    return number <= kMaxColumns ? number : 0;
}

QString cellName(int row, int column) {
    if (row < 1 || row > kMaxRows) return QString();
    const QString letters = columnName(column);
    return letters.isEmpty() ? QString() : letters + QString::number(row);
}

bool parseCellName(QStringView name, int *row, int *column) {
    qsizetype i = 0;
    if (i < name.size() && name[i] == u'$') ++i;
    const qsizetype lettersStart = i;
    while (i < name.size() && name[i].isLetter()) ++i;
    const int c = columnNumber(name.mid(lettersStart, i - lettersStart));
    if (i < name.size() && name[i] == u'$') ++i;
    const qsizetype digitsStart = i;
    qint64 r = 0;
    for (; i < name.size() && name[i] >= u'0' && name[i] <= u'9' && r <= kMaxRows; ++i)
        r = r * 10 + (name[i].unicode() - u'0');
    if (c == 0 || i == digitsStart || i != name.size() || r < 1 || r > kMaxRows) return false;
    *row = int(r);
    *column = c;
    return true;
}

CellRange CellRange::fromString(QStringView text, bool *ok) {
    const qsizetype colon = text.indexOf(u':');
    int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    bool good = parseCellName(colon < 0 ? text : text.left(colon), &r1, &c1);
    if (good && colon >= 0) {
        good = parseCellName(text.mid(colon + 1), &r2, &c2);
    } else {
        r2 = r1;
        c2 = c1;
    }
    if (ok) *ok = good;
    if (!good) return CellRange();
    return CellRange(std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2));
}

bool CellRange::isValid() const {
    return !isEmpty() && firstRow >= 1 && lastRow <= kMaxRows && firstColumn >= 1 &&
           lastColumn <= kMaxColumns;
}

bool CellRange::intersects(const CellRange &o) const {
    return !isEmpty() && !o.isEmpty() && o.firstRow <= lastRow && o.lastRow >= firstRow &&
           o.firstColumn <= lastColumn && o.lastColumn >= firstColumn;
}

QString CellRange::toString() const {
    if (isEmpty()) return QString();
    const QString first = cellName(firstRow, firstColumn);
    if (rowCount() == 1 && columnCount() == 1) return first;
    return first + QLatin1Char(':') + cellName(lastRow, lastColumn);
}

HAlign horizontalAlignment(int code) {
    switch (code) {
        case -4131:
            return HAlign::Left;
        case -4108:
            return HAlign::Center;
        case -4152:
            return HAlign::Right;
        case -4130:
            return HAlign::Justify;
        case -4117:
            return HAlign::Distributed;
        default:
            if (code >= 1 && code <= 8) return HAlign(code);
            throw WorkbookError(tr("%1 is not a horizontal alignment code").arg(code));
    }
}

VAlign verticalAlignment(int code) {
    switch (code) {
        case -4160:
            return VAlign::Top;
        case -4108:
            return VAlign::Center;
        case -4107:
            return VAlign::Bottom;
        case -4130:
            return VAlign::Justify;
        case -4117:
            return VAlign::Distributed;
        default:
            if (code >= 1 && code <= 5) return VAlign(code);
            throw WorkbookError(tr("%1 is not a vertical alignment code").arg(code));
    }
}

// ---------------------------------------------------------------------------------------------- Worksheet

using detail::StyleChange;

Worksheet::Worksheet(std::unique_ptr<detail::SheetModel> model) : d(std::move(model)) {}
Worksheet::~Worksheet() = default;

QString Worksheet::name() const {
    return d->name();
}
CellRange Worksheet::usedRange() const {
    return d->usedRange();
}
void Worksheet::clear(const CellRange &range) {
    d->clear(range);
}
void Worksheet::setText(int row, int column, const QString &text) {
    d->setText(row, column, text);
}
void Worksheet::setNumber(int row, int column, double value) {
    d->setNumber(row, column, value);
}
void Worksheet::enterValue(int row, int column, const QString &text) {
    d->enterValue(row, column, text);
}

void Worksheet::setNumberFormat(const CellRange &range, const QString &formatCode) {
    d->change(range, {StyleChange::NumberFormat, d->numberFormatId(formatCode)});
}

void Worksheet::setHorizontalAlignment(const CellRange &range, HAlign align) {
    d->change(range, {StyleChange::Horizontal, uint32_t(horizontalAlignment(int(align)))});
}

void Worksheet::setVerticalAlignment(const CellRange &range, VAlign align) {
    d->change(range, {StyleChange::Vertical, uint32_t(verticalAlignment(int(align)))});
}

void Worksheet::setThinBorders(const CellRange &range) {
    d->change(range, {StyleChange::ThinBorders, 0});
}

void Worksheet::setFontSize(const CellRange &range, double points) {
    d->change(range, {StyleChange::FontSize, d->fontSizeValue(points)});
}

void Worksheet::merge(const CellRange &range) {
    d->merge(range);
}

QList<CellRange> Worksheet::mergedRanges() const {
    return QList<CellRange>(d->merges().begin(), d->merges().end());
}

void Worksheet::setColumnWidth(int column, double characters) {
    d->setColumnWidth(column, characters);
}

// ---------------------------------------------------------------------------------------------- Workbook

namespace detail {

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

    ~WorkbookData() {
        if (archive) zip_discard(archive);
    }

    void openArchive();
    void closeArchive() {
        if (archive) zip_discard(archive);
        archive = nullptr;
    }
    bool hasEntry(const QString &name) const;
    QByteArray read(const QString &name) const;
    Styles &ensureStyles();
    XmlNode &sheetsElement();
};

void WorkbookData::openArchive() {
    closeArchive();
    int code = 0;
    archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS)
            throw WorkbookError(
                tr("%1 is not an .xlsx workbook (it is not a zip archive)").arg(native(path)));
        throw WorkbookError(tr("Cannot read the workbook %1: %2").arg(native(path), zipErrorText(code)));
    }
    const QFileInfo info(path);
    stampTime = info.lastModified();
    stampSize = info.size();
}

bool WorkbookData::hasEntry(const QString &name) const {
    return archive && zip_name_locate(archive, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

QByteArray WorkbookData::read(const QString &name) const {
    if (!archive) throw WorkbookError(tr("The workbook %1 cannot be read any more").arg(native(path)));
    const zip_int64_t index = zip_name_locate(archive, name.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0)
        throw WorkbookError(tr("The workbook %1 is damaged: the part %2 is missing").arg(native(path), name));
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        st.size > kMaxPartSize)
        throw WorkbookError(tr("The workbook %1 is damaged or too large: the part %2 cannot be read")
                                .arg(native(path), name));
    QByteArray data(qsizetype(st.size), Qt::Uninitialized);
    zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(index), 0);
    zip_int64_t got = file ? zip_fread(file, data.data(), st.size) : -1;
    QString problem;
    if (!file) {
        problem = QString::fromLocal8Bit(zip_error_strerror(zip_get_error(archive)));
    } else {
        char extra;
        if (got == zip_int64_t(st.size) && zip_fread(file, &extra, 1) != 0) got = -1;  // longer than stated
        if (got != zip_int64_t(st.size))
            problem = QString::fromLocal8Bit(zip_error_strerror(zip_file_get_error(file)));
        zip_fclose(file);
    }
    if (!problem.isNull())
        throw WorkbookError(tr("The workbook %1 is damaged: the part %2 cannot be read (%3)")
                                .arg(native(path), name, problem));
    return data;
}

Styles &WorkbookData::ensureStyles() {
    if (!styles) {
        if (stylesPart.isEmpty()) {
            stylesPart = folderOf(workbookPart) + QStringLiteral("styles.xml");
            stylesPartIsNew = true;
            styles = std::make_unique<Styles>(QByteArray(), stylesPart);
        } else {
            styles = std::make_unique<Styles>(read(stylesPart), stylesPart);
        }
    }
    return *styles;
}

XmlNode &WorkbookData::sheetsElement() {
    XmlNode *sheets = workbook.root.child(kMainNs, u"sheets");
    if (!sheets)
        throw WorkbookError(tr("The workbook %1 is damaged: it has no list of sheets").arg(native(path)));
    return *sheets;
}

}  // namespace detail

using detail::SheetEntry;
using detail::WorkbookData;

Workbook::Workbook() : d(std::make_unique<WorkbookData>()) {}
Workbook::Workbook(Workbook &&) noexcept = default;
Workbook &Workbook::operator=(Workbook &&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const QString &path) {
    Workbook book;
    WorkbookData &d = *book.d;
    d.path = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(path).isFile())
        throw WorkbookError(tr("The workbook %1 does not exist").arg(native(d.path)));
    d.openArchive();
    d.onDisk = true;
    if (!d.hasEntry(QStringLiteral("[Content_Types].xml")) || !d.hasEntry(QStringLiteral("_rels/.rels")))
        throw WorkbookError(tr("%1 is not an .xlsx workbook").arg(native(d.path)));
    d.contentTypes =
        parseXml(d.read(QStringLiteral("[Content_Types].xml")), QStringLiteral("[Content_Types].xml"));
    const XmlDocument packageRels =
        parseXml(d.read(QStringLiteral("_rels/.rels")), QStringLiteral("_rels/.rels"));
    for (const Relationship &r : relationships(packageRels)) {
        if (r.type == kOfficeDocumentType) d.workbookPart = resolveTarget(QString(), r.target);
        if (r.type == kStrictOfficeDocumentType)
            throw WorkbookError(
                tr("%1 is saved as a Strict Open XML spreadsheet, which this program cannot change; "
                   "save it as an ordinary Excel workbook first")
                    .arg(native(d.path)));
    }
    if (d.workbookPart.isEmpty() || !d.hasEntry(d.workbookPart))
        throw WorkbookError(tr("%1 is not an .xlsx workbook (it has no workbook part)").arg(native(d.path)));
    d.workbook = parseXml(d.read(d.workbookPart), d.workbookPart);
    if (!d.workbook.root.is(kMainNs, u"workbook"))
        throw WorkbookError(tr("%1 is not an .xlsx workbook").arg(native(d.path)));
    d.workbookRelsPart = relationshipsPartOf(d.workbookPart);
    if (d.hasEntry(d.workbookRelsPart)) {
        d.workbookRels = parseXml(d.read(d.workbookRelsPart), d.workbookRelsPart);
    } else {
        d.workbookRels = parseXml(kNewWorkbookRels, d.workbookRelsPart);
        d.workbookRelsChanged = true;
    }

    QHash<QString, Relationship> byId;
    for (const Relationship &r : relationships(d.workbookRels)) {
        byId.insert(r.id, r);
        if (r.type == kStylesType) d.stylesPart = resolveTarget(d.workbookPart, r.target);
        if (r.type == kCalcChainType) d.calcChainPart = resolveTarget(d.workbookPart, r.target);
    }
    if (!d.stylesPart.isEmpty() && !d.hasEntry(d.stylesPart)) d.stylesPart.clear();
    for (const XmlNode &node : d.sheetsElement().children) {
        if (!node.is(kMainNs, u"sheet")) continue;
        const QString *id = node.attribute(kRelNs, u"id");
        const Relationship r = id ? byId.value(*id) : Relationship();
        SheetEntry entry;
        entry.name = node.value(u"name");
        entry.part = r.target.isEmpty() ? QString() : resolveTarget(d.workbookPart, r.target);
        entry.isWorksheet = r.type == kWorksheetType;
        d.sheets.push_back(std::move(entry));
    }
    return book;
}

Workbook Workbook::create(const QString &path) {
    Workbook book;
    WorkbookData &d = *book.d;
    d.path = QFileInfo(path).absoluteFilePath();
    d.workbookPart = QStringLiteral("xl/workbook.xml");
    d.workbookRelsPart = relationshipsPartOf(d.workbookPart);
    d.contentTypes = parseXml(kNewContentTypes, QStringLiteral("[Content_Types].xml"));
    d.workbook = parseXml(kNewWorkbook, d.workbookPart);
    d.workbookRels = parseXml(kNewWorkbookRels, d.workbookRelsPart);
    d.newPackageRels = kNewPackageRels;
    d.contentTypesChanged = d.workbookChanged = d.workbookRelsChanged = true;
    book.addSheet(QStringLiteral("Sheet1"));
    return book;
}

QString Workbook::path() const {
    return d->path;
}
int Workbook::sheetCount() const {
    return int(d->sheets.size());
}

QStringList Workbook::sheetNames() const {
    QStringList names;
    for (const SheetEntry &entry : d->sheets) names.append(entry.name);
    return names;
}

int Workbook::findSheet(const QString &name) const {
    for (size_t i = 0; i < d->sheets.size(); ++i)
        if (d->sheets[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

Worksheet &Workbook::sheet(int index) {
    if (index < 0 || index >= sheetCount())
        throw WorkbookError(tr("The workbook has no sheet number %1").arg(index + 1));
    SheetEntry &entry = d->sheets[size_t(index)];
    if (!entry.sheet) {
        if (!entry.isWorksheet || entry.part.isEmpty())
            throw WorkbookError(tr("The sheet \"%1\" is not a worksheet (it may be a chart sheet); "
                                   "cells cannot be written to it")
                                    .arg(entry.name));
        auto model = std::make_unique<detail::SheetModel>(entry.name, d->ensureStyles(), d->formulasRemoved);
        model->load(d->read(entry.part), entry.part);
        entry.sheet.reset(new Worksheet(std::move(model)));
    }
    return *entry.sheet;
}

void Workbook::showSheet(int index) {
    if (index < 0 || index >= sheetCount())
        throw WorkbookError(tr("The workbook has no sheet number %1").arg(index + 1));
    int position = 0;
    for (XmlNode &node : d->sheetsElement().children) {
        if (!node.is(kMainNs, u"sheet") || position++ != index) continue;
        if (node.attribute(u"state")) {
            node.removeAttribute(u"state");
            d->workbookChanged = true;
        }
        return;
    }
}

QString Workbook::sheetNameError(const QString &name) {
    if (name.isEmpty()) return tr("a sheet name cannot be empty");
    if (name.size() > kMaxSheetNameLength)
        return tr("a sheet name has at most %1 characters, this one has %2")
            .arg(kMaxSheetNameLength)
            .arg(name.size());
    for (QChar c : name) {
        if (QStringView(u":\\/?*[]").contains(c))
            return tr("a sheet name cannot contain any of : \\ / ? * [ ]");
        if (c.unicode() < 0x20) return tr("a sheet name cannot contain control characters");
    }
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return tr("a sheet name cannot begin or end with an apostrophe");
    if (name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0)
        return tr("the name \"History\" is reserved by the spreadsheet application");
    return QString();
}

Worksheet &Workbook::addSheet(const QString &name) {
    const QString problem = sheetNameError(name);
    if (!problem.isEmpty())
        throw WorkbookError(tr("The sheet name \"%1\" is not allowed: %2").arg(name, problem));
    const int existing = findSheet(name);
    if (existing >= 0)
        throw WorkbookError(
            tr("The workbook already has a sheet named \"%1\"").arg(d->sheets[size_t(existing)].name));
    WorkbookData &w = *d;
    XmlNode &sheets = w.sheetsElement();
    detail::Styles &styles = w.ensureStyles();

    // A part name and a sheet id that nothing uses yet.
    QSet<QString> parts;
    for (const SheetEntry &entry : w.sheets) parts.insert(entry.part.toLower());
    const QString folder = folderOf(w.workbookPart);
    QString part;
    for (int n = int(w.sheets.size()) + 1;; ++n) {
        part = folder + QStringLiteral("worksheets/sheet%1.xml").arg(n);
        if (!parts.contains(part.toLower()) && !w.hasEntry(part)) break;
    }
    uint sheetId = 0;
    for (const XmlNode &node : sheets.children) sheetId = std::max(sheetId, node.value(u"sheetId").toUInt());

    auto model = std::make_unique<detail::SheetModel>(name, styles, w.formulasRemoved);
    model->load(QByteArray(), part);

    const QString id =
        addPart(w.workbookRels, w.contentTypes, w.workbookPart, part, kWorksheetType, kWorksheetContentType);
    XmlNode sheetNode = sheets.makeSibling(QStringLiteral("sheet"));
    sheetNode.setAttribute(QStringLiteral("name"), name);
    sheetNode.setAttribute(QStringLiteral("sheetId"), QString::number(sheetId + 1));
    QString relPrefix;
    for (const auto &[prefix, uri] : w.workbook.root.namespaces)
        if (uri == kRelNs && !prefix.isEmpty()) relPrefix = prefix;
    if (relPrefix.isEmpty()) {
        relPrefix = QStringLiteral("r");
        sheetNode.namespaces.emplace_back(relPrefix, kRelNs);
    }
    sheetNode.attributes.push_back({relPrefix + QStringLiteral(":id"), kRelNs, id});
    sheets.children.push_back(std::move(sheetNode));

    w.workbookChanged = w.workbookRelsChanged = w.contentTypesChanged = true;

    SheetEntry entry;
    entry.name = name;
    entry.part = part;
    entry.sheet.reset(new Worksheet(std::move(model)));
    w.sheets.push_back(std::move(entry));
    return *w.sheets.back().sheet;
}

// ---------------------------------------------------------------------------------------------- saving

namespace {

// Progress over the whole save; the sheets are most of its work.
struct SaveProgress {
    const Workbook::Progress *callback = nullptr;
    double total = 1;
    int reported = -1;

    bool report(double done) {
        if (!callback || !*callback) return true;
        const int step = int(done / total * 1000);
        if (step == reported) return true;
        reported = step;
        return (*callback)(std::min(1.0, done / total));
    }
};

// A zip source that writes a sheet's XML when libzip first asks for it, so that the text exists only
// while that part is being compressed.
struct SheetSource {
    const detail::SheetModel *sheet = nullptr;
    SaveProgress *progress = nullptr;
    double start = 0, weight = 0;  // share of the whole save
    std::string xml;
    size_t size = 0, position = 0;
    bool generated = false;
    zip_error_t error;
    std::optional<WorkbookError> failure;

    SheetSource() { zip_error_init(&error); }
    ~SheetSource() { zip_error_fini(&error); }

    bool fail(WorkbookError e) {
        zip_error_set(&error, e.isCancelled() ? ZIP_ER_CANCELLED : ZIP_ER_INTERNAL, 0);
        failure = std::move(e);
        return false;
    }

    bool generate() {
        if (generated) return true;
        try {
            xml =
                sheet->write([this](double share) { return progress->report(start + weight * 0.4 * share); });
        } catch (const WorkbookError &e) {
            return fail(e);
        } catch (const std::bad_alloc &) {
            return fail(WorkbookError(
                tr("There is not enough memory to write the worksheet \"%1\"").arg(sheet->name())));
        }
        size = xml.size();
        generated = true;
        return true;
    }

    static zip_int64_t callback(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t command) {
        auto *self = static_cast<SheetSource *>(userdata);
        switch (command) {
            case ZIP_SOURCE_OPEN:
                if (!self->generate()) return -1;
                self->position = 0;
                return 0;
            case ZIP_SOURCE_READ: {
                const size_t n = std::min(size_t(length), self->xml.size() - self->position);
                std::memcpy(data, self->xml.data() + self->position, n);
                self->position += n;
                const double share = self->size ? double(self->position) / double(self->size) : 1.0;
                bool goOn = true;
                try {
                    goOn = self->progress->report(self->start + self->weight * (0.4 + 0.6 * share));
                } catch (...) {
                    goOn = false;
                }
                if (!goOn) {
                    self->fail(WorkbookError(tr("The save was cancelled"), true));
                    return -1;
                }
                return zip_int64_t(n);
            }
            case ZIP_SOURCE_CLOSE:
                std::string().swap(self->xml);
                return 0;
            case ZIP_SOURCE_STAT: {
                if (!self->generate()) return -1;
                auto *st = static_cast<zip_stat_t *>(data);
                zip_stat_init(st);
                st->size = self->size;
                st->mtime = std::time(nullptr);
                st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&self->error, data, length);
            case ZIP_SOURCE_FREE:
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                      ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default:
                zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }
};

void removeMatching(XmlNode &parent, const std::function<bool(const XmlNode &)> &match) {
    auto &c = parent.children;
    c.erase(std::remove_if(c.begin(), c.end(),
                           [&](const XmlNode &n) { return n.type == XmlNode::Element && match(n); }),
            c.end());
}

}  // namespace

void Workbook::save(const Progress &progress) {
    WorkbookData &w = *d;
    const QFileInfo info(w.path);
    if (!w.onDisk) {
        if (!info.dir().exists())
            throw WorkbookError(tr("Cannot save the workbook %1: the folder %2 does not exist")
                                    .arg(native(w.path), native(info.absolutePath())));
        if (info.exists())
            throw WorkbookError(
                tr("Cannot save the new workbook: a file named %1 already exists").arg(native(w.path)));
    } else {
        if (!info.exists()) throw WorkbookError(tr("The workbook %1 no longer exists").arg(native(w.path)));
        if (info.lastModified() != w.stampTime || info.size() != w.stampSize)
            throw WorkbookError(tr("The workbook %1 was changed by another program after it was opened; "
                                   "nothing was saved")
                                    .arg(native(w.path)));
        if (!info.isWritable()) throw WorkbookError(tr("The workbook %1 is read-only").arg(native(w.path)));
    }

    // The parts that change, as they will be written.
    if (!w.onDisk) w.ensureStyles();
    const bool addStylesPart = w.styles && w.stylesPartIsNew;
    XmlDocument contentTypes = w.contentTypes, workbookRels = w.workbookRels;
    bool contentTypesChanged = w.contentTypesChanged, workbookRelsChanged = w.workbookRelsChanged;
    const bool dropCalcChain = w.formulasRemoved && !w.calcChainPart.isEmpty();
    if (dropCalcChain) {
        // Cleared formulas leave the calculation chain pointing at cells that no longer have one.
        removeMatching(workbookRels.root,
                       [](const XmlNode &n) { return n.value(u"Type") == kCalcChainType; });
        const QString partName = QLatin1Char('/') + w.calcChainPart;
        removeMatching(contentTypes.root, [&](const XmlNode &n) {
            return n.value(u"PartName").compare(partName, Qt::CaseInsensitive) == 0;
        });
        contentTypesChanged = workbookRelsChanged = true;
    }
    if (addStylesPart) {
        addPart(workbookRels, contentTypes, w.workbookPart, w.stylesPart, kStylesType, kStylesContentType);
        contentTypesChanged = workbookRelsChanged = true;
    }
    std::vector<std::pair<QString, QByteArray>> parts;
    if (contentTypesChanged)
        parts.emplace_back(QStringLiteral("[Content_Types].xml"), writeXml(contentTypes));
    if (!w.newPackageRels.isEmpty()) parts.emplace_back(QStringLiteral("_rels/.rels"), w.newPackageRels);
    if (w.workbookChanged) parts.emplace_back(w.workbookPart, writeXml(w.workbook));
    if (workbookRelsChanged) parts.emplace_back(w.workbookRelsPart, writeXml(workbookRels));
    if (w.styles && w.styles->isChanged()) parts.emplace_back(w.stylesPart, w.styles->write());

    SaveProgress saveProgress;
    saveProgress.callback = &progress;
    std::vector<std::unique_ptr<SheetSource>> sources;
    std::vector<const SheetEntry *> changedSheets;
    double total = 0;
    for (const SheetEntry &entry : w.sheets) {
        if (!entry.sheet || !entry.sheet->d->isChanged()) continue;
        auto source = std::make_unique<SheetSource>();
        source->sheet = entry.sheet->d.get();
        source->progress = &saveProgress;
        source->start = total;
        source->weight = double(entry.sheet->d->cellCount()) + 1;
        total += source->weight;
        sources.push_back(std::move(source));
        changedSheets.push_back(&entry);
    }
    saveProgress.total = std::max(total, 1.0);

    // libzip writes the new package to a temporary file beside the workbook and renames it over the
    // workbook only when everything was written; on failure it removes the temporary file.
    w.closeArchive();
    int code = 0;
    zip_t *out = zip_open(QFile::encodeName(w.path).constData(), w.onDisk ? 0 : ZIP_CREATE | ZIP_EXCL, &code);
    auto reopen = [&] {
        if (w.onDisk) {
            try {
                w.openArchive();
            } catch (const WorkbookError &) {
                // reported when a sheet is next read
            }
        }
    };
    if (!out) {
        reopen();
        throw WorkbookError(tr("Cannot save the workbook %1: %2").arg(native(w.path), zipErrorText(code)));
    }
    auto fail = [&](const QString &reason) {
        zip_discard(out);
        reopen();
        throw WorkbookError(tr("Cannot save the workbook %1: %2").arg(native(w.path), reason));
    };
    auto add = [&](const QString &name, zip_source_t *source) {
        if (!source) fail(QString::fromLocal8Bit(zip_strerror(out)));
        // Part names do not depend on case: replace the entry whatever the case of its name.
        const QByteArray utf8 = name.toUtf8();
        zip_int64_t index = zip_name_locate(out, utf8.constData(), ZIP_FL_NOCASE);
        if (index >= 0) {
            if (zip_file_replace(out, zip_uint64_t(index), source, 0) != 0) index = -1;
        } else {
            index = zip_file_add(out, utf8.constData(), source, ZIP_FL_ENC_UTF_8);
        }
        if (index < 0) {
            zip_source_free(source);
            fail(QString::fromLocal8Bit(zip_strerror(out)));
        }
        // libzip 1.7 forgets the level when the method equals that of the entry being replaced;
        // asking for the default method (deflate) keeps it.
        zip_stat_t replaced;
        zip_stat_init(&replaced);
        const bool replacesDeflated =
            zip_stat_index(out, zip_uint64_t(index), ZIP_FL_UNCHANGED, &replaced) == 0 &&
            (replaced.valid & ZIP_STAT_COMP_METHOD) && replaced.comp_method == ZIP_CM_DEFLATE;
        zip_set_file_compression(out, zip_uint64_t(index), replacesDeflated ? ZIP_CM_DEFAULT : ZIP_CM_DEFLATE,
                                 kCompressionLevel);
    };
    for (const auto &[name, data] : parts)
        add(name, zip_source_buffer(out, data.constData(), zip_uint64_t(data.size()), 0));
    for (size_t i = 0; i < sources.size(); ++i)
        add(changedSheets[i]->part, zip_source_function(out, &SheetSource::callback, sources[i].get()));
    if (dropCalcChain) {
        const zip_int64_t index = zip_name_locate(out, w.calcChainPart.toUtf8().constData(), ZIP_FL_NOCASE);
        if (index >= 0) zip_delete(out, zip_uint64_t(index));
    }
    if (zip_close(out) != 0) {
        for (const auto &source : sources) {
            if (source->failure) {
                zip_discard(out);
                reopen();
                if (source->failure->isCancelled()) throw *source->failure;
                throw WorkbookError(
                    tr("Cannot save the workbook %1: %2").arg(native(w.path), source->failure->message()));
            }
        }
        fail(QString::fromLocal8Bit(zip_strerror(out)));
    }

    // Saved: what was written is now the workbook on disk.
    w.onDisk = true;
    w.newPackageRels.clear();
    w.contentTypes = std::move(contentTypes);
    w.workbookRels = std::move(workbookRels);
    w.contentTypesChanged = w.workbookChanged = w.workbookRelsChanged = false;
    w.stylesPartIsNew = false;
    if (w.styles) w.styles->markSaved();
    if (dropCalcChain) w.calcChainPart.clear();
    w.formulasRemoved = false;
    for (SheetEntry &entry : w.sheets)
        if (entry.sheet) entry.sheet->d->markSaved();
    reopen();
    if (progress) progress(1.0);
}

}  // namespace xlsx
