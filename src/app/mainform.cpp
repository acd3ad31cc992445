#include "mainform.h"

#include "autocheck.h"
#include "notify.h"
#include "pictures.h"
#include "program.h"

#include "common/dialogs.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "compose/draft.h"
#include "compose/writeform.h"
#include "history/historywindow.h"
#include "mailcheck/mailcheck.h"
#include "mailcheck/mailcheck_journal.h"
#include "transport/nmail.h"
#include "pilgrimage/display.h"
#include "pilgrimage/maparea.h"
#include "pilgrimage/progress.h"
#include "settings/keyring.h"
#include "settings/receiveoptions.h"
#include "settings/settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <vector>

namespace korvane::app {

const QString Mainform::Caption = QStringLiteral("Korvane(ハルモ）");

QString Mainform::userGuidePath()
{
    // Beside the program first (a build, or a copy run from its folder), then
    // where an installed program keeps its documents.
    const QString app = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        paths::resolve(QStringLiteral("\\guide\\index.html")),
        app + QStringLiteral("/../share/doc/korvane/guide/index.html"),
        app + QStringLiteral("/../share/korvane/guide/index.html"),
        QStringLiteral("/usr/share/doc/korvane/guide/index.html"),
    };
    for (const QString &path : candidates) {
        if (QFileInfo(path).isFile())
            return QFileInfo(path).canonicalFilePath();
    }
    return QString();
}

void Mainform::openUserGuide()
{
    const QString path = userGuidePath();
    if (path.isEmpty()) {
        dialogs().notice(this, QStringLiteral("利用の手引き（guide\\index.html）が見つかりません。\n"
                                              "プログラムのフォルダに guide フォルダがあるか確かめて下さい。"),
                         ProgramTitle, Dialogs::Icon::Exclamation);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        dialogs().notice(this,
                         QStringLiteral("ブラウザを起動できませんでした。\n利用の手引きは次の場所にあります。\n%1")
                             .arg(QDir::toNativeSeparators(path)),
                         ProgramTitle, Dialogs::Icon::Exclamation);
}

namespace {

// Where the hint box lies, in twips.
constexpr int HintLeft = 4560;
constexpr int HintTop = 2880;
constexpr int HintWidth = 2295;
constexpr int HintHeight = 1335;

const QString GothicP = QStringLiteral("ＭＳ Ｐゴシック");
const QString Gothic = QStringLiteral("ＭＳ ゴシック");
const QString Antiqua = QStringLiteral("Book Antiqua");

// Text colours chosen to read on the pictures: the cream bars and panels of
// the device frame, its green status panel, and the sea of the map.
const QColor BarText(0x5a, 0x12, 0x12);
const QColor StatusText(0x1d, 0x3a, 0x1d);
const QColor SeaText(0xff, 0xff, 0xff);
const QColor MapText(0x10, 0x10, 0x10);

struct Hint {
    const char *control;
    const char16_t *text;  // nullptr: hide the hint box
};

const Hint Hints[] = {
    {"Label2", u"メールを新規作成、送信します。"},
    {"Label3", u"新着メールの受信を行います。"},
    {"Label4", u"受信したメールが見られます。"},
    {"Label5", u"送信したメールが見られます。送信したかな？　と自信のない時はここで確認して下さい。"},
    {"Label6", u"アドレス帳です。ここに登録しておくと、メールの送信の際に便利です。新規作成のアドレス欄に反映されます。"},
    {"Label10", u"現在あなたがいる霊場の場所が黄色の球により表示されます。"},
    {"Label11", u"霊場に関する情報が書かれています。八十八箇所を踏破すると、自分で文章を編集・保存ができるようになります。"},
    {"Label13", u"八十八箇所を踏破すると使用できるようになります。霊場に関する情報を自由に編集出来るようになります。"
                u"「札所番号」で編集したい札所を呼び出して、編集した後、変更ボタンをクリックして下さい。"},
    {"Label14", u"八十八箇所を踏破すると使用できるようになります。見たい札所を自由に選択出来ます。"
                u"霊場の情報を自分で編集する際に必要です。"},
    {"Label20", u"ID,PASS,サーバーの設定を行います。これを行わないと、通信エラーとなります。"},
    {"Label23", u"八十八箇所を踏破すると使用できるようになります。「札所番号」で編集したい札所を呼び出して、"
                u"外部アプリからの文字を貼付けします。"},
    {"Label24", u"八十八箇所を踏破すると使用できるようになります。巡礼データを１からに戻します。"},
    {"Label7", u"このプログラムの利用の手引きをブラウザで開きます。"},
    {"Label8", u"画面を最小化、待機状態にします。"},
    {"Image1", nullptr},
    {"Image2", nullptr},
};

// The map's place, and the variant of the map picture the worker stretches
// to it.
const QRect MapPlace = twipsRect(1560, 720, 5325, 3495);
constexpr int StretchedMap = -1;

// A disabled label (the launcher of the display shown, a launcher during its
// pressed-button feedback) is drawn greyed.
const QColor DisabledText(0x9c, 0x8c, 0x84);

// A caption of the window: its place in the design, grown to fit its text,
// and its face (nullptr: the window's) and colour.
struct DesignCaption {
    const char *name;
    QString text;
    QRect place;
    const QFont *face;
    QColor colour;
};

// A caption never loses its last characters: where its text needs more room
// than the design gives (the fonts here measure wider than the design's), it
// grows to the right and downwards. Measured as a plain label measures its
// text. A label that takes the keyboard focus lays its text out as a document,
// which also asks for the leading below the line; it draws from its top, so
// the text is whole without that room.
QRect fitted(const QFont &font, const QString &text, const QRect &place)
{
    if (text.isEmpty())
        return place;
    const QSize need = QFontMetrics(font).boundingRect(0, 0, 2000, 2000, Qt::AlignLeft | Qt::AlignTop, text).size();
    return QRect(place.topLeft(), place.size().expandedTo(need));
}

void setTextColour(QWidget *w, const QColor &colour)
{
    // A label that has had the keyboard focus draws its caption as a document,
    // in the Text colours; one that has not, in the WindowText colours.
    QPalette pal = w->palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
        pal.setColor(QPalette::Active, role, colour);
        pal.setColor(QPalette::Inactive, role, colour);
        pal.setColor(QPalette::Disabled, role, DisabledText);
    }
    w->setPalette(pal);
}

}  // namespace

