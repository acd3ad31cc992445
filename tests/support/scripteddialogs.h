#pragma once
// A Dialogs service for tests: records every box the program shows and
// answers from a script instead of waiting for a click.
#include "common/dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

namespace korvane::test {

struct ShownDialog {
    Dialogs::Kind kind;
    QString title;
    QString text;
    bool defaultYes = true;  // which button Enter presses, for questions
};

class ScriptedDialogs : public Dialogs {
public:
    ScriptedDialogs();   // installs itself
    ~ScriptedDialogs() override;  // restores the real service

    // Answers, taken in order; when a queue is empty: question answers No,
    // input is cancelled, file dialogs are cancelled, print is cancelled.
    QQueue<bool> questionAnswers;
    QQueue<std::optional<QString>> inputAnswers;
    QQueue<QString> fileAnswers;
    QQueue<bool> printAnswers;

    QList<ShownDialog> shown;

    // Texts of every box shown, in order.
    QStringList texts() const;
    // The last box shown, or an empty one.
    ShownDialog last() const;
    void clear() { shown.clear(); }

    void notice(QWidget *, const QString &text, const QString &title, Icon) override;
    bool question(QWidget *, const QString &text, const QString &title, Icon, bool defaultYes) override;
    std::optional<QString> input(QWidget *, const QString &prompt, const QString &title,
                                 const QString &defaultText) override;
    QString openFile(QWidget *, const QString &caption, const QString &, const QString &) override;
    QString saveFile(QWidget *, const QString &caption, const QString &, const QString &) override;
    bool print(QWidget *, QPrinter *) override;
};

}  // namespace korvane::test
