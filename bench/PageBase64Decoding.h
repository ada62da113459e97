#pragma once

// CPageBase64Decoding: the fields and actions of the "Base64 Decoding" page.
// It takes Base64 text from a file or the input box, decodes it into a byte
// buffer and shows the bytes in one of three views.
#include "Base64Text.h"
#include "ByteBuffer.h"
#include "PageSupport.h"
#include "Progress.h"

#include <platform/StringW.h>

class CPageBase64Decoding {
public:
    static constexpr const wchar_t* kSaveSuffix = L".base64.dec";

    CStringW m_strPath;   // file the Base64 text was loaded from
    CStringW m_strInput;  // the Base64 text as shown (or the display message)
    CStringW m_strOutput; // the decoded bytes in the chosen view
    int m_nView = 0;      // 0 "Unicode", 1 "MBCS", 2 "Raw Data"
    CStringW m_strStatus; // what the last save did

    // Told of the progress of loading, decoding and saving; none by default.
    kel::bench::CProgress* m_pProgress = nullptr;

    const CByteBuffer& Buffer() const { return m_buffer; }
    const CBase64Text& Base64Text() const { return m_base64; }

    // "File Open" chose a file, or the path box changed: read the file named
    // by m_strPath as text. A file that cannot be opened gives empty text; a
    // cancelled load changes nothing.
    void LoadPath() { _Load(); }
    // The same for a file the user chose; a cancelled load also keeps the
    // path that was shown.
    void Open(const CStringW& path);
    // The user edited the input box: it is the Base64 text now.
    void InputChanged();
    // A view button was clicked (m_nView already holds the new view).
    void ViewChanged();
    // "Decoding": decode the Base64 text and show the bytes in "Raw Data".
    // Text that is not Base64 shows the library's message and keeps the old
    // output.
    void Decode();
    CStringW SaveFileName() const;
    // Writes the decoded bytes to `fileName`, replacing it, and says so in
    // the status; true when the file was written. A cancelled save leaves
    // the file as it was.
    bool Save(const CStringW& fileName);

private:
    kel::bench::StepResult _Load();
    void _ShowBuffer();

    CBase64Text m_base64;
    CByteBuffer m_buffer;
};