Mainform::Mainform(QWidget *parent) : QWidget(parent)
{
    // The pictures are decoded on a worker thread while the fonts are
    // resolved here; the worker also stretches the map to its area.
    PictureBatch pictures({{Picture::Background, 0},
                           {Picture::Map, 0},
                           {Picture::SpriteSheet, 0},
                           {Picture::ButtonFace, 5},
                           {Picture::ButtonFace, 4},
                           {Picture::ButtonFace, 3},
                           {Picture::ButtonFace, 2},
                           {Picture::ButtonFace, 1},
                           {Picture::Marker, 0}},
                          [area = MapPlace.size(), ratio = devicePixelRatioF()](PictureBatch::Images &images) {
                              images[{Picture::Map, StretchedMap}] =
                                  pilgrimage::MapArea::stretchedMap(images[{Picture::Map, 0}], area, ratio);
                          });
    setObjectName(QStringLiteral("Mainform"));
    setWindowTitle(Caption);
    setFont(designFont(GothicP, 9));
    // Nothing is rearranged when the window changes size, so it keeps the
    // size of its design.
    setFixedSize(twips(ClientWidth), twips(ClientHeight));

    buildControls(pictures);
    buildHiddenFields();
    connectLaunchers();
    pilgrimage::connectMainform(this, [form = QPointer<Mainform>(this)] {
        if (form)
            form->makeTextBoxes();
    });
    afterFirstFrame(this, [this] { makeTextBoxes(); });

    // The clock, and the pilgrim's step; both run for the whole life of the
    // window, minimised or not.
    auto *clock = new QTimer(this);
    clock->setObjectName(QStringLiteral("Timer2"));
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, &Mainform::refreshClock);
    clock->start();
    refreshClock();

    auto *step = new QTimer(this);
    step->setObjectName(QStringLiteral("tmrCharaStep"));
    step->setInterval(600);
    connect(step, &QTimer::timeout, findChild<pilgrimage::MapArea *>(QStringLiteral("Image2")),
            &pilgrimage::MapArea::stepPilgrim);
    step->start();

    setUpDailyChecks();
}

