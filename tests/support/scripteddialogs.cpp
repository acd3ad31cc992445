#include "scripteddialogs.h"

namespace korvane::test {

ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::install(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::install(nullptr);
}

QStringList ScriptedDialogs::texts() const
{
    QStringList out;
    for (const ShownDialog &d : shown)
        out << d.text;
    return out;
}

ShownDialog ScriptedDialogs::last() const
{
    return shown.isEmpty() ? ShownDialog{Kind::Notice, {}, {}} : shown.back();
}

void ScriptedDialogs::notice(QWidget *, const QString &text, const QString &title, Icon)
{
    shown.append({Kind::Notice, title, text});
}

bool ScriptedDialogs::question(QWidget *, const QString &text, const QString &title, Icon, bool defaultYes)
{
    shown.append({Kind::Question, title, text, defaultYes});
    return questionAnswers.isEmpty() ? false : questionAnswers.dequeue();
}

std::optional<QString> ScriptedDialogs::input(QWidget *, const QString &prompt, const QString &title,
                                              const QString &)
{
    shown.append({Kind::Input, title, prompt});
    return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.dequeue();
}

QString ScriptedDialogs::openFile(QWidget *, const QString &caption, const QString &, const QString &)
{
    shown.append({Kind::OpenFile, caption, QString()});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString ScriptedDialogs::saveFile(QWidget *, const QString &caption, const QString &, const QString &)
{
    shown.append({Kind::SaveFile, caption, QString()});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

bool ScriptedDialogs::print(QWidget *, QPrinter *)
{
    shown.append({Kind::Print, QString(), QString()});
    return printAnswers.isEmpty() ? false : printAnswers.dequeue();
}

}  // namespace korvane::test
