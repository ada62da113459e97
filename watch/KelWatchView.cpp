#include "KelWatchView.h"

#include "Resource.h"

#include "KelException.h"

#include <QFile>
#include <QFont>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimerEvent>

const QColor CKelWatchView::kTextColor(192, 192, 192);
const QColor CKelWatchView::kBackgroundColor(0, 0, 0);
const QString CKelWatchView::kFontFace = QStringLiteral("돋움체");

CKelWatchView::CKelWatchView(std::shared_ptr<CKelWatchDoc> document, QWidget* parent)
    : QPlainTextEdit(parent), m_document(std::move(document))
{
    // The edit view's defaults: long lines do not wrap.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Appends are not undoable, and drops go to the main frame (open a file).
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    _SetColours();
}

void CKelWatchView::OnInitialUpdate()
{
    setReadOnly(true);
    // Read-only keeps selecting and copying with mouse and keyboard.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    _SetDisplayFont();
    m_readTimer.start(kReadTimerPeriodMs, this);
}

int CKelWatchView::FontPixelHeight(int dotsPerInch)
{
    // 9 * dpi / 72, rounded half away from zero.
    return (9 * dotsPerInch + 36) / 72;
}

void CKelWatchView::_SetDisplayFont()
{
    QFont font;
    // "돋움체" where it exists, else a Korean monospace font through
    // fontconfig, so Hangul never shows as empty boxes.
    font.setFamilies({kFontFace, QStringLiteral("NanumGothicCoding"), QStringLiteral("D2Coding"),
                      QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(FontPixelHeight(logicalDpiY()));
    setFont(font);
}

void CKelWatchView::_SetColours()
{
    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Text, kTextColor);
        colours.setColor(group, QPalette::Base, kBackgroundColor);
    }
    setPalette(colours);
    setBackgroundVisible(false);
}

void CKelWatchView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_readTimer.timerId() || event->timerId() == m_catchUpTimer.timerId())
        OnTimer(kReadTimerId);
    else
        QPlainTextEdit::timerEvent(event);
}

void CKelWatchView::OnTimer(int /*timerId*/)
{
    m_catchUpTimer.stop();
    CStringW text;
    try {
        text = m_document->ReadCycle();
    } catch (CKelException* error) {
        error->Delete(); // a file error of this cycle; the next tick tries again
        return;
    }
    if (!text.IsEmpty())
        _Append(text);
    // A big file comes in slices; the next one follows as soon as the
    // window has handled its events, not 100 ms later.
    if (m_document->HasMore())
        m_catchUpTimer.start(0, this);
}

namespace {

// The text document starts a new line at every carriage return, but a
// carriage return inside a log line does not end it: such a one is shown as
// this symbol and written back as a carriage return (RawText).
constexpr char16_t kLoneCarriageReturn = u'\u240D';

// UTF-32 to UTF-16 without the decoder's habit of dropping a leading
// byte-order mark: the mark of the file is shown as the text has it.
QString ToQString(const CStringW& text)
{
    QString result;
    result.reserve(text.GetLength());
    const std::wstring& wide = text.str();
    for (size_t at = 0; at < wide.size(); ++at) {
        const auto value = static_cast<char32_t>(wide[at]);
        if (value == U'\r' && (at + 1 == wide.size() || wide[at + 1] != L'\n')) {
            result.append(QChar(kLoneCarriageReturn));
        } else if (value > 0xFFFF && value <= 0x10FFFF) {
            result.append(QChar(QChar::highSurrogate(value)));
            result.append(QChar(QChar::lowSurrogate(value)));
        } else {
            result.append(QChar(value <= 0xFFFF ? static_cast<char16_t>(value) : u'\uFFFD'));
        }
    }
    return result;
}

} // namespace

void CKelWatchView::_Append(const CStringW& text)
{
    // The document's text limit is 0, the largest: nothing is cut here.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock(); // the layout hears of the whole slice once
    cursor.insertText(ToQString(text));
    cursor.endEditBlock();
    setTextCursor(cursor); // the caret at the end scrolls the new lines into view
}

QString CKelWatchView::RawText() const
{
    // The raw text keeps no-break spaces and line separators, which the
    // plain text would turn into spaces and line feeds.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    text.replace(QChar(kLoneCarriageReturn), QLatin1Char('\r'));
    return text;
}

bool CKelWatchView::SaveText(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = RawText().toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

void CKelWatchView::PrintTo(QPrinter* printer) const
{
    document()->print(printer);
}
