#include "tyakuform.h"

#include "historywindow.h"
#include "history_listmodel.h"
#include "history_viewtext.h"
#include "history_quicksave.h"

#include "common/addressfield.h"
#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"
#include "texttools/editorpane.h"
#include "texttools/editorstate.h"
#include "texttools/kakudaiform.h"
#include "texttools/textfiles.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>

namespace korvane::mail {
namespace {

const QString NoSelection = QStringLiteral("データが選択されていません");
const QString NothingToSelect = QStringLiteral("選択するデータがありません。");
const QString FontName = QStringLiteral("ＭＳ Ｐゴシック");

// Positions that the resize rules refer to, in twips.
constexpr int ListTop = 960;
constexpr int BodyLeft = 20;
constexpr int StatusBarHeight = 375;

int toTwips(int pixels)
{
    return pixels * 15;
}

int px(double twipsValue)
{
    return twips(int(twipsValue));
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLineEdit *lineBox(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

// Fills a box of another window by its control name, whatever kind of text
// control it is.
void setControlText(QWidget *control, const QString &text)
{
    if (!control)
        return;
    if (auto *e = qobject_cast<QLineEdit *>(control))
        e->setText(text);
    else if (auto *t = qobject_cast<QTextEdit *>(control))
        t->setPlainText(texttools::toLf(text));
    else if (auto *p = qobject_cast<QPlainTextEdit *>(control))
        p->setPlainText(texttools::toLf(text));
    else if (auto *c = qobject_cast<QComboBox *>(control); c && c->isEditable())
        c->setEditText(text);
    else
        control->setProperty("text", text);
}

}  // namespace

TyakuForm::TyakuForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("TyakuForm"));
    setWindowTitle(QStringLiteral("着信履歴"));
    buildControls();
    loadEditorFile();
    // Deletions end off this thread: a failed one brings its mails back.
    connect(historyWrites(), &HistoryWrites::failed, this, [this](int kind, const QString &error) {
        if (kind == (kind_ == HistoryKind::Received ? 0 : 1) && isVisible())
            loadHistoryList();
        dialogs().notice(this, QStringLiteral("メールを削除できませんでした。削除したメールは履歴に戻してあります。\n%1")
                                   .arg(error));
    });
    connect(historyWrites(), &HistoryWrites::written, this, [this](int kind, bool renumbered) {
        if (renumbered && kind == (kind_ == HistoryKind::Received ? 0 : 1) && isVisible())
            loadHistoryList();
    });
    resize(twips(10680), twips(7920));
    applyResizeRules();
}

TyakuForm::~TyakuForm() = default;

void TyakuForm::buildControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("TyakuFormClient"));
    client_->setMouseTracking(true);
    client_->installEventFilter(this);
    setCentralWidget(client_);

    buttonBand_ = new QWidget(client_);
    buttonBand_->setObjectName(QStringLiteral("Picture1"));
    buttonBand_->setProperty("index", 1);
    buttonBand_->setAutoFillBackground(true);
    QPalette bandPalette = buttonBand_->palette();
    bandPalette.setColor(QPalette::Window, QColor(200, 225, 245));
    buttonBand_->setPalette(bandPalette);
    placeTwips(buttonBand_, 0, 480, 10680, 480);

    pane_ = new texttools::EditorPane(this, client_);
    body_ = pane_->editor();
    placeTwips(pane_->toolBar(), 0, 0, 10680, 480);
    placeTwips(pane_->searchLabel(), 5880, 90, 855, 255);
    placeTwips(pane_->searchBox(), 6720, 45, 1800, 300);
    connect(pane_, &texttools::EditorPane::hintRequested, this, &TyakuForm::showHelp);
    connect(pane_, &texttools::EditorPane::hintDismissed, this, &TyakuForm::hideHelp);

    model_ = new MailListModel(this);
    list_ = new QTreeView(client_);
    list_->setObjectName(QStringLiteral("MailListView"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    // Several mails can be picked (Shift, Ctrl) and deleted together.
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setStretchLastSection(true);  // the date takes what the window gains
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    placeTwips(list_, 0, ListTop, 9375, 1815);
    // Three columns: half, a quarter and a quarter of the list's width. The
    // shares follow the list when the window changes size; a column the user
    // drags to another width keeps its new share.
    columnShares_ = {0.5, 0.25, 0.25};
    fitListColumns();
    connect(list_->header(), &QHeaderView::sectionResized, this, [this](int section, int, int newSize) {
        const int width = listInnerWidth();
        if (fittingColumns_ || section < 0 || section + 1 >= int(columnShares_.size()))
            return;
        columnShares_[size_t(section)] = double(newSize) / width;
    });
    connect(list_, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (index.row() != shownRow_ || !selectionMarked())
            showSelectedMail(index.row());
    });
    // The keyboard moves the selection too; the viewer follows the selected
    // row (a current row that focus alone gave is not a selection).
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int row = selectedRow();
        if (row >= 0 && row != shownRow_)
            showSelectedMail(row);
    });

    subject_ = lineBox(client_, "Text7");
    sender_ = lineBox(client_, "Text8");
    date_ = lineBox(client_, "Text9");
    placeTwips(subject_, 0, 2760, 4695, 375);
    placeTwips(sender_, 4680, 2760, 3015, 375);
    placeTwips(date_, 7695, 2760, 2415, 375);
    for (QLineEdit *box : {subject_, sender_, date_}) {
        box->setFont(designFont(FontName, 9));
        box->setMouseTracking(true);
        box->installEventFilter(this);
    }
    pane_->setHeaderBoxes(subject_, sender_, date_);
    receivedRefresh_ = new QTimer(this);
    receivedRefresh_->setSingleShot(true);
    receivedRefresh_->setInterval(250);
    connect(receivedRefresh_, &QTimer::timeout, this, &TyakuForm::showReceivedAfterMailCheck);
    for (QLineEdit *box : {subject_, sender_, date_})
        connect(box, &QLineEdit::textChanged, this, [this, box] { viewerBoxChanged(box); });

    // The body box: designed at (0, 3120); the load step moves it to (20, 3900).
    placeTwips(body_, 0, 3120, 10455, 3735);
    placeTwips(body_, BodyLeft, 3900, 10455, 3735);

    auto *countLabel = new QLabel(QStringLiteral("件数"), client_);
    countLabel->setObjectName(QStringLiteral("Label4"));
    placeTwips(countLabel, 8040, 600, 495, 255);
    countBox_ = lineBox(client_, "Text2");
    countBox_->setReadOnly(true);
    placeTwips(countBox_, 8640, 600, 495, 270);

    struct MailButton {
        const char *name;
        QString caption;
        int left, top, width, height;
        void (TyakuForm::*slot)();
    };
    const MailButton buttons[] = {
        {"Command3", QStringLiteral("一件削除"), 120, 520, 1335, 375, &TyakuForm::deleteSelectedMail},
        {"Command4", QStringLiteral("アドレス帳登録"), 1560, 520, 1425, 375, &TyakuForm::addSenderToAddressBook},
        {"Command5", QStringLiteral("返事を書く"), 3000, 520, 1455, 375, &TyakuForm::replyToSelectedMail},
        {"Command6", QStringLiteral("全件削除"), 4560, 520, 1455, 375, &TyakuForm::deleteAllMail},
        {"Command29", QStringLiteral("拡大して見る"), 6240, 520, 1335, 375, &TyakuForm::openEnlargedView},
        {"Command2", QStringLiteral("TextQuickSave"), 3960, 0, 1815, 340, &TyakuForm::quickSaveMail},
    };
    for (const MailButton &b : buttons) {
        QPushButton *w = button(client_, b.name, b.caption);
        placeTwips(w, b.left, b.top, b.width, b.height);
        connect(w, &QPushButton::clicked, this, b.slot);
        w->installEventFilter(this);
        if (QString::fromLatin1(b.name) != QLatin1String("Command29"))
            mailButtons_.append(w);
        if (QString::fromLatin1(b.name) == QLatin1String("Command2"))
            quickSaveButton_ = w;
    }

    statusBar_ = new QStatusBar(client_);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(false);

    copyButton_ = button(client_, "Command1", QStringLiteral("コピー（Subject/from/Data）"));
    copyButton_->installEventFilter(this);
    connect(copyButton_, &QPushButton::clicked, this, &TyakuForm::copyHeaderField);
    mailButtons_.append(copyButton_);
    copyBox_ = lineBox(client_, "Text6");
    placeTwips(copyButton_, 1880, 6960, 3255, 270);
    placeTwips(copyBox_, 5160, 6960, 3735, 270);

    hintBox_ = new QPlainTextEdit(client_);
    hintBox_->setObjectName(QStringLiteral("Text4"));
    hintBox_->setReadOnly(true);
    hintBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->hide();
    placeTwips(hintBox_, 2400, 4560, 5535, 1935);

    selectionMarker_ = lineBox(client_, "Text5");
    selectionMarker_->hide();
    placeTwips(selectionMarker_, -2000, -2000, 495, 270);

    fileList_ = new QListWidget(client_);
    fileList_->setObjectName(QStringLiteral("lstLst"));
    fileList_->hide();

    quickSaveButton_->raise();
    copyButton_->raise();
    copyBox_->raise();
    hintBox_->raise();

    // Tab in reading order: the top row, the button band left to right and
    // the count, the list, the three header boxes, the body, the copy row.
    // The hint box only follows the mouse: Tab passes it by.
    hintBox_->setFocusPolicy(Qt::NoFocus);
    auto mailButton = [this](const char *name) { return client_->findChild<QPushButton *>(QLatin1String(name)); };
    setTabChain({quickSaveButton_, pane_->searchBox(), mailButton("Command3"), mailButton("Command4"),
                 mailButton("Command5"), mailButton("Command6"), mailButton("Command29"), countBox_, list_, subject_,
                 sender_, date_, body_, fileList_, copyButton_, copyBox_});
}

