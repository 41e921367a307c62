// Any bytes opened as an existing workbook: every sheet is read, a sheet is added, the workbook
// is written back. Only WorkbookError may come out; a saved workbook must open again.
//
// The first byte chooses what the rest is. Even: the file itself, so the zip container is
// attacked. Odd: the parts of a package, name and content separated by NUL bytes, zipped here
// with the right checksums, so that the mutations reach the XML readers behind the container.
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "xlsx/Workbook.h"

namespace {

QString folder()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/fuzz_workbook-XXXXXX"));
    return dir.path();
}

// Writes the parts "name\0content\0name\0content..." as a zip file.
void writePackage(const QString &path, const QByteArray &parts)
{
    QFile::remove(path);
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) std::abort();
    const QList<QByteArray> fields = parts.split('\0');
    for (int i = 0; i + 1 < fields.size(); i += 2) {
        const QByteArray &content = fields.at(i + 1);
        zip_source_t *source = zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        if (!source) std::abort();
        const zip_int64_t index = zip_file_add(archive, fields.at(i).constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);  // an empty or repeated name
            continue;
        }
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) zip_discard(archive);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    const QString path = folder() + QStringLiteral("/input.xlsx");
    const QByteArray rest = fuzzBytes(data + 1, size - 1);
    if (data[0] & 1) {
        writePackage(path, rest);
    } else {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(rest);
    }
    bool saved = false;
    int sheets = 0;
    try {
        xlsx::Workbook book = xlsx::Workbook::open(path);
        sheets = book.sheetCount();
        for (int i = 0; i < sheets; ++i) {
            try {
                xlsx::Worksheet &sheet = book.sheet(i);
                const xlsx::CellRange used = sheet.usedRange();
                FUZZ_CHECK(used.isEmpty() || used.isValid());
            } catch (const xlsx::WorkbookError &) {
            }
        }
        const QString name = QStringLiteral("投诉统计");
        if (book.findSheet(name) < 0) {
            xlsx::Worksheet &added = book.addSheet(name);
            added.setText(1, 1, QStringLiteral("标题"));
            added.enterValue(2, 1, QStringLiteral("12"));
            added.merge(xlsx::CellRange(1, 1, 1, 3));
            FUZZ_CHECK(book.sheetCount() == sheets + 1);
        }
        book.save();
        saved = true;
    } catch (const xlsx::WorkbookError &) {
    }
    if (saved) {
        // What was written is a workbook with the added sheet.
        xlsx::Workbook again = xlsx::Workbook::open(path);
        FUZZ_CHECK(again.findSheet(QStringLiteral("投诉统计")) >= 0);
    }
    return 0;
}
