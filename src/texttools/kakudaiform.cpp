#include "kakudaiform.h"

#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace korvane::texttools {
namespace {

QWidget *band(QWidget *parent, const char *name, int index, const QColor &colour)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QString::fromLatin1(name));
    if (index >= 0)
        w->setProperty("index", index);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    return w;
}

QLabel *arrayLabel(QWidget *parent, const QString &text, int index)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("Label2"));
    l->setProperty("index", index);
    return l;
}

// Blank lines and blanks before and after the body; blanks inside stay, and
// so does a full-width space that indents the first line.
QString trimBlankEdges(const QString &text)
{
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    qsizetype begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

int toTwips(int pixels)
{
    return pixels * 15;
}

}  // namespace

KakudaiForm::KakudaiForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("KakudaiForm"));
    setWindowTitle(QStringLiteral("拡大フォーム"));
    setAttribute(Qt::WA_DeleteOnClose);  // the next opening starts again at size 12

    titleBand_ = band(this, "Picture8", -1, QColor(200, 230, 250));
    sizeBand_ = band(this, "Picture1", 3, QColor(225, 240, 250));
    dateBand_ = band(this, "Picture2", 4, QColor(240, 248, 255));

    titleLabel_ = new QLabel(QStringLiteral("拡大フォーム"), this);
    titleLabel_->setObjectName(QStringLiteral("Label18"));
    titleLabel_->setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 14, true));
    noteLabel_ = new QLabel(QStringLiteral("この拡大フォームでは、メニューバー（ファイル他）の操作は出来ません。"), this);
    noteLabel_->setObjectName(QStringLiteral("Label19"));

    auto *sizeLabel = new QLabel(QStringLiteral("文字サイズ"), this);
    sizeLabel->setObjectName(QStringLiteral("Label1"));
    sizeBox_ = new QLineEdit(QString::number(InitialSize), this);
    sizeBox_->setObjectName(QStringLiteral("Text22"));
    sizeBox_->setReadOnly(true);  // only the arrows change the size
    sizeBox_->setAlignment(Qt::AlignRight);

    sizeSpinner_ = new QWidget(this);
    sizeSpinner_->setObjectName(QStringLiteral("UpDown1"));
    auto *arrows = new QVBoxLayout(sizeSpinner_);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    sizeUpArrow_ = new QToolButton(sizeSpinner_);
    sizeUpArrow_->setObjectName(QStringLiteral("UpDown1Up"));
    sizeUpArrow_->setArrowType(Qt::UpArrow);
    sizeUpArrow_->setAutoRepeat(true);
    sizeDownArrow_ = new QToolButton(sizeSpinner_);
    sizeDownArrow_->setObjectName(QStringLiteral("UpDown1Down"));
    sizeDownArrow_->setArrowType(Qt::DownArrow);
    sizeDownArrow_->setAutoRepeat(true);
    for (QToolButton *b : {sizeUpArrow_, sizeDownArrow_}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        arrows->addWidget(b);
    }
    connect(sizeUpArrow_, &QToolButton::clicked, this, &KakudaiForm::sizeUp);
    connect(sizeDownArrow_, &QToolButton::clicked, this, &KakudaiForm::sizeDown);

    selectAllButton_ = new QPushButton(QStringLiteral("全て選択"), this);
    selectAllButton_->setObjectName(QStringLiteral("Command28"));
    connect(selectAllButton_, &QPushButton::clicked, this, &KakudaiForm::selectWholeBody);

    subjectLabel_ = arrayLabel(this, QStringLiteral("件名"), 7);
    subject_ = new QLineEdit(this);
    subject_->setObjectName(QStringLiteral("Text24"));
    senderLabel_ = arrayLabel(this, QStringLiteral("差出人"), 5);
    sender_ = new QLineEdit(this);
    sender_->setObjectName(QStringLiteral("Text25"));
    dateLabel_ = arrayLabel(this, QStringLiteral("日付"), 6);
    date_ = new QLineEdit(this);
    date_->setObjectName(QStringLiteral("Text46"));
    bodyLabel_ = arrayLabel(this, QStringLiteral("本文"), 4);
    body_ = new QPlainTextEdit(this);
    body_->setObjectName(QStringLiteral("Text15"));
    body_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (QLineEdit *e : {subject_, sender_, date_})
        e->setReadOnly(true);
    body_->setReadOnly(true);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);

    // Design positions in twips.
    placeTwips(titleBand_, 0, 0, 9600, 600);
    placeTwips(titleLabel_, 120, 60, 2400, 480);
    placeTwips(noteLabel_, 2640, 180, 6900, 300);
    placeTwips(sizeBand_, 0, 600, 9600, 420);
    placeTwips(sizeLabel, 120, 675, 1000, 270);
    placeTwips(sizeBox_, 1140, 645, 600, 315);
    placeTwips(sizeSpinner_, 1740, 645, 255, 315);
    placeTwips(selectAllButton_, 2160, 630, 1335, 345);
    placeTwips(subjectLabel_, 0, 1095, 720, 300);
    placeTwips(subject_, 720, 1050, 8775, 375);
    placeTwips(senderLabel_, 0, 1485, 720, 300);
    placeTwips(sender_, 720, 1440, 4815, 375);
    placeTwips(dateBand_, 5535, 1440, 3960, 375);
    placeTwips(dateLabel_, 5595, 1485, 600, 300);
    placeTwips(date_, 6195, 1440, 3300, 375);
    placeTwips(bodyLabel_, 0, 1830, 720, 240);
    placeTwips(body_, 0, 2070, 9500, 4000);

    applyFontSize(InitialSize);
    resize(twips(9600), twips(7200));
}

