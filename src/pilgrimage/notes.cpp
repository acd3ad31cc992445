#include "notes.h"

#include "display.h"
#include "progress.h"
#include "templenotes.h"
#include "temples.h"

#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cmath>
#include <limits>
#include <optional>

namespace korvane::pilgrimage {

const char16_t *const LockMessage = u"八十八箇所を踏破していません。まだご使用不可です。";

namespace {

const QString NothingSelected = QStringLiteral("データが選択されていません");

QWidget *form()
{
    return Windows::get(QStringLiteral("Mainform"));
}

template <class T> T *control(const char *name)
{
    QWidget *f = form();
    return f ? f->findChild<T *>(QString::fromLatin1(name)) : nullptr;
}

QString text(const char *name)
{
    auto *edit = control<QLineEdit>(name);
    return edit ? edit->text() : QString();
}

void setText(const char *name, const QString &value)
{
    if (auto *edit = control<QLineEdit>(name))
        edit->setText(value);
}

void flash(const char *name)
{
    if (QWidget *label = control<QWidget>(name))
        flashLabel(label);
}

bool unlocked()
{
    if (pilgrimageComplete() != 0)
        return true;
    dialogs().notice(form(), QString::fromUtf16(LockMessage));
    return false;
}

// The input box's answer as a 16-bit whole number: blanks around it are
// allowed, full-width digits count as digits, a fraction is rounded half to
// even. Nothing for an empty answer, text that is not a number, or a number
// outside the 16-bit range.
std::optional<qint16> toInt16(const QString &answer)
{
    const QString t = answer.normalized(QString::NormalizationForm_KC).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    const long long n = roundHalfEven(v);
    if (n < std::numeric_limits<qint16>::min() || n > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(n);
}

}  // namespace

void storeNotes()
{
    if (!unlocked())
        return;
    flash("Label13");
    const QString selected = text("Text2");
    const qint16 n = leadingInt16(selected);
    if (selected.trimmed().isEmpty() || n < 1) {
        dialogs().notice(form(), NothingSelected, ProgramTitle, Dialogs::Icon::Exclamation);
        return;
    }
    QString error;
    if (!writeTempleNote(n, &error)) {
        dialogs().notice(form(), QStringLiteral("変更を保存できませんでした。\n%1").arg(error), ProgramTitle,
                         Dialogs::Icon::Critical);
        return;
    }
    dialogs().notice(form(), QStringLiteral("変更が完了しました。"));
}

void selectTemple()
{
    flash("Label14");
    if (!unlocked())
        return;
    const std::optional<QString> answer =
        dialogs().input(form(), QStringLiteral("見たい札所番号を入力して下さい。"));
    const std::optional<qint16> n = answer ? toInt16(*answer) : std::nullopt;
    if (!n) {
        dialogs().notice(form(), QStringLiteral("不正な入力です。"));
        return;
    }
    setText("Text2", QString::number(*n));
    if (*n <= 0 || *n > TempleCount) {
        dialogs().notice(form(), QStringLiteral("番号が正しくありません。"));
        setText("Text2", QString());
        return;
    }
    showSelectedNotes();
    if (QWidget *text1 = notesBox())
        text1->setVisible(true);
}

void pasteNotes()
{
    if (!unlocked())
        return;
    QString pasted = trimAsciiSpaces(QGuiApplication::clipboard()->text());
    pasted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (auto *text1 = notesBox())
        text1->insertPlainText(pasted);
}

void resetPilgrimage()
{
    if (!dialogs().question(form(), QStringLiteral("データがリセットされ、霊山寺からのスタートとなります。"),
                            QuestionTitle, Dialogs::Icon::Question))
        return;
    setText("Text9", QStringLiteral("0"));
    setText("Text8", QStringLiteral("0"));
    storeCounterEntry();
}

void appendNotes()
{
    // Written behind the last whole record: a torn tail left by an
    // interrupted write is replaced instead of turning into a record.
    QString error;
    if (!writeTempleNote(templeNoteCount() + 1, &error))
        dialogs().notice(form(), QStringLiteral("登録できませんでした。\n%1").arg(error), ProgramTitle,
                         Dialogs::Icon::Critical);
}

void showSelectedNotes()
{
    setText("Text4", QString::number(templeNoteCount() + 1));
    const QString selected = text("Text2");
    if (selected.isEmpty()) {
        dialogs().notice(form(), NothingSelected, ProgramTitle, Dialogs::Icon::Exclamation);
        return;
    }
    readTempleNote(leadingInt16(selected));
}

void showNoteCount()
{
    setText("Text4", QString::number(templeNoteCount()));
}

void storeCounterEntry()
{
    storeProgressCounter(roundHalfEven(leadingNumber(text("Text9"))));
}

}  // namespace korvane::pilgrimage
