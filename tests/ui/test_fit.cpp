// Every window of the program opened offscreen, with mail in its history and
// an address in its book: the text of every label, button, check box, radio
// button, list entry, tab and box fits its control in the fonts used here.
// A control may cut a text only where it shows the whole of it another way
// (a tooltip, a column the user can widen, a box that scrolls).
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"

#include "addressbook/addressbook.h"
#include "common/dialogs.h"
#include "common/ui.h"
#include "common/windows.h"
#include "history/historywindow.h"
#include "history/mailhistory.h"
#include "pilgrimage/temples.h"
#include "scripteddialogs.h"
#include "settings/settings.h"
#include "testenv.h"
#include "texttools/kakudaiform.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QFontInfo>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include <cmath>

using namespace korvane;

namespace {

QString where(const QWidget *w)
{
    QString path = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    return w->window()->objectName() + QLatin1Char('/') + path;
}

// Tab among the controls of one pane never goes back up, nor leftwards
// along a line.
QStringList tabOrderFaults(QWidget *window)
{
    QStringList faults;
    QHash<QWidget *, QWidget *> previous;  // in each pane
    const auto box = [window](QWidget *c) { return QRect(c->mapTo(window, QPoint()), c->size()); };
    for (QWidget *c = window->nextInFocusChain(); c != window; c = c->nextInFocusChain()) {
        if (!isNamedControl(c) || !c->isVisibleTo(window) || !c->isEnabled())
            continue;
        QWidget *&p = previous[c->parentWidget()];
        const QRect a = p ? box(p) : QRect(), b = box(c);
        if (p && (b.bottom() <= a.top() || (b.top() < a.bottom() && a.top() < b.bottom() && b.right() <= a.left())))
            faults << QStringLiteral("%1: Tab comes from %2 below or right of it").arg(where(c), where(p));
        p = c;
    }
    return faults;
}

// Text as drawn: mnemonics gone, each line measured on its own.
int textWidth(const QFontMetrics &fm, QString text)
{
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    int widest = 0;
    for (const QString &line : text.split(u'\n'))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

int lineCount(const QString &text)
{
    return int(text.count(u'\n')) + 1;
}

QString trimmedRight(QString s)
{
    while (!s.isEmpty() && (s.back() == u' ' || s.back() == u'\u3000'))
        s.chop(1);
    return s;
}

// The contrast ratio of two colours as the web's accessibility guidelines
// measure it: 1 (none) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b)
{
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class Checker {
public:
    QStringList faults;
    // Whether a box's tooltip may show the text the box cuts.
    bool tooltipShowsWhole = true;

    void check(QWidget *window)
    {
        checkTitle(window);
        const auto widgets = window->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!w->isVisibleTo(window) || w->window() != window)
                continue;
            if (auto *l = qobject_cast<QLabel *>(w))
                checkLabel(l);
            else if (auto *c = qobject_cast<QCheckBox *>(w))
                checkIndicatorButton(c, QStyle::SE_CheckBoxContents);
            else if (auto *r = qobject_cast<QRadioButton *>(w))
                checkIndicatorButton(r, QStyle::SE_RadioButtonContents);
            else if (auto *b = qobject_cast<QPushButton *>(w))
                checkPushButton(b);
            else if (auto *e = qobject_cast<QLineEdit *>(w))
                checkLineEdit(e);
            else if (auto *combo = qobject_cast<QComboBox *>(w))
                checkCombo(combo);
            else if (auto *tabs = qobject_cast<QTabBar *>(w))
                checkTabs(tabs);
            else if (auto *view = qobject_cast<QAbstractItemView *>(w))
                checkView(view);
        }
        checkHoverBoxes(window);
    }

    void checkTitle(QWidget *window)
    {
        // The title bar writes the title in bold beside the window manager's
        // icon and three buttons (about 120 pixels).
        QFont bold = QApplication::font();
        bold.setBold(true);
        bold.setPointSizeF(std::max(bold.pointSizeF(), 10.0));
        const int need = QFontMetrics(bold).horizontalAdvance(window->windowTitle()) + 120;
        if (window->width() < need)
            faults << QStringLiteral("%1: title \"%2\" needs %3 px, the window is %4")
                          .arg(window->objectName(), window->windowTitle())
                          .arg(need)
                          .arg(window->width());
    }

private:
    void fault(const QWidget *w, const QString &text, int need, int room, const char *what = "wide")
    {
        faults << QStringLiteral("%1: \"%2\" needs %3 px, the control is %4 px %5")
                      .arg(where(w), text)
                      .arg(need)
                      .arg(room)
                      .arg(QLatin1String(what));
    }

    void checkLabel(QLabel *l)
    {
        if (l->text().isEmpty() || l->textFormat() == Qt::RichText || Qt::mightBeRichText(l->text()) ||
            !l->pixmap().isNull())
            return;
        const QFontMetrics fm(l->font());
        const QRect room = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        if (l->wordWrap()) {
            const QRect need = fm.boundingRect(room, Qt::TextWordWrap | int(l->alignment()), l->text());
            if (need.height() > room.height())
                fault(l, l->text(), need.height(), room.height(), "high");
            return;
        }
        const int width = textWidth(fm, l->text()) + std::max(0, l->indent());
        if (width > room.width())
            fault(l, l->text(), width, room.width());
        const int height = fm.height() * lineCount(l->text());
        if (height > room.height() + 1)
            fault(l, l->text(), height, room.height(), "high");
    }

    void checkPushButton(QPushButton *b)
    {
        if (b->text().isEmpty())
            return;
        const QFontMetrics fm(b->font());
        // Inside the button's frame, with a pixel to spare on either side.
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        option.features = b->autoDefault() ? QStyleOptionButton::AutoDefaultButton : QStyleOptionButton::None;
        const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).adjusted(1, 0, -1, 0);
        const int iconWidth = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        const int width = textWidth(fm, b->text()) + iconWidth;
        if (width > room.width())
            fault(b, b->text(), width, room.width());
        if (fm.height() > room.height())
            fault(b, b->text(), fm.height(), room.height(), "high");
    }