int KakudaiForm::fontSize() const
{
    return int(leadingNumber(sizeBox_->text()));
}

void KakudaiForm::applyFontSize(int size)
{
    sizeBox_->setText(QString::number(size));
    for (QWidget *w : std::initializer_list<QWidget *>{body_, date_, subject_, sender_})
        w->setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), size));
    placeRows();
}

void KakudaiForm::placeRows()
{
    layoutToSize();
}

void KakudaiForm::sizeUp()
{
    int size = fontSize();
    if (size < MaximumSize)
        applyFontSize(size + 1);
}

void KakudaiForm::sizeDown()
{
    int size = fontSize();
    if (size > MinimumSize)
        applyFontSize(size - 1);
}

void KakudaiForm::selectWholeBody()
{
    body_->setFocus();
    body_->selectAll();
}

void KakudaiForm::showMail(const QString &body, const QString &subject, const QString &sender, const QString &date)
{
    body_->setPlainText(trimBlankEdges(body));
    date_->setText(date);
    subject_->setText(subject);
    sender_->setText(sender);
    for (QLineEdit *box : {subject_, sender_, date_}) {
        box->setCursorPosition(0);
        box->setToolTip(box->text());  // the whole text on a hover as well
    }
    layoutToSize();
}

void KakudaiForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutToSize();
}

namespace {

// The width a box needs to show its whole text in a font.
int widthFor(const QLineEdit *box, const QFont &font)
{
    const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
    const QMargins m = box->textMargins() + box->contentsMargins();
    return QFontMetrics(font).horizontalAdvance(box->text()) + 2 * frame + m.left() + m.right() + 6;
}

}  // namespace

