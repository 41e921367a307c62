#include "stats/Workbook.h"

#include <zip.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "stats/XlsxSheet.h"
#include "stats/XlsxStyles.h"
#include "stats/XlsxXml.h"

namespace xlsx {

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

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
const char kNewWorkbook[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
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

// libzip describes its errors in English only; these are the texts the user reads.
QString zipCodeText(int code)
{
    switch (code) {
        case ZIP_ER_MULTIDISK: return QStringLiteral("不支持分卷的 zip 压缩文件");
        case ZIP_ER_RENAME: return QStringLiteral("无法用临时文件替换原文件");
        case ZIP_ER_CLOSE: return QStringLiteral("无法关闭文件");
        case ZIP_ER_SEEK: return QStringLiteral("文件定位出错");
        case ZIP_ER_READ: return QStringLiteral("读取文件出错");
        case ZIP_ER_WRITE: return QStringLiteral("写入文件出错");
        case ZIP_ER_CRC: return QStringLiteral("数据校验（CRC）出错");
        case ZIP_ER_NOENT: return QStringLiteral("文件不存在");
        case ZIP_ER_EXISTS: return QStringLiteral("文件已经存在");
        case ZIP_ER_OPEN: return QStringLiteral("无法打开文件");
        case ZIP_ER_TMPOPEN: return QStringLiteral("无法创建临时文件");
        case ZIP_ER_ZLIB: return QStringLiteral("压缩数据出错");
        case ZIP_ER_MEMORY: return QStringLiteral("内存不足");
        case ZIP_ER_COMPNOTSUPP: return QStringLiteral("不支持这种压缩方式");
        case ZIP_ER_EOF: return QStringLiteral("文件意外结束");
        case ZIP_ER_NOZIP: return QStringLiteral("不是 zip 压缩文件");
        case ZIP_ER_INCONS: return QStringLiteral("zip 压缩文件的结构前后不一致");
        case ZIP_ER_REMOVE: return QStringLiteral("无法删除文件");
        case ZIP_ER_ENCRNOTSUPP: return QStringLiteral("不支持这种加密方式");
        case ZIP_ER_RDONLY: return QStringLiteral("文件只能读取，不能写入");
        case ZIP_ER_NOPASSWD: return QStringLiteral("文件已加密，需要密码");
        case ZIP_ER_WRONGPASSWD: return QStringLiteral("密码不正确");
        case ZIP_ER_TELL: return QStringLiteral("无法确定文件位置");
        case ZIP_ER_COMPRESSED_DATA: return QStringLiteral("压缩数据无效");
        case ZIP_ER_CANCELLED: return QStringLiteral("操作已取消");
        default: return QStringLiteral("zip 压缩文件处理出错（错误代码 %1）").arg(code);
    }
}

// The operating system's part of an error, which usually tells the user what to do about it.
QString systemErrorText(int code)
{
    switch (code) {
        case EACCES:
        case EPERM: return QStringLiteral("没有权限");
        case ENOENT: return QStringLiteral("文件或文件夹不存在");
        case ENOSPC: return QStringLiteral("磁盘空间不足");
#ifdef EDQUOT
        case EDQUOT: return QStringLiteral("超出了磁盘配额");
#endif
        case EROFS: return QStringLiteral("磁盘是只读的");
        case EBUSY:
        case ETXTBSY: return QStringLiteral("文件正被其他程序使用");
        case EIO: return QStringLiteral("磁盘读写出错");
        case EMFILE:
        case ENFILE: return QStringLiteral("打开的文件太多");
        case ENAMETOOLONG: return QStringLiteral("文件名太长");
        default: return QStringLiteral("系统错误代码 %1").arg(code);
    }
}

QString zipErrorText(const zip_error_t *error)
{
    QString text = zipCodeText(zip_error_code_zip(error));
    const int system = zip_error_code_system(error);
    if (zip_error_system_type(error) == ZIP_ET_SYS && system != 0)
        text += QStringLiteral("（%1）").arg(systemErrorText(system));
    return text;
}

// The text of an error code from zip_open(); call it before anything else can change errno.
QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = zipErrorText(&error);
    zip_error_fini(&error);
    return text;
}

QString folderOf(const QString &part) { return part.left(part.lastIndexOf(QLatin1Char('/')) + 1); }

QString relationshipsPartOf(const QString &part)
{
    return folderOf(part) + QStringLiteral("_rels/") + part.mid(part.lastIndexOf(QLatin1Char('/')) + 1) +
           QStringLiteral(".rels");
}

// The zip entry name a relationship target refers to.
QString resolveTarget(const QString &sourcePart, const QString &target)
{
    const QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    if (decoded.startsWith(QLatin1Char('/'))) return QDir::cleanPath(decoded.mid(1));
    return QDir::cleanPath(folderOf(sourcePart) + decoded);
}

struct Relationship {
    QString id, type, target;
};

std::vector<Relationship> relationships(const XmlDocument &rels)
{
    std::vector<Relationship> result;
    for (const XmlNode &r : rels.root.children) {
        if (r.is(kPackageRelNs, u"Relationship") && r.value(u"TargetMode") != u"External")
            result.push_back({r.value(u"Id"), r.value(u"Type"), r.value(u"Target")});
    }
    return result;
}

// Adds a part to the workbook, its relationship from the workbook and its content type; returns the
// relationship id.
QString addPart(XmlDocument &workbookRels, XmlDocument &contentTypes, const QString &workbookPart, const QString &part,
                const QString &relationshipType, const QString &contentType)
{
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
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_cancelled(cancelled)
{
}

QString columnName(int column)
{
    if (column < 1 || column > kMaxColumns) return QString();
    QString name;
    for (int c = column; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

int columnNumber(QStringView letters)
{
    if (letters.isEmpty() || letters.size() > 3) return 0;
    int number = 0;
    for (QChar ch : letters) {
        const char16_t c = ch.toUpper().unicode();
        if (c < u'A' || c > u'Z') return 0;
        number = number * 26 + (c - u'A' + 1);
    }
    return number <= kMaxColumns ? number : 0;
}

QString cellName(int row, int column)
{
    if (row < 1 || row > kMaxRows) return QString();
    const QString letters = columnName(column);
    return letters.isEmpty() ? QString() : letters + QString::number(row);
}

bool parseCellName(QStringView name, int *row, int *column)
{
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

CellRange CellRange::fromString(QStringView text, bool *ok)
{
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

bool CellRange::isValid() const
{
    return !isEmpty() && firstRow >= 1 && lastRow <= kMaxRows && firstColumn >= 1 && lastColumn <= kMaxColumns;
}

bool CellRange::intersects(const CellRange &o) const
{
    return !isEmpty() && !o.isEmpty() && o.firstRow <= lastRow && o.lastRow >= firstRow &&
           o.firstColumn <= lastColumn && o.lastColumn >= firstColumn;
}

QString CellRange::toString() const
{
    if (isEmpty()) return QString();
    const QString first = cellName(firstRow, firstColumn);
    if (rowCount() == 1 && columnCount() == 1) return first;
    return first + QLatin1Char(':') + cellName(lastRow, lastColumn);
}

HAlign horizontalAlignment(int code)
{
    switch (code) {
        case -4131: return HAlign::Left;
        case -4108: return HAlign::Center;
        case -4152: return HAlign::Right;
        case -4130: return HAlign::Justify;
        case -4117: return HAlign::Distributed;
        default:
            if (code >= 1 && code <= 8) return HAlign(code);
            throw WorkbookError(QStringLiteral("%1 不是有效的水平对齐方式代码").arg(code));
    }
}

VAlign verticalAlignment(int code)
{
    switch (code) {
        case -4160: return VAlign::Top;
        case -4108: return VAlign::Center;
        case -4107: return VAlign::Bottom;
        case -4130: return VAlign::Justify;
        case -4117: return VAlign::Distributed;
        default:
            if (code >= 1 && code <= 5) return VAlign(code);
            throw WorkbookError(QStringLiteral("%1 不是有效的垂直对齐方式代码").arg(code));
    }
}

// ---------------------------------------------------------------------------------------------- Worksheet

using detail::StyleChange;

Worksheet::Worksheet(std::unique_ptr<detail::SheetModel> model) : d(std::move(model)) {}
Worksheet::~Worksheet() = default;

QString Worksheet::name() const { return d->name(); }
CellRange Worksheet::usedRange() const { return d->usedRange(); }
void Worksheet::clear(const CellRange &range) { d->clear(range); }
void Worksheet::setText(int row, int column, const QString &text) { d->setText(row, column, text); }
void Worksheet::setNumber(int row, int column, double value) { d->setNumber(row, column, value); }
void Worksheet::enterValue(int row, int column, const QString &text) { d->enterValue(row, column, text); }

void Worksheet::setNumberFormat(const CellRange &range, const QString &formatCode)
{
    d->change(range, {StyleChange::NumberFormat, d->numberFormatId(formatCode)});
}

void Worksheet::setHorizontalAlignment(const CellRange &range, HAlign align)
{
    d->change(range, {StyleChange::Horizontal, uint32_t(horizontalAlignment(int(align)))});
}

void Worksheet::setVerticalAlignment(const CellRange &range, VAlign align)
{
    d->change(range, {StyleChange::Vertical, uint32_t(verticalAlignment(int(align)))});
}

void Worksheet::setThinBorders(const CellRange &range) { d->change(range, {StyleChange::ThinBorders, 0}); }

void Worksheet::setFontSize(const CellRange &range, double points)
{
    d->change(range, {StyleChange::FontSize, d->fontSizeValue(points)});
}

void Worksheet::merge(const CellRange &range) { d->merge(range); }

QList<CellRange> Worksheet::mergedRanges() const { return QList<CellRange>(d->merges().begin(), d->merges().end()); }

void Worksheet::setColumnWidth(int column, double characters) { d->setColumnWidth(column, characters); }

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

    ~WorkbookData()
    {
        if (archive) zip_discard(archive);
    }

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

void WorkbookData::openArchive()
{
    closeArchive();
    int code = 0;
    archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS)
            throw WorkbookError(QStringLiteral("%1 不是 .xlsx 工作簿（它不是 zip 压缩文件）").arg(native(path)));
        const QString reason = zipErrorText(code);
        throw WorkbookError(QStringLiteral("无法读取工作簿 %1：%2").arg(native(path), reason));
    }
    const QFileInfo info(path);
    stampTime = info.lastModified();
    stampSize = info.size();
}

bool WorkbookData::hasEntry(const QString &name) const
{
    return archive && zip_name_locate(archive, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

QByteArray WorkbookData::read(const QString &name) const
{
    if (!archive) throw WorkbookError(QStringLiteral("工作簿 %1 已无法读取").arg(native(path)));
    const zip_int64_t index = zip_name_locate(archive, name.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) throw WorkbookError(QStringLiteral("工作簿 %1 已损坏：缺少部件 %2").arg(native(path), name));
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        st.size > kMaxPartSize)
        throw WorkbookError(QStringLiteral("工作簿 %1 已损坏或过大：无法读取部件 %2").arg(native(path), name));
    QByteArray data(qsizetype(st.size), Qt::Uninitialized);
    zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(index), 0);
    zip_int64_t got = file ? zip_fread(file, data.data(), st.size) : -1;
    QString problem;
    if (!file) {
        problem = zipErrorText(zip_get_error(archive));
    } else {
        char extra;
        if (got == zip_int64_t(st.size) && zip_fread(file, &extra, 1) != 0) got = -1;  // longer than stated
        if (got != zip_int64_t(st.size)) {
            const zip_error_t *error = zip_file_get_error(file);
            // Without an error from libzip the entry simply holds more or fewer bytes than it states.
            problem = zip_error_code_zip(error) == ZIP_ER_OK ? QStringLiteral("实际长度与记录的长度不符")
                                                             : zipErrorText(error);
        }
        zip_fclose(file);
    }
    if (!problem.isNull())
        throw WorkbookError(QStringLiteral("工作簿 %1 已损坏：无法读取部件 %2（%3）").arg(native(path), name, problem));
    return data;
}

Styles &WorkbookData::ensureStyles()
{
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

XmlNode &WorkbookData::sheetsElement()
{
    XmlNode *sheets = workbook.root.child(kMainNs, u"sheets");
    if (!sheets) throw WorkbookError(QStringLiteral("工作簿 %1 已损坏：其中没有工作表列表").arg(native(path)));
    return *sheets;
}

}  // namespace detail

using detail::SheetEntry;
using detail::WorkbookData;

Workbook::Workbook() : d(std::make_unique<WorkbookData>()) {}
Workbook::Workbook(Workbook &&) noexcept = default;
Workbook &Workbook::operator=(Workbook &&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const QString &path)
{
    Workbook book;
    WorkbookData &d = *book.d;
    d.path = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(path).isFile()) throw WorkbookError(QStringLiteral("工作簿 %1 不存在").arg(native(d.path)));
    d.openArchive();
    d.onDisk = true;
    if (!d.hasEntry(QStringLiteral("[Content_Types].xml")) || !d.hasEntry(QStringLiteral("_rels/.rels")))
        throw WorkbookError(QStringLiteral("%1 不是 .xlsx 工作簿").arg(native(d.path)));
    d.contentTypes = parseXml(d.read(QStringLiteral("[Content_Types].xml")), QStringLiteral("[Content_Types].xml"));
    const XmlDocument packageRels = parseXml(d.read(QStringLiteral("_rels/.rels")), QStringLiteral("_rels/.rels"));
    for (const Relationship &r : relationships(packageRels)) {
        if (r.type == kOfficeDocumentType) d.workbookPart = resolveTarget(QString(), r.target);
        if (r.type == kStrictOfficeDocumentType)
            throw WorkbookError(QStringLiteral("%1 是以“Strict Open XML 电子表格”格式保存的，本程序无法修改这种格式；"
                                               "请先将它另存为普通的 Excel 工作簿")
                                    .arg(native(d.path)));
    }
    if (d.workbookPart.isEmpty() || !d.hasEntry(d.workbookPart))
        throw WorkbookError(QStringLiteral("%1 不是 .xlsx 工作簿（其中没有工作簿部件）").arg(native(d.path)));
    d.workbook = parseXml(d.read(d.workbookPart), d.workbookPart);
    if (!d.workbook.root.is(kMainNs, u"workbook"))
        throw WorkbookError(QStringLiteral("%1 不是 .xlsx 工作簿").arg(native(d.path)));
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

Workbook Workbook::create(const QString &path)
{
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

QString Workbook::path() const { return d->path; }
int Workbook::sheetCount() const { return int(d->sheets.size()); }

QStringList Workbook::sheetNames() const
{
    QStringList names;
    for (const SheetEntry &entry : d->sheets) names.append(entry.name);
    return names;
}

int Workbook::findSheet(const QString &name) const
{
    for (size_t i = 0; i < d->sheets.size(); ++i)
        if (d->sheets[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

Worksheet &Workbook::sheet(int index)
{
    if (index < 0 || index >= sheetCount())
        throw WorkbookError(QStringLiteral("工作簿中没有第 %1 个工作表").arg(index + 1));
    SheetEntry &entry = d->sheets[size_t(index)];
    if (!entry.sheet) {
        if (!entry.isWorksheet || entry.part.isEmpty())
            throw WorkbookError(
                QStringLiteral("“%1”不是普通工作表（可能是图表工作表），无法在其中写入单元格").arg(entry.name));
        auto model = std::make_unique<detail::SheetModel>(entry.name, d->ensureStyles(), d->formulasRemoved);
        model->load(d->read(entry.part), entry.part);
        entry.sheet.reset(new Worksheet(std::move(model)));
    }
    return *entry.sheet;
}

void Workbook::showSheet(int index)
{
    if (index < 0 || index >= sheetCount())
        throw WorkbookError(QStringLiteral("工作簿中没有第 %1 个工作表").arg(index + 1));
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

QString Workbook::sheetNameError(const QString &name)
{
    if (name.isEmpty()) return QStringLiteral("工作表名称不能为空");
    if (name.size() > kMaxSheetNameLength)
        return QStringLiteral("工作表名称最多 %1 个字符，这个名称有 %2 个").arg(kMaxSheetNameLength).arg(name.size());
    for (QChar c : name) {
        if (QStringView(u":\\/?*[]").contains(c))
            return QStringLiteral("工作表名称不能包含 : \\ / ? * [ ] 中的任何一个字符");
        if (c.unicode() < 0x20) return QStringLiteral("工作表名称不能包含控制字符");
    }
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QStringLiteral("工作表名称不能以单引号（'）开头或结尾");
    if (name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("“History”是电子表格程序保留的名称");
    return QString();
}

Worksheet &Workbook::addSheet(const QString &name)
{
    const QString problem = sheetNameError(name);
    if (!problem.isEmpty()) throw WorkbookError(QStringLiteral("不能使用工作表名称“%1”：%2").arg(name, problem));
    const int existing = findSheet(name);
    if (existing >= 0)
        throw WorkbookError(QStringLiteral("工作簿中已有名为“%1”的工作表").arg(d->sheets[size_t(existing)].name));
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

    bool report(double done)
    {
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

    bool fail(WorkbookError e)
    {
        zip_error_set(&error, e.isCancelled() ? ZIP_ER_CANCELLED : ZIP_ER_INTERNAL, 0);
        failure = std::move(e);
        return false;
    }

    bool generate()
    {
        if (generated) return true;
        try {
            xml = sheet->write([this](double share) { return progress->report(start + weight * 0.4 * share); });
        } catch (const WorkbookError &e) {
            return fail(e);
        } catch (const std::bad_alloc &) {
            return fail(WorkbookError(QStringLiteral("内存不足，无法写出工作表“%1”").arg(sheet->name())));
        }
        size = xml.size();
        generated = true;
        return true;
    }

    static zip_int64_t callback(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t command)
    {
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
                    self->fail(WorkbookError(QStringLiteral("保存已取消"), true));
                    return -1;
                }
                return zip_int64_t(n);
            }
            case ZIP_SOURCE_CLOSE: std::string().swap(self->xml); return 0;
            case ZIP_SOURCE_STAT: {
                if (!self->generate()) return -1;
                auto *st = static_cast<zip_stat_t *>(data);
                zip_stat_init(st);
                st->size = self->size;
                st->mtime = std::time(nullptr);
                st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR: return zip_error_to_data(&self->error, data, length);
            case ZIP_SOURCE_FREE: return 0;
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                      ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default: zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0); return -1;
        }
    }
};

void removeMatching(XmlNode &parent, const std::function<bool(const XmlNode &)> &match)
{
    auto &c = parent.children;
    c.erase(
        std::remove_if(c.begin(), c.end(), [&](const XmlNode &n) { return n.type == XmlNode::Element && match(n); }),
        c.end());
}

}  // namespace

void Workbook::save(const Progress &progress)
{
    WorkbookData &w = *d;
    const QFileInfo info(w.path);
    if (!w.onDisk) {
        if (!info.dir().exists())
            throw WorkbookError(
                QStringLiteral("无法保存工作簿 %1：文件夹 %2 不存在").arg(native(w.path), native(info.absolutePath())));
        if (info.exists())
            throw WorkbookError(QStringLiteral("无法保存新工作簿：已经有一个名为 %1 的文件").arg(native(w.path)));
    } else {
        if (!info.exists()) throw WorkbookError(QStringLiteral("工作簿 %1 已不存在").arg(native(w.path)));
        if (info.lastModified() != w.stampTime || info.size() != w.stampSize)
            throw WorkbookError(
                QStringLiteral("工作簿 %1 在打开后被其他程序修改过，没有保存任何内容").arg(native(w.path)));
        if (!info.isWritable()) throw WorkbookError(QStringLiteral("工作簿 %1 是只读的").arg(native(w.path)));
    }

    // The parts that change, as they will be written.
    if (!w.onDisk) w.ensureStyles();
    const bool addStylesPart = w.styles && w.stylesPartIsNew;
    XmlDocument contentTypes = w.contentTypes, workbookRels = w.workbookRels;
    bool contentTypesChanged = w.contentTypesChanged, workbookRelsChanged = w.workbookRelsChanged;
    const bool dropCalcChain = w.formulasRemoved && !w.calcChainPart.isEmpty();
    if (dropCalcChain) {
        // Cleared formulas leave the calculation chain pointing at cells that no longer have one.
        removeMatching(workbookRels.root, [](const XmlNode &n) { return n.value(u"Type") == kCalcChainType; });
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
    if (contentTypesChanged) parts.emplace_back(QStringLiteral("[Content_Types].xml"), writeXml(contentTypes));
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
        const QString reason = zipErrorText(code);
        reopen();
        throw WorkbookError(QStringLiteral("无法保存工作簿 %1：%2").arg(native(w.path), reason));
    }
    auto fail = [&](const QString &reason) {
        zip_discard(out);
        reopen();
        throw WorkbookError(QStringLiteral("无法保存工作簿 %1：%2").arg(native(w.path), reason));
    };
    auto add = [&](const QString &name, zip_source_t *source) {
        if (!source) fail(zipErrorText(zip_get_error(out)));
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
            fail(zipErrorText(zip_get_error(out)));
        }
        // libzip 1.7 forgets the level when the method equals that of the entry being replaced;
        // asking for the default method (deflate) keeps it.
        zip_stat_t replaced;
        zip_stat_init(&replaced);
        const bool replacesDeflated = zip_stat_index(out, zip_uint64_t(index), ZIP_FL_UNCHANGED, &replaced) == 0 &&
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
                    QStringLiteral("无法保存工作簿 %1：%2").arg(native(w.path), source->failure->message()));
            }
        }
        fail(zipErrorText(zip_get_error(out)));
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