Mainform::~Mainform()
{
    mail::setCheckFinishedHandler(nullptr);
}

void Mainform::setUpDailyChecks()
{
    // The automatic check clicks the receive label, so that it is the very
    // check the user starts by hand.
    autoCheck_ = new AutoCheck(
        [this] {
            if (auto *receive = findChild<ClickLabel *>(QStringLiteral("Label3")))
                emit receive->clicked();
        },
        this);
    autoCheck_->setIntervalMinutes(settings::loadReceiveOptions().intervalMinutes);
    connect(&settings::ReceiveOptionsEvents::instance(), &settings::ReceiveOptionsEvents::changed, autoCheck_,
            [this] { autoCheck_->setIntervalMinutes(settings::loadReceiveOptions().intervalMinutes); });
    mail::setCheckFinishedHandler([this](const mail::CheckSummary &summary) { checkFinished(summary); });
}

void Mainform::setNotifier(DesktopNotifier *notifier)
{
    if (notifier_ && notifier_ != notifier && notifier_->parent() == this)
        delete notifier_;
    notifier_ = notifier;
    if (notifier_)
        connect(notifier_, &DesktopNotifier::activated, this, &Mainform::bringForward);
}

void Mainform::checkFinished(const mail::CheckSummary &summary)
{
    if (summary.received <= 0 || !settings::loadReceiveOptions().notify)
        return;
    // The session bus is reached at the first notification, not at start:
    // the first frame never waits for it. Without a session bus there is no
    // one to notify.
    if (!notifier_ && settings::keyring::sessionBusKnown())
        setNotifier(new DesktopNotifier(QDBusConnection::sessionBus(), this));
    if (!notifier_)
        return;
    notifier_->notify(newMailNotification(summary.received, summary.firstFrom, summary.firstSubject,
                                          pilgrimage::progressCounterValue()));
}