// The editor's start-up: the current file of the editor into the body box. A
// failure offers another try or going on without it, never an endless loop.
void TyakuForm::loadEditorFile()
{
    fileList_->hide();
    QString error;
    while (!pane_->loadCurrentFile(&error)) {
        const QString text =
            QStringLiteral("本文に「%1」を読み込めませんでした。\n%2\n\n"
                           "「はい」でもう一度読み込みます。「いいえ」で読み込まずに続けます。")
                .arg(texttools::editorState().currentFilePath, error);
        if (!dialogs().question(this, text, ProgramTitle + QStringLiteral("  Form_LoadError"),
                                Dialogs::Icon::Exclamation))
            break;
    }
    fileList_->hide();
    body_->show();
}

QString TyakuForm::helpText(const QString &buttonName)
{
    static const QHash<QString, QString> texts = {
        {QStringLiteral("Command1"),
         QStringLiteral("本文以外のコピーに使用します。「Subject」「From」「Date」に表示されるデータをコピーします"
                        "（貼り付けはメニューバー、ツールバーで出来ます）。Body（本文）はメニューバー、ツールバーから"
                        "コピー・貼り付けが出来ます。\r\n\r\n"
                        " 本文への貼り付け（あるいは本ソフトでの貼り付け機能がある部分）、他のアプリケーションへの"
                        "貼り付けが可能です。\r\n\r\n"
                        "コピーされる内容は右の欄に反映されます。")},
        {QStringLiteral("Command2"),
         QStringLiteral("選択したデータをテキスト形式で本ソフト内の「TextQuickSave」フォルダ内に「Subject」「From」"
                        "「Date」「Boby」で保存します。ファイル名は「Subject」が自動的に当てられます。同名のファイルが"
                        "既に存在する場合は警告メッセージを出します。")},
        {QStringLiteral("Command3"),
         QStringLiteral("受信したメールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。")},
        {QStringLiteral("Command4"),
         QStringLiteral("受信したメールをアドレス帳に登録します。リストからメールを選択（クリック）してから実行して下さい。")},
        {QStringLiteral("Command5"),
         QStringLiteral("受信したメールに返事を出します。リストからメールを選択（クリック）してから実行して下さい。")},
        {QStringLiteral("Command6"), QStringLiteral("受信したメール全件削除します。")},
    };
    return texts.value(buttonName);
}

