#pragma once

// CPageBase64Encoding: the fields and actions of the "Base64 Encoding" page.
// It keeps a byte buffer, shows it in the input box in one of three views and
// encodes it. The widget copies its controls into the fields before an action
// ("reading the fields") and shows the fields after it.
#include "BytePage.h"

class CPageBase64Encoding : public CBytePage {
public:
    // Suffix of the file that "File Save" writes beside the loaded file.
    static constexpr const wchar_t* kSaveSuffix = L".base64.enc";

    // Beside the shared fields: m_strPath is a read-only box, m_strInput
    // shows the buffer in the chosen view (or typed text) and m_strOutput
    // the Base64 text. Loading a file shows it in "Raw Data"; a file that
    // cannot be opened, or a cancelled load, changes nothing.
    CStringW m_strStatus; // what the last save did

    CPageBase64Encoding();

    // The user edited the input box: clear the path and rebuild the buffer
    // from the text by the current view. An empty text keeps the buffer.
    void InputChanged();
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
    kel::bench::StepResult _Load() override;
};
