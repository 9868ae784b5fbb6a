#include "window/form1.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <utility>

#include "convert/convert.h"
#include "extraction/extraction.h"
#include "saving/saving.h"
#include "settings/settings.h"
#include "textfile/textfile.h"
#include "window/font_dialog.h"
#include "window/set_top_most.h"
#include "window/text_area.h"

// The icon lives in this library's resources; a static library needs them
// registered by hand.
static void initWindowResources() {
    Q_INIT_RESOURCE(window);
}

namespace sorimba {
namespace {

const QString kCaption = QStringLiteral("!Sorimba");
const QString kHint = QStringLiteral("[ Weekly Piko2 ] をドラッグドロップして下さい");
const QString kWindowFont = QStringLiteral("ＭＳ ゴシック");
const QString kNotFound = QStringLiteral("取り込めませんでした");

// Captions of the option items, in item order, and their first-built states.
const std::array<QString, kOptionCount> kOptionCaptions = {
    QStringLiteral("取り込んだ後クリップボードにコピー"),
    QStringLiteral("「●タイトル」も取り込む"),
    QStringLiteral("「◇これに一票」も取り込む"),
    QStringLiteral("「スタッフのひとこと」を取り込む"),
    QStringLiteral("「ぴこぴこについて」を取り込む"),
    QStringLiteral("常に手前に表示"),
    QStringLiteral("文章連結"),
    QStringLiteral("取り込んだ後すぐ保存"),
    QStringLiteral("保存確認メッセージ"),
};
constexpr std::array<bool, kOptionCount> kOptionDefaults = {false, false, false, false, false,
                                                            true,  false, false, true};

// Measures in twips (left, top, width, height within the client area).
constexpr double kButtonTop = 120;
constexpr double kButtonWidth = 1275;
constexpr double kButtonHeight = 435;
constexpr double kTextLeft = 60;
constexpr double kTextTop = 660;
constexpr double kTextWidth = 6915;
constexpr double kTextHeight = 5055;
constexpr double kClientWidth = 7065;
constexpr double kClientHeight = 5820;
// The text area ends this far short of the client area's right and bottom.
constexpr double kRightMargin = 165;
constexpr double kBottomMargin = 765;

// Faces of the Windows desktop shown with the Japanese faces installed here
// (fonts-ipafont-gothic and friends). The stored name itself is kept.
void installFontFallbacks() {
    const QStringList gothic = {QStringLiteral("IPAGothic"),
                                QStringLiteral("IPAゴシック"),
                                QStringLiteral("Noto Sans Mono CJK JP"),
                                QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("VL Gothic"),
                                QStringLiteral("TakaoGothic")};
    const QStringList pGothic =
        QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")} + gothic;
    const QStringList mincho = {QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"),
                                QStringLiteral("Noto Serif CJK JP"), QStringLiteral("TakaoMincho")};
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), gothic);
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"), gothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"), mincho);
    QFont::insertSubstitutions(QStringLiteral("MS Mincho"), mincho);
}

std::u16string_view view(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}

