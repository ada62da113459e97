#pragma once

// What every page does with a failure: show its message in a message box
// (through the user-interface hook that the program installs) and delete it.
// A cancelled action is no failure: it just stops.
#include "Progress.h"

#include <KelException.h>
#include <platform/StringW.h>

namespace kelbench {

// Message box type and answer beyond those of the platform layer, as the
// framework numbers them.
constexpr UINT kMbOkCancel = 0x1;
constexpr UINT kMbIconQuestion = 0x20;

void ShowAndDelete(CKelException* e);

// Runs `step`; a CKelException it raises is shown and deleted, a
// cancellation ends it quietly. True when the step ran through.
template <typename Step>
bool RunShowingFailure(Step step)
{
    try {
        step();
        return true;
    } catch (CKelException* e) {
        ShowAndDelete(e);
        return false;
    } catch (SCancelled) {
        return false;
    }
}

// Rebuilding a buffer from typed text: a text that cannot be read shows its
// message once, not again on every keystroke while it stays unreadable.
class CTypedTextFailure {
public:
    template <typename Step>
    bool Run(Step step)
    {
        try {
            step();
            m_bShown = false;
            return true;
        } catch (CKelException* e) {
            if (m_bShown)
                e->Delete();
            else
                ShowAndDelete(e);
            m_bShown = true;
            return false;
        }
    }

private:
    bool m_bShown = false;
};

// Asks before a save replaces an existing file that the user did not choose
// in a dialog; true when there is no such file or the user agrees.
bool ConfirmReplace(const CStringW& fileName);

// The status text after a save to `fileName`.
CStringW SavedStatus(const CStringW& fileName);

} // namespace kelbench
