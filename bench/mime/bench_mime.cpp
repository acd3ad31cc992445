// Times the decoding of hostile received mail. Every case builds one mail
// (up to 10 MB; one case has a 20 MB header line) whose headers or body are
// built to make a decoder do more than linear work, then times
//   - mime::extractAttachments(raw, folder): the check's full decode (GMime
//     parse, walk, texts, attachments saved into a temporary folder);
//   - mime::messageTexts(raw): the texts of the mail without GMime.
// Goal: each under 1 s. Prints one line per case and the worst case.
//   build/bench/bench_mime            all cases
//   build/bench/bench_mime words ...  only the cases whose name contains a word
//   build/bench/bench_mime --texts-only [words ...]  messageTexts only
#include "mime/mime.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace korvane;

namespace {

constexpr qsizetype MB = 1024 * 1024;

QByteArray head(const QByteArray &extra = {})
{
    return "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <a@example.jp>\r\n"
           "To: b@example.jp\r\nDate: Tue, 8 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
           + extra;
}

// Repeats `unit` until the text reaches `size` bytes.
QByteArray fill(const QByteArray &unit, qsizetype size)
{
    QByteArray out;
    out.reserve(size + unit.size());
    while (out.size() + unit.size() <= size)
        out += unit;
    return out;
}

QByteArray textMail(const QByteArray &headers, const QByteArray &body = "body\r\n")
{
    return head(headers) + "Content-Type: text/plain; charset=utf-8\r\n\r\n" + body;
}

QByteArray attachmentMail(const QByteArray &partHeaders, const QByteArray &content = "QUJD\r\n")
{
    return head("Subject: attachment\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n") + "\r\n--b\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n\r\nhello\r\n--b\r\n"
           + partHeaders + "\r\n" + content + "\r\n--b--\r\n";
}

struct Case {
    const char *name;
    std::function<QByteArray()> build;
};

QList<Case> cases()
{
    const qsizetype size = 10 * MB;
    QList<Case> list;
    list << Case{"encoded-words-one-charset", [=] {
        // 600,000 words (about 10 MB) separated by blanks, joined into one text.
        return textMail("Subject: " + fill("=?ISO-2022-JP?B?GyRCJEIbKEI=?=\r\n ", size - 1000) + "end\r\n");
    }};
    list << Case{"encoded-words-mixed-charsets", [=] {
        return textMail("Subject: "
                        + fill("=?utf-8?B?44GC?= =?iso-2022-jp?B?GyRCJEIbKEI=?= =?shift_jis?B?gqA=?= "
                               "=?euc-jp?B?pKI=?= =?x-unknown?Q?a?= ",
                               size - 1000)
                        + "\r\n");
    }};
    list << Case{"word-openings-without-end", [=] {
        return textMail("Subject: " + fill("=?utf-8?B?QUJD", size - 1000) + "\r\n");
    }};
    list << Case{"word-openings-blank-inside", [=] {
        return textMail("Subject: " + fill("=?utf-8?Q?a b?=", size - 1000) + "\r\n");
    }};
    list << Case{"word-openings-long-charset", [=] {
        return textMail("Subject: " + fill("=?" + QByteArray(60, 'c'), size - 1000) + "\r\n");
    }};
    list << Case{"parameters-top-level", [=] {
        QByteArray p;
        for (qsizetype i = 0; p.size() < size - 1000; ++i)
            p += "; p" + QByteArray::number(i) + "=v";
        return head("Subject: params\r\n") + "Content-Type: text/plain; charset=utf-8" + p + "\r\n\r\nbody\r\n";
    }};
    list << Case{"parameters-attachment", [=] {
        QByteArray p;
        for (qsizetype i = 0; p.size() < size - 1000; ++i)
            p += ";\r\n p" + QByteArray::number(i) + "=\"=?utf-8?B?44GC?=\"";
        return attachmentMail("Content-Type: application/octet-stream; name=\"a.bin\"" + p
                              + "\r\nContent-Transfer-Encoding: base64\r\n");
    }};
    list << Case{"rfc2231-continuations", [=] {
        QByteArray p;
        for (qsizetype i = 0; p.size() < size - 1000; ++i)
            p += ";\r\n filename*" + QByteArray::number(i) + "*=" + (i == 0 ? "utf-8''" : "") + "%E3%81%82";
        return attachmentMail("Content-Type: application/octet-stream\r\nContent-Disposition: attachment" + p
                              + "\r\nContent-Transfer-Encoding: base64\r\n");
    }};
    list << Case{"rfc2231-reversed-sections", [=] {
        QByteArray p;
        const int n = int(size / 24);
        for (int i = n - 1; i >= 0 && p.size() < size - 1000; --i)
            p += "; name*" + QByteArray::number(i) + "=\"ab\"";
        return attachmentMail("Content-Type: application/octet-stream" + p + "\r\n");
    }};
    list << Case{"header-line-10MB", [=] { return textMail("X-Long: " + QByteArray(size - 1000, 'a') + "\r\n"); }};
    list << Case{"header-line-20MB", [=] {
        return textMail("X-Long: " + QByteArray(2 * size - 1000, 'a') + "\r\n");
    }};
    list << Case{"subject-line-8bit-10MB", [=] {
        return textMail("Subject: " + fill("\x82\xa0\xa4\xa2", size - 1000) + "\r\n");
    }};
    list << Case{"subject-line-folded", [=] { return textMail("Subject: " + fill("a\r\n ", size - 1000) + "\r\n"); }};
    list << Case{"many-header-fields", [=] { return textMail(fill("X-A: b\r\n", size - 1000)); }};
    list << Case{"header-without-body", [=] { return head() + fill("X-A: b\r\n", size - 1000); }};
    list << Case{"deep-nesting", [=] {
        QByteArray m = head("Subject: deep\r\n");
        const int depth = 20000;
        for (int i = 0; i < depth; ++i)
            m += "Content-Type: multipart/mixed; boundary=\"b" + QByteArray::number(i) + "\"\r\n\r\n--b"
                 + QByteArray::number(i) + "\r\n";
        m += "Content-Type: text/plain\r\n\r\ninner\r\n";
        for (int i = depth - 1; i >= 0; --i)
            m += "--b" + QByteArray::number(i) + "--\r\n";
        return m;
    }};
    list << Case{"deep-message-nesting", [=] {
        QByteArray m;
        for (int i = 0; i < 20000; ++i)
            m += "Subject: " + QByteArray::number(i) + "\r\nContent-Type: message/rfc822\r\n\r\n";
        return head() + m + "Content-Type: text/plain\r\n\r\ninner\r\n";
    }};
    list << Case{"many-text-parts", [=] {
        return head("Subject: parts\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n") + "\r\n"
               + fill("--b\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n\x1b$B$\"\x1b(B\r\n", size - 1000)
               + "--b--\r\n";
    }};
    list << Case{"many-empty-parts", [=] {
        return head("Subject: parts\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n") + "\r\n"
               + fill("--b\r\n\r\n", size - 1000) + "--b--\r\n";
    }};
    list << Case{"attachments-same-name-200", [=] {
        QByteArray parts;
        for (int i = 0; i < 200; ++i)
            parts += "--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n\r\nx\r\n";
        return head("Subject: parts\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n") + "\r\n" + parts + "--b--\r\n";
    }};
    // Named in linear time: 19,990 files of one name (just below the most
    // parts a mail is taken apart with) well under 2 s.
    list << Case{"attachments-same-name-19990", [=] {
        QByteArray parts;
        for (int i = 0; i < 19990; ++i)
            parts += "--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n\r\nx\r\n";
        return head("Subject: parts\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n") + "\r\n" + parts + "--b--\r\n";
    }};
    list << Case{"attachment-name-1MB", [=] {
        return attachmentMail("Content-Type: application/octet-stream; name=\"" + QByteArray(MB, 'a') + ".bin\"\r\n");
    }};
    list << Case{"attachment-name-1MB-dots", [=] {
        return attachmentMail("Content-Type: application/octet-stream; name=\"" + QByteArray(MB, '.') + "a\"\r\n");
    }};
    list << Case{"base64-stray-padding", [=] {
        return attachmentMail("Content-Type: application/octet-stream; name=\"a.bin\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n",
                              fill("QQ==Q===\r\n", size - 1000));
    }};
    list << Case{"base64-text-body", [=] {
        return head("Subject: b64\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n")
               + "\r\n" + fill("44GC=44GC\r\n", size - 1000);
    }};
    list << Case{"quoted-printable-body", [=] {
        return head("Subject: qp\r\nContent-Type: text/plain; charset=shift_jis\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n")
               + "\r\n" + fill("=82=A0 \t =\r\n=Z", size - 1000);
    }};
    list << Case{"iso-2022-jp-mode-switches", [=] {
        return head("Subject: jis\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n") + "\r\n"
               + fill("\x1b$B$\"\x1b(Ba\x1b$(D0!\x1b(I1\x1b(B", size - 1000);
    }};
    list << Case{"iso-2022-jp-broken", [=] {
        return head("Subject: jis\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n") + "\r\n"
               + fill("\x1b$B\x80\x1b$Z$\x1b", size - 1000);
    }};
    list << Case{"undeclared-8bit-body", [=] {
        return head("Subject: raw\r\n") + "\r\n" + fill("\x82\xa0\xa4\xa2\xff\xfe", size - 1000);
    }};
    list << Case{"mislabelled-utf8-body", [=] {
        return head("Subject: raw\r\nContent-Type: text/plain; charset=utf-8\r\n") + "\r\n"
               + fill("\x82\xa0\xa4\xa2\xff", size - 1000);
    }};
    list << Case{"html-body", [=] {
        return head("Subject: html\r\nContent-Type: text/html; charset=utf-8\r\n") + "\r\n"
               + fill("<p>a&amp;&#12354;<br><td>b</td><!-- c --> <script>x</script>\r\n", size - 1000);
    }};
    list << Case{"html-unclosed", [=] {
        return head("Subject: html\r\nContent-Type: text/html; charset=utf-8\r\n") + "\r\n"
               + fill("<a<script&&#<!--<style", size - 1000);
    }};
    list << Case{"html-blank-runs", [=] {
        return head("Subject: html\r\nContent-Type: text/html; charset=utf-8\r\n") + "\r\n"
               + fill("<br>               ", size - 1000);
    }};
    list << Case{"boundaries-only", [=] {
        return head("Subject: b\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n") + "\r\n"
               + fill("--b\r\n", size - 1000);
    }};
    return list;
}

double seconds(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList wanted = app.arguments().mid(1);
    const bool textsOnly = wanted.removeAll(QStringLiteral("--texts-only")) > 0;
    mime::initialize();
    QTemporaryDir tmp;
    double worst = 0;
    QByteArray worstName;
    int n = 0;
    std::printf("%-30s %8s %14s %14s\n", "case", "MB", "extract s", "texts s");
    for (const Case &c : cases()) {
        bool take = wanted.isEmpty();
        for (const QString &w : wanted)
            take = take || QString::fromLatin1(c.name).contains(w);
        if (!take)
            continue;
        const QByteArray raw = c.build();
        const QString folder = tmp.filePath(QString::number(++n));
        // As the mail check saves: the files are put on the disk together
        // afterwards, not one by one.
        mime::Extraction ex;
        const double extract = textsOnly ? 0 : seconds([&] { ex = mime::extractAttachments(raw, folder, mime::FileSync::ByCaller); });
        QDir(folder).removeRecursively();
        mime::ReceivedTexts texts;
        const double plain = seconds([&] { texts = mime::messageTexts(raw); });
        std::printf("%-30s %8.2f %14.3f %14.3f\n", c.name, double(raw.size()) / MB, extract, plain);
        std::fflush(stdout);
        for (double s : {extract, plain}) {
            if (s > worst) {
                worst = s;
                worstName = c.name;
            }
        }
    }
    std::printf("worst: %s %.3f s (goal under 1 s: %s)\n", worstName.constData(), worst, worst < 1 ? "met" : "missed");
    mime::shutdown();
    return worst < 1 ? 0 : 1;
}
