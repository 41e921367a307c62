#include "xlsx/Workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

#include "xlsx/XlsxPackage.h"
#include "xlsx/XlsxSheet.h"

namespace xlsx {

using namespace detail;

namespace {

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

}  // namespace

bool lockedByLibreOffice(const QString &path, QString *holder)
{
    const QFileInfo info(path);
    const QString lock = info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
    if (!QFileInfo::exists(lock)) return false;
    // "name,host,user folder,time,..." as LibreOffice writes it; the first field is who has it open.
    QFile file(lock);
    if (holder && file.open(QIODevice::ReadOnly))
        *holder = QString::fromUtf8(file.readLine(4096)).section(QLatin1Char(','), 0, 0).trimmed();
    return true;
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
void Worksheet::setRowHeight(int row, double points) { d->setRowHeight(row, points); }
double Worksheet::rowHeight(int row) const { return d->rowHeight(row); }
void Worksheet::fitToPageWidth(bool landscape) { d->fitToPageWidth(landscape); }

// ---------------------------------------------------------------------------------------------- Workbook

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
    if (QFileInfo(path).suffix().compare(QLatin1String("xlsm"), Qt::CaseInsensitive) == 0) {
        // The spreadsheet application refuses an .xlsm file whose workbook is not macro-enabled.
        for (XmlNode &node : d.contentTypes.root.children)
            if (node.value(u"PartName") == u"/xl/workbook.xml")
                node.setAttribute(QStringLiteral("ContentType"), kMacroWorkbookContentType);
    }
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

Worksheet &Workbook::sheet(int index) { return sheet(index, nullptr); }

Worksheet &Workbook::sheet(int index, const QByteArray *partBytes)
{
    if (index < 0 || index >= sheetCount())
        throw WorkbookError(QStringLiteral("工作簿中没有第 %1 个工作表").arg(index + 1));
    SheetEntry &entry = d->sheets[size_t(index)];
    if (!entry.sheet) {
        if (!entry.isWorksheet || entry.part.isEmpty())
            throw WorkbookError(
                QStringLiteral("“%1”不是普通工作表（可能是图表工作表），无法在其中写入单元格").arg(entry.name));
        auto model = std::make_unique<detail::SheetModel>(entry.name, d->ensureStyles(), d->formulasRemoved);
        model->load(partBytes ? *partBytes : d->read(entry.part), entry.part);
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

void Workbook::activateSheet(int index)
{
    showSheet(index);  // checks the index; a hidden sheet cannot be the active one
    WorkbookData &w = *d;
    XmlNode *views = w.workbook.root.child(kMainNs, u"bookViews");
    if (!views) {
        XmlNode created = w.workbook.root.makeSibling(QStringLiteral("bookViews"));
        created.children.push_back(w.workbook.root.makeSibling(QStringLiteral("workbookView")));
        auto &children = w.workbook.root.children;
        auto sheets =
            std::find_if(children.begin(), children.end(), [](const XmlNode &n) { return n.is(kMainNs, u"sheets"); });
        views = &*children.insert(sheets, std::move(created));
        w.workbookChanged = true;
    }
    const QString tab = QString::number(index);
    for (XmlNode &view : views->children) {
        if (!view.is(kMainNs, u"workbookView")) continue;
        if (view.value(u"activeTab").toInt() != index) {
            view.setAttribute(QStringLiteral("activeTab"), tab);
            w.workbookChanged = true;
        }
        // The first tab shown in the tab bar must not lie after the active one.
        if (view.value(u"firstSheet").toInt() > index) {
            view.setAttribute(QStringLiteral("firstSheet"), tab);
            w.workbookChanged = true;
        }
    }
    // One selected tab: a sheet still selected beside it would be grouped with it, and whatever the
    // user typed would go into both.
    for (int i = 0; i < sheetCount(); ++i) {
        SheetEntry &entry = w.sheets[size_t(i)];
        if (i == index) {
            sheet(i).d->setTabSelected(true);
            continue;
        }
        if (!entry.isWorksheet || entry.part.isEmpty()) continue;
        try {
            if (entry.sheet) {
                entry.sheet->d->setTabSelected(false);
                continue;
            }
            // Read once: only a sheet that says it is selected is taken apart to say otherwise.
            const QByteArray bytes = w.read(entry.part);
            if (bytes.contains("tabSelected")) sheet(i, &bytes).d->setTabSelected(false);
        } catch (const WorkbookError &) {
            // A sheet that cannot be read is left as it is; the report is still the active one.
        }
    }
}

int Workbook::activeSheet() const
{
    const XmlNode *views = d->workbook.root.child(kMainNs, u"bookViews");
    const XmlNode *view = views ? views->child(kMainNs, u"workbookView") : nullptr;
    const int tab = view ? view->value(u"activeTab").toInt() : 0;
    return tab >= 0 && tab < sheetCount() ? tab : 0;
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

}  // namespace xlsx
