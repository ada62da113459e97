#pragma once

// CPageBase64Encoding: the fields and actions of the "Base64 Encoding" page.
// It keeps a byte buffer, shows it in the input box in one of three views and
// encodes it. The widget copies its controls into the fields before an action
// ("reading the fields") and shows the fields after it.
#include "ByteBuffer.h"
#include "PageSupport.h"
#include "Progress.h"

#include <platform/StringW.h>

class CPageBase64Encoding {
public:
    // Suffix of the file that "File Save" writes beside the loaded file.
    static constexpr const wchar_t* kSaveSuffix = L".base64.enc";

    // Fields bound to the controls.
    CStringW m_strPath;   // file the buffer was loaded from (read-only box)
    CStringW m_strInput;  // the buffer in the chosen view, or typed text
    CStringW m_strOutput; // the Base64 text
    int m_nView = 0;      // 0 "Unicode", 1 "MBCS", 2 "Raw Data"
    CStringW m_strStatus; // what the last save did

    // Told of the progress of loading and saving; none by default.
    kel::bench::CProgress* m_pProgress = nullptr;

    const CByteBuffer& Buffer() const { return m_buffer; }

    // "File Open" chose a file, or the path box changed: load the file named
    // by m_strPath and show it in "Raw Data". A file that cannot be opened,
    // or a cancelled load, changes nothing.
    void LoadPath() { _Load(); }
    // The same for a file the user chose; a cancelled load also keeps the
    // path that was shown.
    void Open(const CStringW& path);
    // The user edited the input box: clear the path and rebuild the buffer
    // from the text by the current view. An empty text keeps the buffer.
    void InputChanged();
    // A view button was clicked (m_nView already holds the new view).
    void ViewChanged();
    // "Encoding": the Base64 text of the buffer into the output box.
    void Encode();
    // The name "File Save" writes to without asking; empty when the user
    // must choose one.
    CStringW SaveFileName() const;
    // Writes the Base64 text of the buffer as UTF-16 text with a byte-order
    // mark, replacing `fileName`, and says so in the status. Nothing is
    // written for an empty input; a cancelled save leaves the file as it was.
    // True when the file was written.
    bool Save(const CStringW& fileName);

private:
    kel::bench::StepResult _Load();
    void _ShowBuffer();

    CByteBuffer m_buffer;
    kel::bench::CTypedTextFailure m_typedFailure;
};
