#include "windows.h"

#include "ui.h"

#include <QHash>

namespace korvane {
namespace {

struct Registry {
    QHash<QString, Windows::Factory> factories;
    QHash<QString, QPointer<QWidget>> instances;
};

Registry &registry()
{
    static Registry r;
    return r;
}

}  // namespace

void Windows::registerFactory(const QString &name, Factory factory)
{
    registry().factories.insert(name, std::move(factory));
}

bool Windows::isRegistered(const QString &name)
{
    return registry().factories.contains(name);
}

QWidget *Windows::get(const QString &name)
{
    Registry &r = registry();
    QPointer<QWidget> &slot = r.instances[name];
    if (slot)
        return slot;
    auto it = r.factories.find(name);
    if (it == r.factories.end())
        return nullptr;
    QWidget *w = (*it)();
    if (w && w->objectName().isEmpty())
        w->setObjectName(name);
    if (w)
        nameControlsForAssistiveTech(w);
    slot = w;
    return w;
}

QWidget *Windows::loaded(const QString &name)
{
    auto it = registry().instances.find(name);
    return it == registry().instances.end() ? nullptr : it->data();
}

QWidget *Windows::show(const QString &name)
{
    QWidget *w = get(name);
    if (!w)
        return nullptr;
    if (w->isMinimized())
        w->showNormal();
    else
        w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void Windows::unloadAll()
{
    auto instances = registry().instances;
    registry().instances.clear();
    for (auto &w : instances)
        delete w.data();
}

void Windows::forget(const QString &name)
{
    registry().instances.remove(name);
}

}  // namespace korvane