void Mainform::bringForward()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Mainform::buildControls(PictureBatch &pictures)
{
    // Every caption is measured before the first control is made. Measuring
    // loads the faces; meanwhile the session bus, which the first caption's
    // accessibility waits for, is opened (startProgram), and the worker
    // decodes the pictures, which go in last.
    const QFont antiqua = designFont(Antiqua, 9);
    const QFont title = designFont(Antiqua, 14.25, true);
    const QFont gothic = designFont(Gothic, 9);
    auto caption = [this](const char *name, const QString &text, int l, int t, int w, int h, const QFont *face,
                          const QColor &colour) {
        return DesignCaption{name, text, fitted(face ? *face : font(), text, twipsRect(l, t, w, h)), face, colour};
    };

    const DesignCaption version =
        caption("Label9", QStringLiteral("Ver 1.35"), 4920, 4560, 735, 255, &antiqua, BarText);
    const DesignCaption product = caption("Label1", QStringLiteral("Korvane"), 2880, 4380, 1575, 375, &title, BarText);
    const struct {
        const char *name;
        const char16_t *text;
        int left, top, width, height;
        bool antiqua;
    } buttonTable[] = {
        {"Label8", u"   Small", 7000, 3880, 735, 255, true},  {"Label7", u"     HP", 7040, 3540, 735, 255, true},
        {"Label13", u"  変更", 7020, 3260, 735, 195, false},  {"Label14", u"  札所", 7020, 2955, 855, 195, false},
        {"Label20", u"   設定", 6960, 2640, 855, 195, false}, {"Label23", u"   貼付", 6960, 2320, 855, 195, false},
        {"Label24", u" リセット", 7000, 2000, 855, 195, false},
    };
    std::vector<DesignCaption> buttons;
    for (const auto &b : buttonTable)
        buttons.push_back(caption(b.name, QString::fromUtf16(b.text), b.left, b.top, b.width, b.height,
                                  b.antiqua ? &antiqua : &gothic, BarText));
    const struct {
        const char *name;
        const char16_t *text;
        int left, top;
    } launcherTable[] = {
        {"Label11", u"　　案内表示", 60, 3080}, {"Label10", u"　　地図表示", 60, 2720},
        {"Label6", u"　　アドレス帳", 60, 2380}, {"Label5", u"　　送信履歴", 120, 2000},
        {"Label4", u"　　着信履歴", 120, 1600}, {"Label3", u"　　受     信", 120, 1200},
        {"Label2", u"　　新規作成", 120, 840},
    };
    std::vector<DesignCaption> launchers;
    for (const auto &l : launcherTable)
        launchers.push_back(caption(l.name, QString::fromUtf16(l.text), l.left, l.top, 1095, 225, nullptr, BarText));
    const DesignCaption templeCaption = caption("Label22", QString(), 3360, 3840, 2895, 255, nullptr, MapText);
    const DesignCaption number = caption("Label15", QStringLiteral("11"), 5520, 1920, 255, 195, nullptr, MapText);
    const DesignCaption counter = caption("Label25", QString(), 1680, 840, 615, 255, nullptr, SeaText);
    const DesignCaption status = caption("Label17", QString(), 720, 240, 6615, 255, nullptr, StatusText);

    // Created from the bottom of the stack upwards: in the design's list the
    // later controls lie under the earlier ones.
    auto label = [this](const DesignCaption &c) {
        auto *lb = new ClickLabel(c.text, this);
        lb->setObjectName(QString::fromLatin1(c.name));
        lb->setGeometry(c.place);
        if (c.face)
            lb->setFont(*c.face);
        setTextColour(lb, c.colour);
        // Polished before the launchers and buttons take the keyboard focus
        // (connectLaunchers): a label polished while it takes the focus lays
        // its caption out as a document, for links the keyboard could reach,
        // which makes the first frame a tenth slower. The captions have no
        // links; one that gets the focus takes the document then.
        lb->ensurePolished();
        return lb;
    };
    std::vector<std::pair<QLabel *, std::pair<Picture, int>>> pictured;
    auto picture = [this, &pictured](const char *name, Picture kind, int variant, int l, int t, int w, int h) {
        auto *lb = new ClickLabel(QString(), this);
        lb->setObjectName(QString::fromLatin1(name));
        lb->setScaledContents(true);
        placeTwips(lb, l, t, w, h);
        pictured.push_back({lb, {kind, variant}});
        return lb;
    };

    picture("Image1", Picture::Background, 0, 40, 0, 7710, 4965);

    auto *map = new pilgrimage::MapArea(this);
    map->setObjectName(QStringLiteral("Image2"));
    map->setGeometry(MapPlace);

    label(version);
    label(product);

    // Button faces under the small buttons, bottom one first.
    const struct {
        const char *name;
        int left, top, variant;
    } faces[] = {
        {"Image4", 7020, 3200, 5}, {"Image3", 7020, 2860, 4}, {"Image6", 7020, 2540, 3},
        {"Image7", 7030, 2220, 2}, {"Image8", 7040, 1900, 1},
    };
    for (const auto &f : faces)
        picture(f.name, Picture::ButtonFace, f.variant, f.left, f.top, 765, 360);

    for (const DesignCaption &b : buttons)
        label(b);
    for (const DesignCaption &l : launchers)
        label(l);

    label(templeCaption);
    auto *marker = picture("Image5", Picture::Marker, 0, 6240, 1800, 300, 285);
    marker->setScaledContents(false);
    label(number);
    label(counter);
    label(status);

    for (const auto &[lb, which] : pictured)
        lb->setPixmap(QPixmap::fromImage(pictures.take(which.first, which.second)));
    map->setMapPicture(pictures.take(Picture::Map), pictures.take(Picture::Map, StretchedMap));
    map->setSpriteSheet(pictures.take(Picture::SpriteSheet));
}

