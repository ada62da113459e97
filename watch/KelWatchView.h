#pragma once

// CKelWatchView: the read-only text view of one followed document. Its
// 100 ms timer runs the document's read cycle and appends the new lines at
// the end in one step, which scrolls to them. Light grey text on black in a
// 9-point Korean monospace font. Lives on the user-interface thread.
#include "KelWatchDoc.h"

#include <QBasicTimer>
#include <QPlainTextEdit>

#include <memory>

class QPrinter;

class CKelWatchView : public QPlainTextEdit {
    Q_OBJECT
public:
    static const QColor kTextColor;       // RGB(192, 192, 192)
    static const QColor kBackgroundColor; // black
    static const QString kFontFace;       // "돋움체"

    explicit CKelWatchView(std::shared_ptr<CKelWatchDoc> document, QWidget* parent = nullptr);

    // Read-only, the display font, and the timer that follows the file.
    void OnInitialUpdate();
    // One read cycle of the document; the text it brings is appended.
    void OnTimer(int timerId);

    CKelWatchDoc* GetDocument() const { return m_document.get(); }
    const std::shared_ptr<CKelWatchDoc>& SharedDocument() const { return m_document; }

    // The whole text as it would be written to a file: lines end in "\r\n".
    QString RawText() const;
    // Writes RawText as UTF-8; false when the file cannot be written.
    bool SaveText(const QString& path) const;
    void PrintTo(QPrinter* printer) const;

    // Pixel height of a 9-point font on a screen of `dotsPerInch`, rounded
    // as the platform's multiply-divide rounds.
    static int FontPixelHeight(int dotsPerInch);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void _SetDisplayFont();
    void _SetColours();
    void _Append(const CStringW& text);

    std::shared_ptr<CKelWatchDoc> m_document;
    QBasicTimer m_readTimer;
    QBasicTimer m_catchUpTimer; // an extra cycle at once while a big file loads
};
