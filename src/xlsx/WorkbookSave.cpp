#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <ctime>
#include <optional>

#include "xlsx/Workbook.h"
#include "xlsx/XlsxPackage.h"
#include "xlsx/XlsxSheet.h"

namespace xlsx {

using namespace detail;

namespace {

// Compression of the parts this module writes: level 1 keeps a large sheet fast to save; the
// repetitive XML of a sheet still shrinks to a small share of its size.
constexpr int kCompressionLevel = 1;

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