void Mainform::makeTextBoxes()
{
    if (hintBox_)
        return;
    auto *notes = new QPlainTextEdit(this);
    notes->setObjectName(QStringLiteral("Text1"));
    notes->setFont(designFont(GothicP, 11.25));
    notes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    notes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    notes->setVisible(false);
    placeTwips(notes, 1560, 720, 5325, 3495);

    hintBox_ = new QPlainTextEdit(this);
    hintBox_->setObjectName(QStringLiteral("Text7"));
    hintBox_->setReadOnly(true);
    // The hint box only follows the mouse: Tab passes it by.
    hintBox_->setFocusPolicy(Qt::NoFocus);
    hintBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    hintBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setVisible(false);
    placeTwips(hintBox_, HintLeft, HintTop, HintWidth, HintHeight);

    // The text boxes are windows of their own over the window's drawing:
    // the notes box covers the map, the marker and the captions on it, and
    // the hint box lies over everything.
    notes->raise();
    hintBox_->raise();
    // The notes box, like the map, hides the hint.
    notes->installEventFilter(this);
    nameControlsForAssistiveTech(this);
    pilgrimage::notesBoxMade(notes);
}

void Mainform::buildHiddenFields()
{
    // Outside the client area, and hidden, so that neither a larger window
    // nor the Tab key ever reaches them.
    auto field = [this](const char *name, int top) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        placeTwips(edit, 8100, top, 1815, 270);
        edit->setVisible(false);
        return edit;
    };
    auto caption = [this](const char *name, const char16_t *text, int top) {
        auto *lb = new QLabel(QString::fromUtf16(text), this);
        lb->setObjectName(QString::fromLatin1(name));
        placeTwips(lb, 8100, top, 1815, 225);
        lb->setVisible(false);
    };
    auto button = [this](const char *name, const char16_t *text, int top) {
        auto *b = new QPushButton(QString::fromUtf16(text), this);
        b->setObjectName(QString::fromLatin1(name));
        placeTwips(b, 8100, top, 1815, 375);
        b->setVisible(false);
    };

    caption("Label16", u"札所番号", 120);
    field("Text2", 360);
    caption("Label21", u"進行の為のカウント", 720);
    field("Text8", 960);
    field("Text9", 1320);
    button("Command4", u"レジストリ書き込み", 1680);
    field("Text4", 2160);
    button("Command1", u"登録", 2520);
    button("Command2", u"見る", 2940);
    button("Command3", u"登録数", 3360);
    caption("Label18", u"添付ファイルの検索", 3840);
    field("Text5", 4080);
    caption("Label19", u"日付、時間取得", 4440);
    field("Text6", 4680);

    auto *sheet = new QLabel(this);
    sheet->setObjectName(QStringLiteral("picChara"));
    if (auto *map = findChild<pilgrimage::MapArea *>(QStringLiteral("Image2")))
        sheet->setPixmap(QPixmap::fromImage(map->spriteSheet()));
    placeTwips(sheet, 8100, 5520, 960, 3855);
    sheet->setVisible(false);
}