QString fromU16(const std::u16string& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

// Linux text ends its lines with LF; the program's text with CR LF.
QString withCrLf(const QString& text) {
    if (!text.contains(QLatin1Char('\n'))) return text;
    return fromU16(extraction::normaliseLineEnds(view(text)));
}

// The text of an issue file: UTF-16 or UTF-32 when it starts with their byte
// order mark, UTF-8 when it is valid UTF-8, otherwise code page 932.
QString decodeIssueFile(const QByteArray& bytes) {
    const auto marked = QStringConverter::encodingForData(bytes);
    if (marked && *marked != QStringConverter::Utf8) {
        QStringDecoder decoder(*marked, QStringConverter::Flag::Stateless);
        return decoder(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    return textfile::fromCp932(bytes);
}

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    initWindowResources();
    installFontFallbacks();

    setWindowTitle(kCaption);
    QIcon icon;
    icon.addFile(QStringLiteral(":/sorimba/icon-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/sorimba/icon-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    QFont font(kWindowFont);
    font.setPointSizeF(9);
    font.setWeight(QFont::Normal);
    setFont(font);

    auto* client = new QWidget(this);
    setCentralWidget(client);

    Command1 = makeButton(QStringLiteral("取り込み"), 60);
    Command4 = makeButton(QStringLiteral("保　存"), 1440);
    Command2 = makeButton(QStringLiteral("すべてコピー"), 2880);
    Command3 = makeButton(QStringLiteral("フォント"), 4260);
    Command4->setToolTip(QStringLiteral("右クリックで保存場所の変更"));

    Text1 = new TextArea(client);
    Text1->setGeometry(pixelsX(kTextLeft), pixelsY(kTextTop), pixelsX(kTextWidth),
                       pixelsY(kTextHeight));
    Text1->setCrLfText(kHint);
    Text1->onDrop = [this](const QMimeData& data) { Text1_OLEDragDrop(data); };

    setTabOrder(Command1, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);

    QMenu* options = menuBar()->addMenu(QStringLiteral("Option"));
    options->setFont(font);
    for (int i = 0; i < kOptionCount; ++i) {
        QAction* item = options->addAction(kOptionCaptions[std::size_t(i)]);
        item->setCheckable(true);
        item->setChecked(kOptionDefaults[std::size_t(i)]);
        mn[std::size_t(i)] = item;
        connect(item, &QAction::triggered, this, [this, i](bool checked) {
            // Qt flipped the mark already; mn_Click does the flipping.
            mn[std::size_t(i)]->setChecked(!checked);
            mn_Click(i);
        });
    }
    convertEntry = menuBar()->addAction(QStringLiteral("convert"));
    connect(convertEntry, &QAction::triggered, this, [this] { convert::menu_Click(*this, 1); });

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    Command4->installEventFilter(this);
    client->installEventFilter(this);

    // The client area at first start; the menu bar comes on top of it.
    resize(pixelsX(kClientWidth), pixelsY(kClientHeight) + menuBar()->sizeHint().height());
    Command1->setFocus();
}

Form1::~Form1() = default;

QPushButton* Form1::makeButton(const QString& caption, int left) {
    auto* button = new QPushButton(caption, centralWidget());
    button->setAutoDefault(false);
    button->setGeometry(pixelsX(left), pixelsY(kButtonTop), pixelsX(kButtonWidth),
                        pixelsY(kButtonHeight));
    return button;
}

int Form1::pixelsX(double twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}
int Form1::pixelsY(double twips) const {
    return qRound(twips * logicalDpiY() / 1440.0);
}
double Form1::twipsX(int pixels) const {
    return pixels * 1440.0 / logicalDpiX();
}
double Form1::twipsY(int pixels) const {
    return pixels * 1440.0 / logicalDpiY();
}

QWidget* Form1::clientArea() const {
    return centralWidget();
}

// --- Events -------------------------------------------------------------

void Form1::Command1_Click() {
    GetPikoZok(clipboardText());
}

void Form1::Command2_Click() {
    setClipboardText(text());
}

void Form1::Command3_Click() {
    DialogSettings& d = dialog();
    d.fontName = fontName();
    d.fontSize = fontSize();
    d.fontColour = textColour();
    if (!showFontDialog()) return;
    setFontName(d.fontName);
    setFontSize(d.fontSize);
    setTextColour(d.fontColour);
}

void Form1::Command4_Click() {
    saving::saveCommand(*this);
}

void Form1::Text1_OLEDragDrop(const QMimeData& data) {
    const std::optional<QString> issue = droppedText(data);
    if (!issue) return;  // nothing in it to import
    GetPikoZok(*issue);
    if (option(SaveAfterImport)) saving::saveCommand(*this);
}

std::optional<QString> Form1::droppedText(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        // Files from a file manager: the first .txt file among them.
        for (const QUrl& url : urls) {
            if (!url.isLocalFile()) continue;
            const QString path = url.toLocalFile();
            if (!path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) continue;
            // A file that cannot be read imports as an empty text, which
            // the extraction reports as not importable.
            if (textfile::fileKind(path) != textfile::FileKind::Regular ||
                QFileInfo(path).size() > kMaxDropFileBytes)
                return QString();
            QByteArray bytes;
            if (!textfile::readFile(path, &bytes).ok) return QString();
            return withCrLf(decodeIssueFile(bytes));
        }
        return std::nullopt;
    }
    if (data.hasText()) return withCrLf(data.text());
    return std::nullopt;
}

void Form1::GetPikoZok(const QString& issueText) {
    extraction::Options options;
    options.withTitles = option(WithTitles);
    options.withVotes = option(WithVotes);
    options.withStaffWord = option(WithStaffWord);
    options.withAbout = option(WithAbout);
    options.joinLines = option(JoinLines);
    const std::optional<std::u16string> clip = extraction::extractColumn(view(issueText), options);
    if (!clip) {
        message(kNotFound, Buttons::Ok);
        return;
    }
    setText(fromU16(*clip));
    if (option(CopyAfterImport)) setClipboardText(text());
    values().saved = 0;
}

void Form1::mn_Click(int index) {
    if (index < 0 || index >= kOptionCount) return;
    QAction* item = mn[std::size_t(index)];
    item->setChecked(!item->isChecked());
    if (index == AlwaysOnTop) SetTopMost(this, item->isChecked() ? 1 : 0);
}

void Form1::F_Rs() {
    const QWidget* client = clientArea();
    const int width = pixelsX(twipsX(client->width()) - kRightMargin);
    const int height = pixelsY(twipsY(client->height()) - kBottomMargin);
    Text1->resize(std::max(0, width), std::max(0, height));
}

bool Form1::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            applyPendingOuterSize();
            break;
        default:
            break;
    }
    return handled;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        F_Rs();
    } else if (watched == Command4 && event->type() == QEvent::MouseButtonPress &&
               Command4->isEnabled()) {
        int button = 0;
        switch (static_cast<QMouseEvent*>(event)->button()) {
            case Qt::LeftButton:
                button = 1;
                break;
            case Qt::RightButton:
                button = 2;
                break;
            case Qt::MiddleButton:
                button = 4;
                break;
            default:
                break;
        }
        if (button != 0) saving::Command4_MouseDown(*this, button);
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    settings::Form_QueryUnload(*this);
    event->accept();
}

// --- FormPort -----------------------------------------------------------

Answer Form1::message(const QString& text, Buttons buttons) {
    return CommonDialog1.message(this, text, buttons);
}

bool Form1::showOpenDialog() {
    return CommonDialog1.showOpen(this);
}

bool Form1::showFontDialog() {
    return CommonDialog1.showFont(this);
}

QString Form1::text() const {
    return Text1->crLfText();
}

void Form1::setText(const QString& text) {
    Text1->setCrLfText(text);
}

bool Form1::option(int index) const {
    if (index < 0 || index >= kOptionCount) return false;
    return mn[std::size_t(index)]->isChecked();
}

void Form1::setOption(int index, bool checked) {
    if (index < 0 || index >= kOptionCount) return;
    mn[std::size_t(index)]->setChecked(checked);
}

void Form1::setSaveEnabled(bool enabled) {
    Command4->setEnabled(enabled);
}

double Form1::outerWidth() const {
    return twipsX(frameGeometry().width());
}

double Form1::outerHeight() const {
    return twipsY(frameGeometry().height());
}

bool Form1::setOuterWidth(double twips) {
    return setOuterSize(twips, std::nullopt);
}

bool Form1::setOuterHeight(double twips) {
    return setOuterSize(std::nullopt, twips);
}

bool Form1::setOuterSize(std::optional<double> widthTwips, std::optional<double> heightTwips) {
    const auto acceptable = [](double twips) {
        return std::isfinite(twips) && twips >= kMinOuterTwips && twips <= kMaxOuterTwips;
    };
    if ((widthTwips && !acceptable(*widthTwips)) || (heightTwips && !acceptable(*heightTwips)))
        return false;

    // The frame (title bar, borders) is the window manager's; its size is
    // known only once the window is shown and framed.
    const QSize frame = frameGeometry().size() - size();
    QSize inner = size();
    if (widthTwips) inner.setWidth(std::max(1, pixelsX(*widthTwips) - frame.width()));
    if (heightTwips) inner.setHeight(std::max(1, pixelsY(*heightTwips) - frame.height()));
    resize(inner);
    if (!isVisible()) {
        if (widthTwips) pendingOuterWidth_ = widthTwips;
        if (heightTwips) pendingOuterHeight_ = heightTwips;
    }
    return true;
}

void Form1::applyPendingOuterSize() {
    if (!pendingOuterWidth_ && !pendingOuterHeight_) return;
    if (!isVisible() || frameGeometry().size() == size()) return;  // not framed yet
    const std::optional<double> width = std::exchange(pendingOuterWidth_, std::nullopt);
    const std::optional<double> height = std::exchange(pendingOuterHeight_, std::nullopt);
    if (isMaximized() || isFullScreen() || isMinimized()) return;
    setOuterSize(width, height);
}

QString Form1::fontName() const {
    return Text1->font().family();
}

double Form1::fontSize() const {
    return Text1->font().pointSizeF();
}

bool Form1::setFontName(const QString& name) {
    if (name.trimmed().isEmpty() || name.size() > 255) return false;
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; }))
        return false;
    QFont font = Text1->font();
    font.setFamily(name);
    Text1->setFont(font);
    return true;
}

bool Form1::setFontSize(double points) {
    if (!std::isfinite(points) || points > FontDialog::kMaxSize) return false;
    // Sizes are kept to four decimals.
    const double kept = std::round(points * 10000) / 10000;
    if (kept <= 0) return false;
    QFont font = Text1->font();
    font.setPointSizeF(kept);
    Text1->setFont(font);
    return true;
}

bool Form1::setTextColour(std::int32_t colourCode) {
    const std::optional<QColor> colour = colourOfCode(colourCode);
    if (!colour) return false;
    QPalette palette = Text1->palette();
    palette.setColor(QPalette::Active, QPalette::Text, *colour);
    palette.setColor(QPalette::Inactive, QPalette::Text, *colour);
    Text1->setPalette(palette);
    textColour_ = colourCode;
    return true;
}

std::int32_t Form1::setTopMost(int mode) {
    return SetTopMost(this, mode);
}

QString Form1::clipboardText() const {
    return withCrLf(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
}

void Form1::setClipboardText(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(lines, QClipboard::Clipboard);
}

}  // namespace sorimba
