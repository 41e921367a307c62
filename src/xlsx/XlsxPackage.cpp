#include "xlsx/XlsxPackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <cerrno>

namespace xlsx::detail {

namespace {

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
        case EFBIG: return QStringLiteral("文件超出了允许的大小");
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

// A workbook with a password to open is not a zip package but an OLE compound file (magic bytes
// D0 CF 11 E0) holding the encrypted package; so is a workbook of Excel 97-2003. What the user
// reads about such a file, or an empty text for any other file.
QString oleContainerText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(4) != QByteArray("\xD0\xCF\x11\xE0", 4)) return QString();
    // The directory of the compound file names its streams in UTF-16 (little-endian), wherever in the
    // file its sectors lie.
    QByteArray name;
    for (char c : QByteArray("EncryptedPackage")) name.append(c).append('\0');
    bool encrypted = false;
    QByteArray tail;
    while (!encrypted && !file.atEnd()) {
        const QByteArray chunk = tail + file.read(1 << 20);
        if (chunk.size() == tail.size()) break;
        encrypted = chunk.contains(name);
        tail = chunk.right(name.size() - 1);
    }
    if (encrypted)
        return QStringLiteral(
                   "工作簿 %1 设有打开密码（已加密），本程序无法写入。"
                   "请在电子表格程序中取消密码后再输出，或换一个文件名")
            .arg(native(path));
    return QStringLiteral(
               "%1 不是 .xlsx 工作簿：它是 Excel 97-2003 格式的文件，或是设有打开密码的工作簿，"
               "本程序无法写入。请换一个文件名，或先将它另存为 .xlsx 工作簿")
        .arg(native(path));
}

}  // namespace

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

QString zipErrorText(const zip_error_t *error)
{
    QString text = zipCodeText(zip_error_code_zip(error));
    const int system = zip_error_code_system(error);
    if (zip_error_system_type(error) == ZIP_ET_SYS && system != 0)
        text += QStringLiteral("（%1）").arg(systemErrorText(system));
    return text;
}

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

QString resolveTarget(const QString &sourcePart, const QString &target)
{
    const QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    if (decoded.startsWith(QLatin1Char('/'))) return QDir::cleanPath(decoded.mid(1));
    return QDir::cleanPath(folderOf(sourcePart) + decoded);
}

std::vector<Relationship> relationships(const XmlDocument &rels)
{
    std::vector<Relationship> result;
    for (const XmlNode &r : rels.root.children) {
        if (r.is(kPackageRelNs, u"Relationship") && r.value(u"TargetMode") != u"External")
            result.push_back({r.value(u"Id"), r.value(u"Type"), r.value(u"Target")});
    }
    return result;
}

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

void WorkbookData::openArchive()
{
    closeArchive();
    int code = 0;
    archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS) {
            const QString ole = oleContainerText(path);
            if (!ole.isEmpty()) throw WorkbookError(ole);
            throw WorkbookError(QStringLiteral("%1 不是 .xlsx 工作簿（它不是 zip 压缩文件）").arg(native(path)));
        }
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

}  // namespace xlsx::detail