void TyakuForm::openHistory(HistoryKind kind)
{
    kind_ = kind;
    receivedRefresh_->stop();  // the user's choice of history wins
    applyKindLook();
    // Loading the window starts the editor's search afresh.
    pane_->resetSearch();
    model_->clear();
    shownRow_ = -1;
    body_->clear();
    loadHistoryList();
}

void TyakuForm::loadHistoryList()
{
    std::vector<MailListEntry> entries = readMailList(kind_);
    const int rows = int(entries.size());
    model_->setEntries(std::move(entries));
    Q_UNUSED(rows);
    showLastRecord();
}

void TyakuForm::showLastRecord()
{
    shownRow_ = -1;
    // Reading every record would leave the viewer and the clipboard on the
    // last one: go there directly, reading that one body only. What the
    // user copied stays on the clipboard: only nothing or a mail the
    // program put there gives way.
    if (const int rows = model_->rowCount(); rows > 0) {
        if (std::optional<MailRecord> last = readMailRecord(kind_, rows)) {
            showViewer(*last);
            if (!clipboardHoldsUsersData())
                putBodyOnClipboard();
        }
    }
    countBox_->setText(QString::number(model_->rowCount()));
}

void TyakuForm::showViewer(const MailRecord &record)
{
    fillingViewer_ = true;
    subject_->setText(record.subject);
    sender_->setText(record.address);
    date_->setText(record.date);
    fillingViewer_ = false;
    for (QLineEdit *box : {subject_, sender_, date_})
        box->setCursorPosition(0);
    // The mail as its sender wrote it, from the kept original when there is
    // one; the clipboard, quick save, reply and the enlarged view take the
    // viewer's text.
    pane_->setText(readableBody(kind_, record));
    if (date_->width() < dateBoxWidthNeeded())
        applyResizeRules();
}