    void checkIndicatorButton(QAbstractButton *b, QStyle::SubElement contents)
    {
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const QRect room = b->style()->subElementRect(contents, &option, b);
        const QFontMetrics fm(b->font());
        const int width = textWidth(fm, b->text());
        if (width > room.width())
            fault(b, b->text(), width, room.width());
        if (fm.height() > b->height())
            fault(b, b->text(), fm.height(), b->height(), "high");
    }

    void checkLineEdit(QLineEdit *e)
    {
        if (e->text().isEmpty() || e->echoMode() != QLineEdit::Normal)
            return;
        // A box inside a combo box is the combo box's edit field.
        if (qobject_cast<QComboBox *>(e->parentWidget()))
            return;
        const QFontMetrics fm(e->font());
        const int frame = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e) : 0;
        const QMargins m = e->textMargins() + e->contentsMargins();
        const int room = e->width() - 2 * frame - m.left() - m.right() - 4;
        const int width = fm.horizontalAdvance(e->text());
        if (width > room && (!tooltipShowsWhole || e->toolTip() != e->text()))
            fault(e, e->text(), width, room);
        if (fm.height() > e->height() - 2 * frame)
            fault(e, e->text(), fm.height(), e->height() - 2 * frame, "high");
    }

    void checkCombo(QComboBox *combo)
    {
        // Each entry of the list that drops down.
        QAbstractItemView *view = combo->view();
        const int listWidth = std::max(combo->width(), view->minimumWidth()) - 2 * view->frameWidth();
        const QFontMetrics fm(view->font());
        for (int i = 0; i < combo->count(); ++i) {
            const int width = fm.horizontalAdvance(combo->itemText(i)) + 8;
            if (width > listWidth)
                fault(combo, combo->itemText(i), width, listWidth);
        }
    }

    void checkTabs(QTabBar *tabs)
    {
        const QFontMetrics fm(tabs->font());
        for (int i = 0; i < tabs->count(); ++i) {
            const int width = textWidth(fm, tabs->tabText(i));
            if (width > tabs->tabRect(i).width())
                fault(tabs, tabs->tabText(i), width, tabs->tabRect(i).width());
        }
    }

    void checkView(QAbstractItemView *view)
    {
        if (qobject_cast<QComboBox *>(view->parentWidget() ? view->parentWidget()->parentWidget() : nullptr))
            return;
        QAbstractItemModel *model = view->model();
        if (!model)
            return;
        // Entries must also be readable on the list's colour.
        const QPalette &p = view->palette();
        const double contrast = contrastRatio(p.color(QPalette::Text), p.color(QPalette::Base));
        if (model->rowCount() > 0 && contrast < 4.5)
            faults << QStringLiteral("%1: text %2 on %3 has a contrast of only %4")
                          .arg(where(view), p.color(QPalette::Text).name(), p.color(QPalette::Base).name())
                          .arg(contrast, 0, 'f', 1);
        auto *tree = qobject_cast<QTreeView *>(view);
        const int textMargin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const int rows = std::min(model->rowCount(), 40);
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < model->columnCount(); ++column) {
                const QModelIndex index = model->index(row, column);
                const QRect cell = view->visualRect(index);
                if (cell.isEmpty())
                    continue;
                const QString text = trimmedRight(index.data(Qt::DisplayRole).toString());
                if (text.isEmpty())
                    continue;
                const QFontMetrics fm(view->font());
                const int width = fm.horizontalAdvance(text);
                const int room = cell.width() - 2 * textMargin;
                // A cell may cut its text when the tooltip shows it whole, or
                // when it ends in "…" in a column the user can widen.
                const bool tooltip = trimmedRight(index.data(Qt::ToolTipRole).toString()) == text;
                const bool resizable = tree && tree->header()->sectionResizeMode(column) != QHeaderView::Fixed &&
                                       tree->header()->isVisible();
                const bool elides = view->textElideMode() != Qt::ElideNone;
                if (width > room && !tooltip && !(elides && resizable))
                    fault(view, text, width, room);
                if (fm.height() > cell.height())
                    fault(view, text, fm.height(), cell.height(), "high");
            }
        }
        if (tree && tree->header()->isVisible()) {
            QHeaderView *header = tree->header();
            const QFontMetrics fm(header->font());
            for (int column = 0; column < model->columnCount(); ++column) {
                const QString text = model->headerData(column, Qt::Horizontal).toString();
                const int width = fm.horizontalAdvance(text) + 8;
                if (!header->isSectionHidden(column) && width > header->sectionSize(column))
                    fault(header, text, width, header->sectionSize(column));
            }
        }
    }

    // A box that a hover shows (a hint) is read while the mouse rests
    // elsewhere, so it cannot be scrolled: its whole text must show.
    void checkHoverBoxes(QWidget *window)
    {
        const auto boxes = window->findChildren<QAbstractScrollArea *>();
        const auto widgets = window->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!w->isVisibleTo(window) || w->window() != window)
                continue;
            QList<QAbstractScrollArea *> hidden;
            for (QAbstractScrollArea *box : boxes) {
                if (!box->isVisibleTo(window) && (qobject_cast<QPlainTextEdit *>(box) || qobject_cast<QTextEdit *>(box)))
                    hidden << box;
            }
            const QPointF centre = QPointF(w->rect().center());
            QEnterEvent enter(centre, w->mapTo(window, centre), w->mapToGlobal(centre));
            QCoreApplication::sendEvent(w, &enter);
            QCoreApplication::processEvents();
            for (QAbstractScrollArea *box : std::as_const(hidden)) {
                if (!box->isVisibleTo(window))
                    continue;
                QString text;
                if (auto *p = qobject_cast<QPlainTextEdit *>(box))
                    text = p->toPlainText();
                else
                    text = static_cast<QTextEdit *>(box)->toPlainText();
                if (box->verticalScrollBar()->maximum() > 0
                    || (box->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff && overflows(box)))
                    faults << QStringLiteral("%1: the hint shown over %2 does not show whole: \"%3\"")
                                  .arg(where(box), where(w), text.left(30));
            }
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(w, &leave);
        }
    }

    static bool overflows(QAbstractScrollArea *box)
    {
        QScrollBar *bar = box->verticalScrollBar();
        return bar->maximum() > bar->minimum();
    }
};

}  // namespace

