#include "display.h"

#include "notes.h"
#include "progress.h"
#include "templenotes.h"
#include "temples.h"

#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

namespace korvane::pilgrimage {
namespace {

// Makes the main window's text boxes that do not exist yet.
std::function<void()> &textBoxMaker()
{
    static std::function<void()> maker;
    return maker;
}

// A control of the main window, as it is: the text boxes may not exist yet.
template <class T> T *existing(const char *name)
{
    return Windows::control<T>(QStringLiteral("Mainform"), QString::fromLatin1(name));
}

// A control of the main window; a text box not made yet is made.
template <class T> T *control(const char *name)
{
    T *found = existing<T>(name);
    if (!found && textBoxMaker()) {
        textBoxMaker()();
        found = existing<T>(name);
    }
    return found;
}

void setVisible(QWidget *w, bool visible)
{
    if (w)
        w->setVisible(visible);
}

void setEnabled(QWidget *w, bool enabled)
{
    if (w)
        w->setEnabled(enabled);
}

void setText(QLineEdit *edit, const QString &text)
{
    if (edit)
        edit->setText(text);
}

// The guide is filled again and again while mails come in, mostly with what
// it shows already: a box that holds the text keeps it (setting it anew lays
// the box out again).
void showText(QLineEdit *edit, const QString &text)
{
    if (edit && edit->text() != text)
        edit->setText(text);
}

// The record read last; a write carries its prefix over.
TempleNoteRecord &heldRecord()
{
    static TempleNoteRecord record;
    return record;
}

// A step counted and not shown yet, and the frame that shows it.
bool stepWaiting = false;

QTimer &stepFrame()
{
    static QTimer *timer = [] {
        auto *t = new QTimer(QCoreApplication::instance());
        t->setSingleShot(true);
        t->setInterval(FramePacer::FrameMs);
        QObject::connect(t, &QTimer::timeout, t, [] { showPendingStep(); });
        return t;
    }();
    return *timer;
}

// What the guide shows of the counter: the counter (Text8), the temple
// (Text2, Label15, the marker Image5, the caption Label22), the number of
// notes (Text4) and the temple's note (Text1).
void fillGuide()
{
    QLineEdit *text8 = control<QLineEdit>("Text8");
    QLineEdit *text2 = control<QLineEdit>("Text2");
    QWidget *image5 = control<QWidget>("Image5");

    const QString stored = readProgressCounter(QStringLiteral("NG"));
    if (stored != QLatin1String("NG"))
        setText(text8, stored);

    const qint16 counter = leadingInt16(text8 ? text8->text() : stored);
    if (const Temple *t = templeForCounter(counter)) {
        showText(text2, QString::number(t->number));
        if (auto *label15 = control<QLabel>("Label15")) {
            label15->setText(QString::number(t->number));
            label15->move(twips(t->labelLeft), twips(t->labelTop));
        }
        if (image5)
            image5->move(twips(t->markerLeft()), twips(t->markerTop()));
        if (auto *label22 = control<QLabel>("Label22"))
            label22->setText(t->captionText());
    }

    showText(control<QLineEdit>("Text4"), QString::number(templeNoteCount() + 1));
    if (text2 && !text2->text().isEmpty())
        readTempleNote(leadingInt16(text2->text()));
}

void placeNotesBox(QWidget *text1)
{
    if (text1)
        placeTwips(text1, 1560, 720, 5325, 3460);
}

}  // namespace

void showGuide()
{
    showPendingStep();
    QWidget *text1 = control<QWidget>("Text1");
    QWidget *image2 = control<QWidget>("Image2");
    QWidget *image5 = control<QWidget>("Image5");

    setEnabled(control<QWidget>("Label11"), false);
    if (text1) {
        text1->setVisible(true);
        placeNotesBox(text1);
    }
    // The map and marker are repainted under the notes box.
    setVisible(image2, false);
    setVisible(image5, false);
    setEnabled(control<QWidget>("Label10"), true);
    setVisible(image2, true);
    setVisible(image5, true);

    fillGuide();
}

namespace {

void showMapControls()
{
    setVisible(existing<QWidget>("Text1"), false);
    setVisible(control<QWidget>("Image2"), true);
    setVisible(control<QWidget>("Image5"), true);
    setEnabled(control<QWidget>("Label10"), false);
    setEnabled(control<QWidget>("Label11"), true);
}

}  // namespace

void showMap()
{
    showPendingStep();
    showMapControls();
}

namespace {

void countOneMail()
{
    QLineEdit *text8 = control<QLineEdit>("Text8");
    // A step not shown yet leaves an earlier count in the box: the count is
    // what the box will show, the stored one.
    const QString current = stepWaiting ? readProgressCounter(text8 ? text8->text() : QString())
                                        : text8 ? text8->text() : readProgressCounter(QString());
    storeProgressCounter(roundHalfEven(leadingNumber(current)) + 1);
}

void showStep()
{
    // The guide, then the map: nothing is drawn in between, so the notes box
    // the guide would show and the map hide again is left as it is (laying
    // out a note in a shown box costs more than the rest of the step), and
    // only what stays is done.
    placeNotesBox(existing<QWidget>("Text1"));
    fillGuide();
    showMapControls();
}

}  // namespace

void showStartingMap()
{
    showPendingStep();
    showStep();
}

void advanceOneMail()
{
    showPendingStep();
    countOneMail();
    showStep();
}

void advanceOneMailInFrame()
{
    countOneMail();
    stepWaiting = true;
    if (!stepFrame().isActive())
        stepFrame().start();
}

void showPendingStep()
{
    if (!stepWaiting)
        return;
    stepWaiting = false;
    stepFrame().stop();
    showStep();
}

void readTempleNote(int n)
{
    TempleNoteRecord record = readTempleNoteRecord(n).value_or(TempleNoteRecord{});
    // The notes are laid out again only when they change (the guide is
    // filled once a frame while mails come in, mostly of the same temple).
    // A notes box not made yet takes the note when it is made.
    if (auto *text1 = existing<QPlainTextEdit>("Text1")) {
        const QString note = noteTextForDisplay(record.noteText);
        if (text1->toPlainText() != note)
            text1->setPlainText(note);
    }
    heldRecord() = std::move(record);
}

bool writeTempleNote(int n, QString *error)
{
    TempleNoteRecord record;
    record.prefix = heldRecord().prefix;
    record.recordFlag = 1;
    if (auto *text1 = control<QPlainTextEdit>("Text1"))
        record.noteText = noteTextForStorage(text1->toPlainText());
    // What does not fit the field is refused, never cut.
    if (const QString problem = noteTextProblem(record.noteText); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    return writeTempleNoteRecord(n, record, error);
}

void setCompletionFromShownTemple()
{
    QLineEdit *text2 = control<QLineEdit>("Text2");
    if (!text2 || text2->text().isEmpty())
        return;
    setPilgrimageComplete(leadingInt16(text2->text()) >= TempleCount ? 1 : 0);
}

QPlainTextEdit *notesBox()
{
    return control<QPlainTextEdit>("Text1");
}

void notesBoxMade(QPlainTextEdit *notes)
{
    placeNotesBox(notes);
    notes->setPlainText(noteTextForDisplay(heldRecord().noteText));
}

void connectMainform(QWidget *form, std::function<void()> makeTextBoxes)
{
    textBoxMaker() = std::move(makeTextBoxes);
    // A new window holds no note yet.
    heldRecord() = TempleNoteRecord{};
    auto *text8 = form->findChild<QLineEdit *>(QStringLiteral("Text8"));
    auto *text9 = form->findChild<QLineEdit *>(QStringLiteral("Text9"));
    auto *label25 = form->findChild<QLabel *>(QStringLiteral("Label25"));
    if (text8) {
        QObject::connect(text8, &QLineEdit::textChanged, form, [label25](const QString &text) {
            if (label25)
                label25->setText(text);
            setPilgrimageComplete(leadingNumber(text) >= CompletionCount ? 1 : 0);
        });
    }
    // A count typed in while a step waits to be shown goes in after it.
    if (text8 && text9)
        QObject::connect(text9, &QLineEdit::textChanged, text8, [text8](const QString &text) {
            showPendingStep();
            text8->setText(text);
        });

    const struct {
        const char *name;
        void (*action)();
    } labels[] = {
        {"Label10", showMap},      {"Label11", showGuide},       {"Label13", storeNotes},
        {"Label14", selectTemple}, {"Label23", pasteNotes},      {"Label24", resetPilgrimage},
    };
    // Every action works on the last step shown.
    for (const auto &l : labels) {
        if (auto *label = form->findChild<ClickLabel *>(QString::fromLatin1(l.name)))
            QObject::connect(label, &ClickLabel::clicked, form, [action = l.action] {
                showPendingStep();
                action();
            });
    }
    const struct {
        const char *name;
        void (*action)();
    } buttons[] = {
        {"Command1", appendNotes},
        {"Command2", showSelectedNotes},
        {"Command3", showNoteCount},
        {"Command4", storeCounterEntry},
    };
    for (const auto &b : buttons) {
        if (auto *button = form->findChild<QAbstractButton *>(QString::fromLatin1(b.name)))
            QObject::connect(button, &QAbstractButton::clicked, form, [action = b.action] {
                showPendingStep();
                action();
            });
    }
}

}  // namespace korvane::pilgrimage
