#pragma once
// The registry of the application's windows. Each window exists once: the
// first request loads it (without showing it), later requests return the same
// instance. Windows reach each other's controls through it by control name,
// the way the design has them share state (`Mainform`'s hidden fields, the
// history window's viewer boxes, the compose window's boxes).
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace korvane {

class Windows {
public:
    using Factory = std::function<QWidget *()>;

    // Registers how the window named `name` is made (its objectName).
    static void registerFactory(const QString &name, Factory factory);
    static bool isRegistered(const QString &name);

    // The window, loaded on first use and hidden until shown; nullptr when no
    // factory is registered under that name.
    static QWidget *get(const QString &name);
    // The window if it is loaded, else nullptr (never loads it).
    static QWidget *loaded(const QString &name);
    template <class T> static T *get(const QString &name) { return qobject_cast<T *>(get(name)); }
    template <class T> static T *loaded(const QString &name) { return qobject_cast<T *>(loaded(name)); }

    // Loads the window if needed, shows it modeless and brings it forward.
    static QWidget *show(const QString &name);

    // A control of a window by its name, or nullptr. Loads the window.
    template <class T> static T *control(const QString &window, const QString &control)
    {
        QWidget *w = get(window);
        return w ? w->findChild<T *>(control) : nullptr;
    }

    // Forgets and deletes every loaded window (tests; the end of the program).
    static void unloadAll();
    // Forgets a window that was deleted elsewhere.
    static void forget(const QString &name);
};

}  // namespace korvane
