#pragma once
// A private program folder and per-user settings store for one test.
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

namespace korvane::test {

class TestProgramFolder {
public:
    // Makes an empty temporary program folder and points the program at it;
    // the per-user settings store is redirected into it as well.
    TestProgramFolder();
    ~TestProgramFolder();

    QString path() const { return dir_.path(); }
    // Absolute path of a file under the folder ("/" or "\\" separated).
    QString file(const QString &relative) const;
    // Copies the program's shipped data (data/ of the source tree) into it.
    void installData() const;

private:
    QTemporaryDir dir_;
};

// A control of a window by its name; a missing one ends the test run at once.
template <class T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("control %s missing", name);
    return c;
}

// Writes bytes to a file, creating its folders.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

}  // namespace korvane::test
