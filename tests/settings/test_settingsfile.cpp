// The settings file "pelnix.ini", the profile-file module and the
// credentials file, at the byte level.
#include "common/cp932.h"
#include "settings/profilefile.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace korvane;
using namespace korvane::settings;
using namespace korvane::test;

namespace {
const QByteArray Sjis = cp932::encode(QStringLiteral("霊山寺"));
}

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void init() { serverSettings() = ServerSettings(); }

    void writesFourLines_data()
    {
        QTest::addColumn<QString>("smtp");
        QTest::addColumn<QString>("pop3");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<int>("apop");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << "smtp.example.jp" << "pop.example.jp" << "me@example.jp" << 1
                               << QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
                                             "MAIL=me@example.jp\r\nAPOP=1\r\n");
        QTest::newRow("code page 932") << "" << "" << "霊山寺😀" << 0
                                       << QByteArray("SMTP=\r\nPOP3=\r\nMAIL=" + Sjis + "\x81\xAC\r\nAPOP=0\r\n");
        QTest::newRow("long value written whole") << QString(150, u's') << "" << "" << -2
                                                  << QByteArray("SMTP=" + QByteArray(150, 's')
                                                                + "\r\nPOP3=\r\nMAIL=\r\nAPOP=-2\r\n");
        QTest::newRow("line end in a value") << "a\r\nPOP3=evil" << "" << "" << 0
                                             << QByteArray("SMTP=a  POP3=evil\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n");
    }
    void writesFourLines()
    {
        QFETCH(QString, smtp);
        QFETCH(QString, pop3);
        QFETCH(QString, mail);
        QFETCH(int, apop);
        QFETCH(QByteArray, expected);
        TestProgramFolder folder;
        writeFile(folder.file("pelnix.ini"), "old content that is much longer than the new one\r\n");
        serverSettings() = {smtp, pop3, mail, qint16(apop)};
        QVERIFY(saveServerSettings());
        QCOMPARE(readFile(folder.file("pelnix.ini")), expected);
        QCOMPARE(QFile::permissions(folder.file("pelnix.ini")) & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("smtp");
        QTest::addColumn<QString>("pop3");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<int>("apop");
        QTest::newRow("as written") << QByteArray("SMTP=s.jp\r\nPOP3=p.jp\r\nMAIL=m@jp\r\nAPOP=1\r\n")
                                    << "s.jp" << "p.jp" << "m@jp" << 1;
        QTest::newRow("only POP3") << QByteArray("POP3=pop.example.jp\r\n") << "" << "pop.example.jp" << "" << 0;
        QTest::newRow("keys case-sensitive at line start")
            << QByteArray("pop3=a\r\n POP3=b\r\nPop3=c\r\nSMTP =d\r\n") << "" << "" << "" << 0;
        QTest::newRow("last occurrence wins, any order")
            << QByteArray("MAIL=first\r\nAPOP=1\r\nMAIL=second\r\nSMTP=s\r\n") << "s" << "" << "second" << 1;
        QTest::newRow("value cut at 100 characters")
            << QByteArray("SMTP=" + QByteArray(130, 'x') + "\r\n") << QString(100, u'x') << "" << "" << 0;
        QTest::newRow("100 double-byte characters")
            << QByteArray("MAIL=" + Sjis.repeated(40) + "\r\n") << "" << ""
            << QStringLiteral("霊山寺").repeated(34).left(100) << 0;
        QTest::newRow("value kept as is") << QByteArray("POP3= host :110 \r\n") << "" << " host :110 " << "" << 0;
        QTest::newRow("APOP not a number") << QByteArray("APOP=on\r\n") << "" << "" << "" << 0;
        QTest::newRow("APOP blanks ignored") << QByteArray("APOP= 1 \r\n") << "" << "" << "" << 1;
        QTest::newRow("APOP rounds half to even") << QByteArray("APOP=2.5\r\n") << "" << "" << "" << 2;
        QTest::newRow("APOP beyond 16 bits stays on") << QByteArray("APOP=99999\r\n") << "" << "" << "" << 32767;
        QTest::newRow("bare LF line ends") << QByteArray("SMTP=s\nPOP3=p\nAPOP=1") << "s" << "p" << "" << 1;
        QTest::newRow("blank and unknown lines") << QByteArray("\r\n[x]\r\nFOO=1\r\nPOP3=p\r\n\r\n")
                                                 << "" << "p" << "" << 0;
        QTest::newRow("key with empty value") << QByteArray("SMTP=\r\n") << "" << "" << "" << 0;
    }
    void reads()
    {
        QFETCH(QByteArray, file);
        TestProgramFolder folder;
        writeFile(folder.file("pelnix.ini"), file);
        loadServerSettings();
        const ServerSettings &s = serverSettings();
        QTEST(s.smtpServer, "smtp");
        QTEST(s.pop3Server, "pop3");
        QTEST(s.mailAddress, "mail");
        QTEST(int(s.useApop), "apop");
    }

    void missingKeysKeepFields()
    {
        TestProgramFolder folder;
        serverSettings() = {"s", "p", "m", 1};
        loadServerSettings();  // no file at all
        QCOMPARE(serverSettings().pop3Server, QStringLiteral("p"));
        writeFile(folder.file("PELNIX.INI"), "POP3=new\r\n");  // found whatever its letter case
        loadServerSettings();
        QCOMPARE(serverSettings().pop3Server, QStringLiteral("new"));
        QCOMPARE(serverSettings().smtpServer, QStringLiteral("s"));
        QCOMPARE(serverSettings().useApop, qint16(1));
    }

    void profileWrite_data()
    {
        QTest::addColumn<QByteArray>("before");  // "<missing>" for no file
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("missing file") << QByteArray("<missing>") << "EXEINI" << "NAME" << "taro"
                                      << QByteArray("[EXEINI]\r\nNAME=taro\r\n");
        QTest::newRow("replace in place, other lines untouched")
            << QByteArray("; note\r\n[other]\nNAME=x\n[exeini]\r\nname = old \r\nNAME2=pw\r\n[z]\r\nk=v")
            << "EXEINI" << "NAME" << "new"
            << QByteArray("; note\r\n[other]\nNAME=x\n[exeini]\r\nname=new\r\nNAME2=pw\r\n[z]\r\nk=v");
        QTest::newRow("add at end of section, before blank line")
            << QByteArray("[EXEINI]\r\nNAME=a\r\n\r\n[z]\r\nNAME3=q\r\n") << "exeini" << "NAME3" << "1"
            << QByteArray("[EXEINI]\r\nNAME=a\r\nNAME3=1\r\n\r\n[z]\r\nNAME3=q\r\n");
        QTest::newRow("add to last section without line end")
            << QByteArray("[EXEINI]\r\nNAME=a") << "EXEINI" << "NAME2" << "b"
            << QByteArray("[EXEINI]\r\nNAME=a\r\nNAME2=b\r\n");
        QTest::newRow("missing section appended")
            << QByteArray("[a]\r\nx=1") << "EXEINI" << "NAME3" << "0"
            << QByteArray("[a]\r\nx=1\r\n[EXEINI]\r\nNAME3=0\r\n");
        QTest::newRow("code page 932 value, other bytes kept")
            << QByteArray("[EXEINI]\r\n" + Sjis + "=\x82\xA0\r\n") << "EXEINI" << "NAME" << "霊山寺"
            << QByteArray("[EXEINI]\r\n" + Sjis + "=\x82\xA0\r\nNAME=" + Sjis + "\r\n");
        QTest::newRow("blanks kept by quoting") << QByteArray("<missing>") << "EXEINI" << "NAME2" << " pw "
                                                << QByteArray("[EXEINI]\r\nNAME2=\" pw \"\r\n");
        QTest::newRow("empty value") << QByteArray("[EXEINI]\r\nNAME=a\r\n") << "EXEINI" << "NAME" << ""
                                     << QByteArray("[EXEINI]\r\nNAME=\r\n");
    }
    void profileWrite()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        TestProgramFolder folder;
        const QString path = folder.file("sub/p.ini");
        if (before != "<missing>")
            writeFile(path, before);
        QVERIFY(profile::writeString(path, section, key, value));
        QTEST(readFile(path), "after");
        // Whatever was written reads back exactly.
        QCOMPARE(profile::readString(path, section, key, "default"), value);
    }

    void profileRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QString>("expected");
        const QByteArray f = "k=outside\r\n[One]\r\n  Key  =  v 1  \r\nq=\"quoted\"\r\ns='x'\r\n"
                             "dup=first\r\ndup=second\r\n;c=comment\r\n[two]\r\nkey=two\r\n[ONE]\r\nlate=1\r\n";
        QTest::newRow("case-insensitive, blanks removed") << f << "one" << "KEY" << 0 << "v 1";
        QTest::newRow("double quotes dropped") << f << "ONE" << "q" << 0 << "quoted";
        QTest::newRow("single quotes dropped") << f << "One" << "s" << 0 << "x";
        QTest::newRow("first of two keys") << f << "One" << "dup" << 0 << "first";
        QTest::newRow("other section") << f << "Two" << "KEY" << 0 << "two";
        QTest::newRow("missing key") << f << "One" << "none" << 0 << "<default>";
        QTest::newRow("comment is no key") << f << "One" << ";c" << 0 << "<default>";
        QTest::newRow("entry before any section") << f << "" << "k" << 0 << "<default>";
        QTest::newRow("missing section") << f << "three" << "key" << 0 << "<default>";
        QTest::newRow("missing file") << QByteArray("<missing>") << "One" << "key" << 0 << "<default>";
        QTest::newRow("cut at 255 bytes") << QByteArray("[s]\r\nk=" + QByteArray(300, 'a') + "\r\n")
                                          << "s" << "k" << 255 << QString(255, u'a');
        QTest::newRow("cut keeps whole characters")
            << QByteArray("[s]\r\nk=a" + Sjis.repeated(50) + "\r\n") << "s" << "k" << 255
            << QString("a" + QStringLiteral("霊山寺").repeated(50).left(127));
    }
    void profileRead()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(int, maxBytes);
        TestProgramFolder folder;
        const QString path = folder.file("p.ini");
        if (file != "<missing>")
            writeFile(path, file);
        QTEST(profile::readString(path, section, key, "<default>", maxBytes), "expected");
    }

    void credentialsFileIsOwnerOnly()
    {
        TestProgramFolder folder;
        const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        auto mode = [](const QString &path) {
            return QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        };
        // No data folder yet: it is made, and the file is owner-only from the start.
        QVERIFY(tryWriteCredentialValue("NAME2", "secret"));
        const QString path = folder.file("★MailData/iniIdPass.ini");
        QCOMPARE(mode(path), ownerOnly);
        QCOMPARE(readFile(path), QByteArray("[EXEINI]\r\nNAME2=secret\r\n"));

        // An existing file in the other spelling, readable by others: written
        // in place and tightened.
        QVERIFY(QFile::remove(path) && QDir(folder.path()).rename("★MailData", "★MAilData"));
        const QString other = folder.file("★MAilData/INIIDPASS.INI");
        writeFile(other, "[exeini]\r\nname=taro\r\n");
        QVERIFY(QFile::setPermissions(other, ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        writeCredentialValue("NAME3", "1");
        QCOMPARE(mode(other), ownerOnly);
        QCOMPARE(readFile(other), QByteArray("[exeini]\r\nname=taro\r\nNAME3=1\r\n"));
        QCOMPARE(readCredentialValue("NAME"), QStringLiteral("taro"));
        QVERIFY(!QFileInfo::exists(folder.path() + "/★MailData"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