class TestFit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The measures below are those of the fonts the program is used with.
        QVERIFY2(QFontInfo(QFont(QStringLiteral("ＭＳ Ｐゴシック"))).family().startsWith(QStringLiteral("IPA")),
                 "the IPA fonts (fonts-ipafont-gothic) are needed");
        app::registerAllWindows();
    }

    void init()
    {
        folder_ = std::make_unique<test::TestProgramFolder>();
        folder_->installData();
        dialogs_ = std::make_unique<test::ScriptedDialogs>();
        settings::serverSettings().pop3Server = QStringLiteral("127.0.0.1");
        settings::serverSettings().smtpServer = QStringLiteral("127.0.0.1");
        settings::serverSettings().mailAddress = QStringLiteral("hanako.shikoku@example.jp");
        settings::saveServerSettings();
        // A mail as a real server hands it over, and a name in the book.
        mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("お遍路の写真を送ります"),
                               QStringLiteral("Sat, 06 Dec 2025 07:00:00 +0000"),
                               QStringLiteral("taro.yamada@example.jp"),
                               QStringLiteral("先日はありがとうございました。\r\n写真を添付します。"));
        mail::appendMailRecord(mail::HistoryKind::Sent, QStringLiteral("Re:  お遍路の写真を送ります"),
                               QStringLiteral("2025/12/06  16:05:09"), QStringLiteral("taro.yamada@example.jp"),
                               QStringLiteral("届きました。"));
        addressbook::addRecord(QStringLiteral("山田太郎"), QStringLiteral("taro.yamada@example.jp"));
    }

    void cleanup()
    {
        Windows::unloadAll();
        dialogs_.reset();
        folder_.reset();
    }

    void everyWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("date");       // of a last mail received, if any
        QTest::addColumn<int>("enlargedSize");   // the enlarged view's type at its largest here
        for (const char *name : {"Mainform", "WriteForm", "BackForm", "TyakuForm", "FriendForm", "KaoForm",
                                 "SetForm", "OptionForm", "IdPassForm", "ReceiveOptionsForm", "KakudaiForm"})
            QTest::newRow(name) << QString::fromLatin1(name) << QString() << 28;
        QTest::newRow("TyakuForm sent") << "TyakuForm sent" << QString() << 28;
        const QString zoned = QStringLiteral("Wed, 9 Dec 2026 10:00:00 +0900 (JST)");
        QTest::newRow("TyakuForm, date with its zone's name") << "TyakuForm" << zoned << 0;
        QTest::newRow("KakudaiForm at 40 pt") << "KakudaiForm" << zoned << 40;
    }

    void everyWindow()
    {
        QFETCH(QString, window);
        QFETCH(QString, date);
        QFETCH(int, enlargedSize);
        if (!date.isEmpty())
            mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("結願のご報告"), date,
                                   QStringLiteral("四国八十八ヶ所霊場会 <info@reijokai.example.jp>"),
                                   QStringLiteral("結願しました。"));
        QWidget *w = nullptr;
        if (window == QLatin1String("Mainform")) {
            auto *main = Windows::get<app::Mainform>(window);
            main->startUp();
            w = main;
        } else if (window.startsWith(QLatin1String("TyakuForm"))) {
            mail::openHistoryWindow(window.endsWith(QLatin1String("sent")) ? mail::HistoryKind::Sent
                                                                            : mail::HistoryKind::Received);
            w = Windows::loaded(QStringLiteral("TyakuForm"));
        } else if (window == QLatin1String("KakudaiForm")) {
            mail::openHistoryWindow(mail::HistoryKind::Received);
            auto *history = Windows::loaded(QStringLiteral("TyakuForm"));
            QTest::mouseClick(history->findChild<QPushButton *>(QStringLiteral("Command29")), Qt::LeftButton);
            w = Windows::loaded(window);
        } else {
            w = Windows::show(window);
        }
        if (window == QLatin1String("WriteForm")) {
            // With its address list, on bulk sending.
            QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Command4")), Qt::LeftButton);
            if (auto *bulk = w->findChild<QRadioButton *>(QStringLiteral("Option2")))
                bulk->click();
        }
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCoreApplication::processEvents();
        if (!date.isEmpty() && window == QLatin1String("TyakuForm"))
            w->findChild<QLineEdit *>(QStringLiteral("Text9"))->setToolTip(QString());  // the date shows whole

        Checker checker;
        checker.check(w);
        // Every control Tab reaches has a name for assistive technology.
        for (QWidget *c : w->findChildren<QWidget *>()) {
            if (isNamedControl(c) && c->isVisibleTo(w) && c->accessibleName().trimmed().isEmpty())
                checker.faults << where(c) + QStringLiteral(": no accessible name");
        }
        if (window != QLatin1String("Mainform"))  // (its launchers stand in two columns)
            checker.faults << tabOrderFaults(w);
        if (window == QLatin1String("KakudaiForm")) {
            // Large type still fits its boxes: the whole of each, for those
            // who read there what they cannot read small.
            checker.tooltipShowsWhole = false;
            checker.check(w);
            auto *view = static_cast<texttools::KakudaiForm *>(w);
            while (view->fontSize() < enlargedSize)
                view->sizeUp();
            QCoreApplication::processEvents();
            checker.check(w);
        }
        QVERIFY2(checker.faults.isEmpty(), qPrintable(checker.faults.join(u'\n')));
    }

    // A window of fixed size larger than the screen (the compose window at
    // 200 % on a 1080-line screen) shrinks to it and its controls scroll into
    // view; one that fits stays as it was.
    void fixedWindowsShrinkToTheScreen()
    {
        QWidget *compose = Windows::get(QStringLiteral("WriteForm"));
        const QRect area = compose->screen()->availableGeometry();
        compose->setFixedSize(compose->width(), area.height() + 300);
        Windows::show(QStringLiteral("WriteForm"));
        QVERIFY(QTest::qWaitForWindowExposed(compose));
        QVERIFY(compose->height() < area.height());
        auto *scroll = compose->findChild<QScrollArea *>();
        auto *body = compose->findChild<QWidget *>(QStringLiteral("BodyText"));
        QVERIFY(scroll && body && body->isVisible());
        scroll->ensureWidgetVisible(body, 0, 0);
        QVERIFY(compose->rect().contains(QRect(body->mapTo(compose, QPoint()), body->size())));
        QWidget *book = Windows::show(QStringLiteral("FriendForm"));
        QVERIFY(QTest::qWaitForWindowExposed(book) && !book->findChild<QScrollArea *>());
    }

    // Enter presses the button with the focus in a window that is not a
    // dialog (Qt alone does nothing there), with or without the keypad.
    void enterPressesTheFocusedButton()
    {
        QWidget *book = Windows::show(QStringLiteral("FriendForm"));
        QVERIFY(QTest::qWaitForWindowExposed(book));
        auto *button = book->findChild<QPushButton *>(QStringLiteral("Command38"));
        QSignalSpy clicks(button, &QPushButton::clicked);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(button, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(clicks.count(), 2);
    }

    void everyTempleCaption()
    {
        // The map's caption names each temple in turn, with its prefecture
        // and town; every one of the 88 fits.
        auto *main = Windows::get<app::Mainform>(QStringLiteral("Mainform"));
        auto *caption = main->findChild<QLabel *>(QStringLiteral("Label22"));
        QVERIFY(caption);
        const QFontMetrics fm(caption->font());
        QStringList cut;
        for (const pilgrimage::Temple &t : pilgrimage::temples()) {
            const QString text = t.captionText();
            if (fm.horizontalAdvance(text) > caption->contentsRect().width())
                cut << QStringLiteral("%1 (%2 px of %3)")
                           .arg(text)
                           .arg(fm.horizontalAdvance(text))
                           .arg(caption->contentsRect().width());
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
    }

    void messageBoxes()
    {
        // The shortest texts make the narrowest boxes.
        Checker checker;
        const QList<std::pair<QString, QString>> boxes = {
            {QStringLiteral("データが選択されていません"), ProgramTitle},
            {QStringLiteral("OK"), ProgramTitle},
            {QStringLiteral("すべてのデータを削除して良いですか？"), QuestionTitle},
            {QStringLiteral("x"), ErrorTitle},
        };
        for (const auto &[text, title] : boxes) {
            auto box = Dialogs::messageBox(nullptr, text, title, Dialogs::Icon::None, QMessageBox::Ok);
            box->setObjectName(QStringLiteral("QMessageBox"));
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box.get()));
            checker.check(box.get());
        }
        QVERIFY2(checker.faults.isEmpty(), qPrintable(checker.faults.join(u'\n')));
    }

private:
    std::unique_ptr<test::TestProgramFolder> folder_;
    std::unique_ptr<test::ScriptedDialogs> dialogs_;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app::prepareApplication(app);
    TestFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fit.moc"