void Mainform::connectLaunchers()
{
    auto onClick = [this](const char *name, auto action) {
        if (auto *lb = findChild<ClickLabel *>(QString::fromLatin1(name)))
            connect(lb, &ClickLabel::clicked, this, [lb, action] { action(lb); });
    };
    // Feedback first, then the window. A window that is not part of the
    // program (not registered) shows nothing.
    auto flashThenShow = [this](const char *window, bool nearHere = false) {
        return [this, window, nearHere](QWidget *lb) {
            QPointer<QWidget> guard(lb);
            flashLabel(lb);
            if (!guard)
                return;
            // A small window opens by the main window, not wherever the
            // window manager finds room.
            QWidget *w = nearHere ? Windows::get(QString::fromLatin1(window)) : nullptr;
            if (w && !w->isVisible() && !placeBeside(w, this))
                placeOver(w, this);
            Windows::show(QString::fromLatin1(window));
        };
    };
    onClick("Label2", flashThenShow("WriteForm"));
    onClick("Label6", flashThenShow("FriendForm"));
    onClick("Label20", flashThenShow("SetForm", true));
    onClick("Label3", [this](QWidget *) {
        if (autoCheck_ && !autoCheck_->inAutomaticCheck() && !mail::isCheckRunning())
            autoCheck_->manualCheckStarted();
        mail::receiveLabelClicked();
    });
    onClick("Label4", [](QWidget *lb) { mail::openHistoryWindow(mail::HistoryKind::Received, lb); });
    onClick("Label5", [](QWidget *lb) { mail::openHistoryWindow(mail::HistoryKind::Sent, lb); });
    onClick("Label7", [this](QWidget *lb) {
        QPointer<QWidget> guard(lb);
        flashLabel(lb);
        if (guard)
            openUserGuide();
    });
    onClick("Label8", [this](QWidget *lb) {
        QPointer<QWidget> guard(lb);
        flashLabel(lb);
        if (guard)
            setWindowState(windowState() | Qt::WindowMinimized);
    });

    // For the keyboard: the launchers from top to bottom, then the small
    // buttons from top to bottom, each with its access key.
    const struct {
        const char *name;
        char key;
    } keyboard[] = {
        {"Label2", 'N'},  {"Label3", 'R'},  {"Label4", 'I'},  {"Label5", 'S'},  {"Label6", 'A'},
        {"Label10", 'M'}, {"Label11", 'G'}, {"Label24", 'B'}, {"Label23", 'P'}, {"Label20", 'T'},
        {"Label14", 'F'}, {"Label13", 'E'}, {"Label7", 'H'},  {"Label8", 'W'},
    };
    QWidget *previous = nullptr;
    for (const auto &k : keyboard) {
        auto *lb = findChild<ClickLabel *>(QString::fromLatin1(k.name));
        if (!lb)
            continue;
        lb->setFocusPolicy(Qt::StrongFocus);
        lb->setAccessKey(QChar::fromLatin1(k.key));
        if (previous)
            setTabOrder(previous, lb);
        previous = lb;
    }

    for (const Hint &h : Hints) {
        QWidget *w = findChild<QWidget *>(QString::fromLatin1(h.control));
        if (!w)
            continue;
        if (auto *lb = qobject_cast<ClickLabel *>(w); lb && h.text) {
            const QString text = QString::fromUtf16(h.text);
            connect(lb, &ClickLabel::hovered, this, [this, text] { showHint(text); });
        } else {
            w->installEventFilter(this);
        }
    }
}

bool Mainform::eventFilter(QObject *watched, QEvent *event)
{
    // The map, the background and the notes box hide the hint.
    if (event->type() == QEvent::Enter)
        hideHint();
    return QWidget::eventFilter(watched, event);
}

void Mainform::showHint(const QString &text)
{
    makeTextBoxes();
    hintBox_->setPlainText(text);
    hintBox_->setVisible(true);
    fitHintBox();
}

