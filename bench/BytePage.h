#pragma once

// CBytePage: what the three byte-buffer pages ("Base64 Encoding", "Base64
// Decoding", "Hash") share: the path, input and output fields, the view of
// the buffer, loading a file and showing the buffer in one of its three
// views within the display limit. A page names the box that shows its
// buffer and the message shown when the buffer is too long for it.
#include "ByteBuffer.h"
#include "FileBytes.h"
#include "PageSupport.h"
#include "Progress.h"

#include <platform/StringW.h>

class CBytePage {
public:
    CStringW m_strPath;   // file the buffer (or the text) was loaded from
    CStringW m_strInput;  // the input box
    CStringW m_strOutput; // the output box
    int m_nView = 0;      // 0 "Unicode", 1 "MBCS", 2 "Raw Data"

    // Told of the progress of loading, working and saving; none by default.
    kel::bench::CProgress* m_pProgress = nullptr;

    virtual ~CBytePage() = default;
    CBytePage(const CBytePage&) = delete;
    CBytePage& operator=(const CBytePage&) = delete;

    const CByteBuffer& Buffer() const { return m_buffer; }

    // "File Open" chose a file, or the path box changed: load the file named
    // by m_strPath. A cancelled load changes nothing.
    void LoadPath() { _Load(); }
    // The same for a file the user chose; a cancelled load also keeps the
    // path that was shown.
    void Open(const CStringW& path);
    // A view button was clicked (m_nView already holds the new view): the
    // buffer is shown again when its box shows anything.
    void ViewChanged();

protected:
    enum class BufferBox { kInput, kOutput };
    CBytePage(BufferBox box, const wchar_t* tooLong) : m_box(box), m_pTooLong(tooLong) {}

    virtual kel::bench::StepResult _Load() = 0;
    // The file named by m_strPath into the buffer, each block also passed to
    // `onBlock`, then shown in "Raw Data". `loaded` is false when the file
    // could not be opened (the page is then as it was).
    kel::bench::StepResult _LoadBuffer(bool& loaded, const kel::bench::BlockSink& onBlock = {});
    // The buffer in the chosen view into its box (or the page's message).
    void _ShowBuffer();
    // The input box's text read back into the buffer by the chosen view; a
    // text that cannot be read leaves the buffer empty and is told once.
    void _BufferFromInput();

    CByteBuffer m_buffer;

private:
    CStringW& _BufferText() { return m_box == BufferBox::kInput ? m_strInput : m_strOutput; }

    BufferBox m_box;
    const wchar_t* m_pTooLong;
    kel::bench::CTypedTextFailure m_typedFailure;
};
