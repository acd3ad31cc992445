// The saved password in a real keyring (run by keyring_session.sh on a
// private session bus with its own GNOME keyring).
#include "settings/keyring.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QTest>

using namespace korvane;
using namespace korvane::settings;
using namespace korvane::test;

class TestKeyring : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!keyring::readPassword(QStringLiteral("probe")))
            QSKIP("no keyring answers on this session bus");
    }

    void savedPasswordLivesInTheKeyring()
    {
        TestProgramFolder folder;
        const QString path = folder.file("★MailData/iniIdPass.ini");
        const QString password = QStringLiteral("p@ss 秘密=;");
        QVERIFY(tryWriteCredentialValue(QStringLiteral("NAME"), QStringLiteral("taro")));
        QVERIFY(tryWriteCredentialValue(QStringLiteral("NAME2"), password));
        QCOMPARE(readFile(path), QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=\r\n"));
        QCOMPARE(readCredentialValue(QStringLiteral("NAME2")), password);
        QCOMPARE(keyring::readPassword(keyringAccount()), std::optional<QString>(password));

        // Saving an empty password removes it from the keyring as well.
        QVERIFY(tryWriteCredentialValue(QStringLiteral("NAME2"), QString()));
        QCOMPARE(readCredentialValue(QStringLiteral("NAME2")), QString());
        QCOMPARE(keyring::readPassword(keyringAccount()), std::optional<QString>(QString()));
    }

    void passwordInTheFileMovesToTheKeyring()
    {
        TestProgramFolder folder;
        const QString path = folder.file("★MailData/iniIdPass.ini");
        writeFile(path, "[EXEINI]\r\nNAME=a\r\nNAME2=old\r\nNAME3=1\r\n");
        QCOMPARE(readCredentialValue(QStringLiteral("NAME2")), QStringLiteral("old"));
        QCOMPARE(readFile(path), QByteArray("[EXEINI]\r\nNAME=a\r\nNAME2=\r\nNAME3=1\r\n"));
        QCOMPARE(QFile::permissions(path) & QFileDevice::Permissions(0x0077), QFileDevice::Permissions());
        QCOMPARE(readCredentialValue(QStringLiteral("NAME2")), QStringLiteral("old"));
        QCOMPARE(readCredentialValue(QStringLiteral("NAME")), QStringLiteral("a"));
    }
};

QTEST_GUILESS_MAIN(TestKeyring)
#include "test_keyring.moc"
