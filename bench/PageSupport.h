#pragma once

// What every page does with a failure: show its message in a message box
// (through the user-interface hook that the program installs) and delete it.
// A cancelled action is no failure: it just stops.
#include "Progress.h"

#include <KelException.h>
#include <platform/StringW.h>

namespace kel::bench {

// Message box type and answer beyond those of the platform layer, as the
// framework numbers them.
constexpr UINT kMbOkCancel = 0x1;
constexpr UINT kMbIconQuestion = 0x20;

void ShowAndDelete(CKelException* e);

enum class StepResult { kDone, kFailed, kCancelled };

// Runs `step`; a CKelException it raises is shown and deleted, a
// cancellation ends it quietly.
template <typename Step>
StepResult RunStep(Step step)
{
    try {
        step();
        return StepResult::kDone;
    } catch (CKelException* e) {
        ShowAndDelete(e);
        return StepResult::kFailed;
    } catch (SCancelled) {
        return StepResult::kCancelled;
    }
}

// The same; true when the step ran through.
template <typename Step>
bool RunShowingFailure(Step step)
{
    return RunStep(step) == StepResult::kDone;
}

// "File Open" chose `chosen`, or the path box changed to it: `path` takes
// it and `load` runs; a load the user cancelled puts the old path back,
// so the page is as it was.
template <typename Load>
void OpenPath(CStringW& path, const CStringW& chosen, Load load)
{
    const CStringW before = path;
    path = chosen;
    if (load() == StepResult::kCancelled)
        path = before;
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

} // namespace kel::bench