void TyakuForm::viewerBoxChanged(QLineEdit *box)
{
    // The whole text is a hover away, however narrow the box.
    box->setToolTip(box->text());
    if (fillingViewer_ || box->isModified() || box->text().isEmpty())
        return;
    // The mail check writes each mail it receives straight into the viewer
    // boxes. The window then shows the received history, whichever it showed
    // before; its list is read again once the check has stored the mail, and
    // once for a run of mails arriving together.
    receivedRefresh_->start();
}

void TyakuForm::showReceivedAfterMailCheck()
{
    if (kind_ != HistoryKind::Received) {
        kind_ = HistoryKind::Received;
        applyKindLook();
    }
    // A hidden window reads its list when it is opened again; until then the
    // list holds nothing of another history.
    if (!isVisible()) {
        model_->clear();
        shownRow_ = -1;
        clearSelectionMarker();
        return;
    }
    model_->setEntries(readMailList(kind_));
    shownRow_ = -1;
    clearSelectionMarker();
    countBox_->setText(QString::number(model_->rowCount()));
    if (date_->width() < dateBoxWidthNeeded())
        applyResizeRules();
}

void TyakuForm::applyKindLook()
{
    setWindowTitle(kind_ == HistoryKind::Received ? QStringLiteral("着信履歴") : QStringLiteral("送信履歴"));
    QPalette p = list_->palette();
    p.setColor(QPalette::Base, kind_ == HistoryKind::Received ? QColor(210, 250, 250) : QColor(250, 250, 255));
    list_->setPalette(p);
}

void TyakuForm::clearViewer()
{
    fillingViewer_ = true;
    subject_->clear();
    sender_->clear();
    date_->clear();
    fillingViewer_ = false;
    body_->clear();
}

void TyakuForm::putBodyOnClipboard()
{
    putProgramTextOnClipboard(pane_->text());
}

bool TyakuForm::selectionMarked() const
{
    return !selectionMarker_->text().isEmpty();
}

void TyakuForm::clearSelectionMarker()
{
    selectionMarker_->clear();
}