void Mainform::fitHintBox()
{
    // The box keeps its design width and bottom edge and grows upwards until
    // the whole hint shows: the mouse rests on a launcher while the hint is
    // read, so there is no way to scroll it.
    const QRect design = twipsRect(HintLeft, HintTop, HintWidth, HintHeight);
    const int frame = hintBox_->frameWidth();
    QTextDocument doc;
    doc.setDefaultFont(hintBox_->font());
    doc.setDocumentMargin(hintBox_->document()->documentMargin());
    doc.setPlainText(hintBox_->toPlainText());
    doc.setTextWidth(design.width() - 2 * frame);
    const int need = int(std::ceil(doc.size().height())) + 2 * frame;
    const int limit = design.bottom() + 1;
    int height = std::min(std::max(design.height(), need), limit);
    hintBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setGeometry(design.left(), design.bottom() + 1 - height, design.width(), height);
    // The box's own layout has the last word where it is laid out (a shown
    // window): a line more while any line is still hidden.
    const int line = QFontMetrics(hintBox_->font()).lineSpacing();
    while (hintBox_->verticalScrollBar()->maximum() > 0 && height < limit) {
        height = std::min(height + line, limit);
        hintBox_->setGeometry(design.left(), design.bottom() + 1 - height, design.width(), height);
    }
    hintBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void Mainform::hideHint()
{
    if (hintBox_)
        hintBox_->setVisible(false);
}

QString Mainform::clockText(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy/MM/dd  HH:mm:ss"));
}

void Mainform::refreshClock()
{
    if (auto *text6 = findChild<QLineEdit *>(QStringLiteral("Text6")))
        text6->setText(clockText(QDateTime::currentDateTime()));
}

void Mainform::startUp()
{
    findChild<QWidget *>(QStringLiteral("Image2"))->setVisible(true);
    findChild<QWidget *>(QStringLiteral("Image5"))->setVisible(true);
    findChild<QWidget *>(QStringLiteral("Label10"))->setEnabled(false);
    findChild<QWidget *>(QStringLiteral("Label11"))->setEnabled(true);
    hideHint();

    // The compose window is loaded hidden, its fortune option off, once this
    // window has been drawn. Whatever wants it before then (a mailto: link
    // among the arguments, a click on 新規作成) loads it where it asks.
    afterFirstFrame(this, [] {
        // A reply left unsent by the last run is shown again at once.
        if (compose::loadDraft(compose::DraftKind::Reply) && Windows::isRegistered(QStringLiteral("BackForm")))
            Windows::show(QStringLiteral("BackForm"));
        if (Windows::loaded(QStringLiteral("WriteForm")))
            return;
        if (QWidget *compose = Windows::get(QStringLiteral("WriteForm"))) {
            if (auto *fortune = compose->findChild<QAbstractButton *>(QStringLiteral("Check1")))
                fortune->setChecked(false);
            // A mail left unsent by the last run is shown again at once.
            if (auto *form = qobject_cast<compose::WriteForm *>(compose); form && form->reopenedDraft())
                Windows::show(QStringLiteral("WriteForm"));
        }
    });

    settings::loadServerSettings();
    nmail::NMailInitializeWinSock();
    nmail::NMailSetOption(1, 8192);

    if (settings::serverSettings().pop3Server.isEmpty())
        Windows::show(QStringLiteral("OptionForm"));

    mail::recoverProgressCounter();
    pilgrimage::showStartingMap();
    pilgrimage::setCompletionFromShownTemple();
}

void Mainform::showCentred()
{
    // The server settings of the first start stand beside the window, the
    // two centred together where the screen has room for both.
    QWidget *options = Windows::loaded(QStringLiteral("OptionForm"));
    if (options && !options->isVisible())
        options = nullptr;
    if (QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        if (options) {
            const int besideWidth = options->frameGeometry().width() + 8;
            if (frame.width() + besideWidth <= area.width())
                frame.moveLeft(area.left() + (area.width() - frame.width() - besideWidth) / 2);
        }
        move(frame.topLeft());
    }
    show();
    raise();
    if (options)
        placeBeside(options, this);
    activateWindow();
}

void Mainform::closeEvent(QCloseEvent *event)
{
    // The program ends at once: the other windows vanish without their own
    // closing steps, and nothing is written. The mail transport is ended
    // when the event loop has stopped (endProgram), so that a mail check
    // still finishing its network call never loses its library under it.
    event->accept();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this)
            w->hide();
    }
    QCoreApplication::exit(0);
}

void registerMainform()
{
    Windows::registerFactory(QStringLiteral("Mainform"), [] { return new Mainform; });
}

}  // namespace korvane::app
