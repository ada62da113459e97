#pragma once

// What every page does with a failure: show its message in a message box
// (through the user-interface hook that the program installs) and delete it.
#include <KelException.h>

namespace kelbench {

void ShowAndDelete(CKelException* e);

// Runs `step`; a CKelException it raises is shown and deleted. True when
// the step ran through.
template <typename Step>
bool RunShowingFailure(Step step)
{
    try {
        step();
        return true;
    } catch (CKelException* e) {
        ShowAndDelete(e);
        return false;
    }
}

} // namespace kelbench