void KakudaiForm::layoutToSize()
{
    const QSize outer = frameGeometry().size();
    const int w = toTwips(outer.width());
    const int h = toTwips(outer.height());

    auto *status = findChild<QStatusBar *>(QStringLiteral("StatusBar1"));
    if (status)
        status->setGeometry(0, height() - twips(300), width(), twips(300));

    titleBand_->resize(width(), titleBand_->height());
    sizeBand_->resize(width(), sizeBand_->height());

    // The subject, sender and date boxes widen with the window, in the
    // design's proportions, so that large type has room to show. Where the
    // sender and the date do not fit side by side, each takes a row of its
    // own; a text that still does not fit its row is drawn smaller, down to
    // the smallest size, so that it shows whole.
    const int rowLeft = subject_->x();
    const int row = std::max(twips(8775), width() - rowLeft - 4);
    const int senderWidth = row * 4815 / 8775;
    const int dateLeft = rowLeft + row * (4815 + 660) / 8775;
    const int dateWidth = rowLeft + row - dateLeft;
    const QFont chosen = designFont(QStringLiteral("ＭＳ Ｐゴシック"), fontSize());
    const bool stacked = widthFor(sender_, chosen) > senderWidth || widthFor(date_, chosen) > dateWidth;
    auto fitFont = [&](QLineEdit *box, int room) {
        QFont f = chosen;
        while (f.pointSize() > MinimumSize && widthFor(box, f) > room)
            f.setPointSize(f.pointSize() - 1);
        if (box->font() != f)
            box->setFont(f);
    };
    fitFont(subject_, row);
    fitFont(sender_, stacked ? row : senderWidth);
    fitFont(date_, stacked ? row : dateWidth);

    int rowHeight = twips(375);
    for (QLineEdit *box : {subject_, sender_, date_})
        rowHeight = std::max(rowHeight, box->sizeHint().height());
    const int gap = twips(15);
    const int subjectTop = twips(1050);
    const int senderTop = subjectTop + rowHeight + gap;
    const int dateTop = stacked ? senderTop + rowHeight + gap : senderTop;
    subject_->setGeometry(rowLeft, subjectTop, row, rowHeight);
    sender_->setGeometry(rowLeft, senderTop, stacked ? row : senderWidth, rowHeight);
    if (stacked) {
        dateBand_->setGeometry(0, dateTop, rowLeft + row, rowHeight);
        date_->setGeometry(rowLeft, dateTop, row, rowHeight);
    } else {
        dateBand_->setGeometry(rowLeft + senderWidth, senderTop, row - senderWidth, rowHeight);
        date_->setGeometry(dateLeft, senderTop, dateWidth, rowHeight);
    }
    auto centre = [](QLabel *label, int left, int top, int height) {
        label->move(left, top + (height - label->height()) / 2);
    };
    centre(subjectLabel_, subjectLabel_->x(), subjectTop, rowHeight);
    centre(senderLabel_, senderLabel_->x(), senderTop, rowHeight);
    centre(dateLabel_, stacked ? senderLabel_->x() : rowLeft + senderWidth + twips(60), dateTop, rowHeight);
    const int bodyLabelTop = dateTop + rowHeight + twips(15);
    bodyLabel_->move(bodyLabel_->x(), bodyLabelTop);
    body_->move(body_->x(), bodyLabelTop + bodyLabel_->height());

    body_->resize(twips(w - 100), body_->height());
    if (h > 2500) {
        int bodyHeight = h - toTwips(sender_->height()) - toTwips(titleBand_->height()) -
                         toTwips(subject_->height()) - toTwips(sizeBand_->height()) - 700;
        if (stacked)
            bodyHeight -= toTwips(date_->height() + gap);
        // Never under the status bar, whatever the window frame takes.
        int room = (status ? status->y() : height()) - body_->y();
        body_->resize(body_->width(), std::max(0, std::min(twips(bodyHeight), room)));
        body_->show();
    } else {
        body_->hide();
    }
}

KakudaiForm *openEnlargedView(const QString &editorText, const QString &subject, const QString &sender,
                              const QString &date)
{
    if (!Windows::isRegistered(QStringLiteral("KakudaiForm")))
        Windows::registerFactory(QStringLiteral("KakudaiForm"), [] { return new KakudaiForm; });
    putProgramTextOnClipboard(editorText);  // the mail, as the history puts it there
    auto *form = Windows::get<KakudaiForm>(QStringLiteral("KakudaiForm"));
    if (!form)
        return nullptr;
    form->showMail(editorText, subject, sender, date);
    Windows::show(QStringLiteral("KakudaiForm"));
    return form;
}

}  // namespace korvane::texttools
