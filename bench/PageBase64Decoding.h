#pragma once

// CPageBase64Decoding: the fields and actions of the "Base64 Decoding" page.
// It takes Base64 text from a file or the input box, decodes it into a byte
// buffer and shows the bytes in one of three views.
#include "Base64Text.h"
#include "BytePage.h"

class CPageBase64Decoding : public CBytePage {
public:
    static constexpr const wchar_t* kSaveSuffix = L".base64.dec";

    // Beside the shared fields: m_strPath names the file the Base64 text was
    // loaded from, m_strInput shows the text (or the display message) and
    // m_strOutput the decoded bytes in the chosen view. Loading reads the
    // file as text: a file that cannot be opened gives empty text; a
    // cancelled load changes nothing.
    CStringW m_strStatus; // what the last save did

    CPageBase64Decoding();

    const CBase64Text& Base64Text() const { return m_base64; }

    // The user edited the input box: it is the Base64 text now.
    void InputChanged();
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
    kel::bench::StepResult _Load() override;

    CBase64Text m_base64;
};
