// Fuzz target: raw mail bytes through the decode the mail check runs on every
// received mail (mime::extractAttachments into a temporary folder), then
// everything the check stores from it: subject, sender, date, header, body
// and the attachments' names. Built as a libFuzzer target with clang and
// sanitizers, and as a plain replay driver with the normal compiler.
#include "mime/mime.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace korvane;

namespace {

QTemporaryDir *folder()
{
    static std::unique_ptr<QTemporaryDir> dir = [] {
        // HTML is read by Qt's document as in the program, which has a
        // graphical application (without one the reader takes a plainer path).
        if (!QCoreApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "fuzz_mime";
            static char *argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);
        }
        mime::initialize();
        return std::make_unique<QTemporaryDir>();
    }();
    return dir.get();
}

// Reads every character, so a string that is wrong underneath shows.
std::size_t touch(const QString &s)
{
    std::size_t sum = 0;
    for (QChar c : s)
        sum += c.unicode();
    return sum + std::size_t(s.toUtf8().size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QTemporaryDir *dir = folder();
    const QString attachments = dir->filePath(QStringLiteral("attachments"));
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const mime::Extraction ex = mime::extractAttachments(raw, attachments);
    volatile std::size_t sink = touch(ex.texts.subject) + touch(ex.texts.from) + touch(ex.texts.date)
                                + touch(ex.texts.header) + touch(ex.texts.body) + touch(ex.error);
    for (const QString &path : ex.savedFiles) {
        // Every attachment lands inside the folder, under a plain name.
        const QFileInfo info(path);
        if (info.absolutePath() != QFileInfo(attachments).absoluteFilePath() || info.fileName().isEmpty())
            __builtin_trap();
        sink = sink + touch(info.fileName());
    }
    (void)sink;
    QDir(attachments).removeRecursively();
    return 0;
}