int TyakuForm::selectedRow() const
{
    QModelIndex current = list_->currentIndex();
    if (!current.isValid() || !list_->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return -1;
    return current.row();
}

QList<int> TyakuForm::selectedRows() const
{
    QList<int> rows;
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QString TyakuForm::withOriginalsNote(const QString &question, const QList<int> &numbers) const
{
    if (!anyKeptOriginal(kind_, numbers))
        return question;
    return question + QStringLiteral("\n\n%1に保存してあるメール全体も一緒に削除します"
                                     "（添付フォルダのファイルは残ります）。")
                          .arg(originalsFolderName(kind_));
}

void TyakuForm::showSelectedMail(int row)
{
    if (leadingNumber(countBox_->text()) == 0) {
        dialogs().notice(this, NothingToSelect);
        return;
    }
    if (row < 0 || row >= model_->rowCount())
        return;
    selectionMarker_->setText(QStringLiteral("1"));
    std::optional<MailRecord> record = readMailRecord(kind_, row + 1);
    if (!record) {
        // The file no longer holds that record (changed behind the list).
        clearSelectionMarker();
        return;
    }
    shownRow_ = row;
    showViewer(*record);
    countBox_->setText(QString::number(model_->rowCount()));
    putBodyOnClipboard();
}

void TyakuForm::copyHeaderField()
{
    QClipboard *clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(copyBox_->text());
}

void TyakuForm::quickSaveMail()
{
    if (!selectionMarked()) {
        dialogs().notice(this, NoSelection);
        return;
    }
    body_->setFocus();
    clearSelectionMarker();

    const QString path = quickSavePath(subject_->text());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool exists = QFileInfo::exists(path);
    QApplication::restoreOverrideCursor();
    if (exists &&
        !dialogs().question(this, QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "), QuestionTitle,
                            Dialogs::Icon::Question))
        return;

    const QString text = texttools::withMailHeader(subject_->text(), sender_->text(), date_->text(),
                                                   toCrLf(pane_->text()));
    QString error;
    if (!texttools::writeTextFile(path, text + QStringLiteral("\r\n"), &error,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        dialogs().notice(this, QStringLiteral("「%1」に保存できませんでした。\n%2").arg(path, error));
        return;
    }
    pane_->setText(text);
}

void TyakuForm::deleteSelectedMail()
{
    const QList<int> rows = selectedRows();
    if (!selectionMarked() || rows.isEmpty()) {
        dialogs().notice(this, NoSelection);
        clearSelectionMarker();
        return;
    }
    QList<int> numbers;
    for (int row : rows)
        numbers << row + 1;
    const QString question = kind_ == HistoryKind::Received
                                 ? QStringLiteral("選択された（行、青色）データを削除します。よろしいですか")
                                 : QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?");
    if (!dialogs().question(this, withOriginalsNote(question, numbers), QuestionTitle, Dialogs::Icon::Question)) {
        body_->setFocus();
        body_->clear();
        clearSelectionMarker();
        return;
    }
    body_->setFocus();
    clearSelectionMarker();
    // The mails leave the list now; the file is rewritten in the background.
    QString error;
    if (!deleteMailRecordsLater(kind_, numbers, &error)) {
        dialogs().notice(this, QStringLiteral("メールを削除できませんでした。\n%1").arg(error));
        clearViewer();
        loadHistoryList();
        return;
    }
    clearViewer();
    model_->removeEntries(rows);
    showLastRecord();
}

void TyakuForm::addSenderToAddressBook()
{
    if (!selectionMarked()) {
        dialogs().notice(this, NoSelection);
        return;
    }
    body_->setFocus();
    clearSelectionMarker();
    const QString name = QStringLiteral("FriendForm");
    if (!Windows::isRegistered(name))
        return;
    QWidget *window = Windows::get(name);
    if (!window)
        return;
    setControlText(window->findChild<QWidget *>(QStringLiteral("Text4")), sender_->text());
    Windows::show(name);
}

void TyakuForm::replyToSelectedMail()
{
    if (!selectionMarked()) {
        dialogs().notice(this, NoSelection);
        return;
    }
    body_->setFocus();
    clearSelectionMarker();
    const QString name = QStringLiteral("BackForm");
    if (!Windows::isRegistered(name))
        return;
    // A reply being written is replaced only when the user says so; Enter keeps it.
    if (QWidget *open = Windows::loaded(name)) {
        bool writing = false;
        QMetaObject::invokeMethod(open, "holdsUnsentText", Q_RETURN_ARG(bool, writing));
        if (writing && !dialogs().question(this, QStringLiteral("作成中の返事を、選んだメールへの返事で置き換えますか？"),
                                           QuestionTitle, Dialogs::Icon::Question, /*defaultYes=*/false)) {
            Windows::show(name);
            return;
        }
    }
    QWidget *window = Windows::get(name);
    if (!window)
        return;
    // Where the answered mail came from: in the sent history the sender box
    // holds the recipient, and the received record buffer is unrelated.
    window->setProperty("historyKind", historyKindNumber());
    setControlText(window->findChild<QWidget *>(QStringLiteral("SubjectText")),
                   QStringLiteral("Re:  ") + trimAsciiSpaces(subject_->text()));
    setControlText(window->findChild<QWidget *>(QStringLiteral("ToText")), replyAddress(sender_->text()));
    setControlText(window->findChild<QWidget *>(QStringLiteral("BodyText")),
                   trimAsciiSpaces(toCrLf(pane_->text())));
    Windows::show(name);
}

void TyakuForm::deleteAllMail()
{
    if (!dialogs().question(this, withOriginalsNote(QStringLiteral("すべてのデータを削除して良いですか？"), {}),
                            QuestionTitle, Dialogs::Icon::Question))
        return;
    deleteAllMailRecordsLater(kind_);
    model_->clear();
    loadHistoryList();
    countBox_->setText(QString::number(model_->rowCount()));
    body_->clear();
}

void TyakuForm::openEnlargedView()
{
    texttools::openEnlargedView(pane_->text(), subject_->text(), sender_->text(), date_->text());
}

void TyakuForm::showHelp(const QString &text)
{
    hintBox_->setPlainText(texttools::toLf(text));
    hintBox_->show();
    hintBox_->raise();
}

void TyakuForm::hideHelp()
{
    hintBox_->hide();
    hintBox_->clear();
}

void TyakuForm::resetStatusControls()
{
    const int statusTop = toTwips(statusBar_->y());
    copyBox_->move(copyBox_->x(), px(statusTop + 80));
    copyButton_->move(copyButton_->x(), px(statusTop + 80));
}

bool TyakuForm::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Enter || type == QEvent::MouseMove) {
        if (watched == list_ || watched == list_->viewport()) {
            hideHelp();
        } else if (watched == subject_ || watched == sender_ || watched == date_) {
            copyBox_->setText(static_cast<QLineEdit *>(watched)->text());
        } else if (watched == client_ && type == QEvent::MouseMove) {
            resetStatusControls();
        } else if (type == QEvent::Enter) {
            for (QPushButton *b : std::as_const(mailButtons_)) {
                if (watched == b) {
                    showHelp(helpText(b->objectName()));
                    break;
                }
            }
        }
    } else if (type == QEvent::MouseButtonRelease && watched == list_->viewport() && model_->rowCount() == 0) {
        // A click on the empty list.
        showSelectedMail(-1);
    }
    return QMainWindow::eventFilter(watched, event);
}

int TyakuForm::listInnerWidth() const
{
    // From the list's own geometry: its viewport follows only once the list
    // has been laid out, which a hidden window has not.
    int width = list_->width() - 2 * list_->frameWidth();
    if (list_->verticalScrollBar()->isVisibleTo(list_))
        width -= list_->verticalScrollBar()->sizeHint().width();
    return std::max(1, width);
}

void TyakuForm::fitListColumns()
{
    const int width = listInnerWidth();
    fittingColumns_ = true;
    // The last column stretches over what is left.
    for (int c = 0; c + 1 < int(columnShares_.size()); ++c)
        list_->setColumnWidth(c, std::max(20, int(columnShares_[size_t(c)] * width)));
    fittingColumns_ = false;
}

int TyakuForm::dateBoxWidthNeeded() const
{
    // The longest date a mail carries, or the one shown when it is longer.
    const QFontMetrics fm(date_->font());
    const int text = std::max(fm.horizontalAdvance(QStringLiteral("Wed, 30 Sep 2025 23:59:59 +0900")),
                              fm.horizontalAdvance(date_->text()));
    QStyleOptionFrame option;
    option.initFrom(date_);
    option.lineWidth = date_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, date_);
    const QMargins margins = date_->textMargins() + date_->contentsMargins();
    // The box's own inner margin is 2 pixels a side.
    return text + 2 * option.lineWidth + margins.left() + margins.right() + 4 + 2;
}

void TyakuForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    applyResizeRules();
}

void TyakuForm::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    // The next opening is a fresh load: the search starts again.
    pane_->resetSearch();
}

void TyakuForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        applyResizeRules();
}

void TyakuForm::applyResizeRules()
{
    if (!client_)
        return;
    const QSize outer = frameGeometry().size();
    const double w = toTwips(outer.width());
    const double h = toTwips(outer.height());

    // The status bar runs along the bottom of the window.
    statusBar_->setGeometry(0, client_->height() - twips(StatusBarHeight), client_->width(), twips(StatusBarHeight));
    pane_->toolBar()->resize(client_->width(), pane_->toolBar()->height());

    copyBox_->show();
    quickSaveButton_->show();

    const double listHeight = 0.25 * h;
    list_->setGeometry(list_->x(), twips(ListTop), px(0.99 * w), px(listHeight));

    const int boxTop = px(listHeight + 940);
    buttonBand_->resize(px(w), buttonBand_->height());

    const int bodyTop = px(listHeight + 1300);
    int bodyHeight = body_->height();
    if (h > 3500)
        bodyHeight = px(h - listHeight - toTwips(subject_->height()) - 2000);
    // Never under the status bar, whatever the window frame takes.
    bodyHeight = std::max(0, std::min(bodyHeight, statusBar_->y() - bodyTop));
    body_->setGeometry(body_->x(), bodyTop, px(0.99 * w), bodyHeight);

    // Subject, sender and date share the width 5 : 3 : 2; a date needs its
    // whole length, so when the fifth is too narrow it takes from the subject
    // (down to 4 tenths, which still holds a long subject), then from the
    // sender (down to 2 tenths: an address whole is a hover away, a date
    // with its zone's name, "+0900 (JST)", must show whole).
    int subjectWidth = px(0.5 * w);
    int senderWidth = px(0.3 * w);
    int dateWidth = px(0.2 * w);
    const int dateNeed = dateBoxWidthNeeded();
    if (dateWidth < dateNeed) {
        const int fromSubject = std::min(dateNeed - dateWidth, std::max(0, subjectWidth - px(0.4 * w)));
        subjectWidth -= fromSubject;
        dateWidth += fromSubject;
        const int fromSender = std::min(dateNeed - dateWidth, std::max(0, senderWidth - px(0.2 * w)));
        senderWidth -= fromSender;
        dateWidth += fromSender;
    }
    const double subjectLeft = toTwips(body_->x()) - 15;
    subject_->setGeometry(px(subjectLeft), boxTop, subjectWidth, subject_->height());
    sender_->setGeometry(subject_->x() + subjectWidth, boxTop, senderWidth, sender_->height());
    date_->setGeometry(sender_->x() + senderWidth - 1, boxTop, dateWidth, date_->height());

    // The columns keep their shares of the list's width.
    fitListColumns();

    const int statusTop = toTwips(statusBar_->y());
    const int statusLeft = toTwips(statusBar_->x());
    copyButton_->move(px(statusLeft + 1880), px(statusTop + 80));
    copyBox_->move(px(toTwips(copyButton_->x()) + 3380), px(statusTop + 80));
    if (isMaximized() && h > 3500) {
        // Kept inside the window.
        copyBox_->move(copyBox_->x(), std::min(px(h - 1000), client_->height() - copyBox_->height()));
        copyButton_->move(copyButton_->x(), std::min(px(h - 980), client_->height() - copyButton_->height()));
    }
}

void openHistoryWindow(HistoryKind kind, QWidget *launcher)
{
    if (launcher)
        flashLabel(launcher);
    const QString name = QStringLiteral("TyakuForm");
    if (!Windows::isRegistered(name))
        Windows::registerFactory(name, [] { return new TyakuForm; });
    auto *form = qobject_cast<TyakuForm *>(Windows::show(name));
    if (form)
        form->openHistory(kind);
}

}  // namespace korvane::mail
