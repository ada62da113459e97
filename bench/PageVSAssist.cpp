#include "PageVSAssist.h"

#include "PageSupport.h"

#include <KelInfoMachine.h>
#include <KelRegistry.h>

#include <cwchar>
#include <vector>

namespace {

struct SListKey {
    UINT button;
    const wchar_t* key;
};

// The Doxygen wizard keeps its settings through Qt under the organisation
// "Doxygen.org", so its recent list lives in Software\Doxygen.org\Doxywizard.
constexpr SListKey kListKeys[] = {
    { CPageVSAssist::kVS6Projects, L"Software\\Microsoft\\DevStudio\\6.0\\Projects" },
    { CPageVSAssist::kVS6Files, L"Software\\Microsoft\\DevStudio\\6.0\\Recent File List" },
    { CPageVSAssist::kVS2008Projects, L"Software\\Microsoft\\VisualStudio\\9.0\\ProjectMRUList" },
    { CPageVSAssist::kVS2008Files, L"Software\\Microsoft\\VisualStudio\\9.0\\FileMRUList" },
    { CPageVSAssist::kDoxygen, L"Software\\Doxygen.org\\Doxywizard\\recent" },
};

// Room for the deletion's working path: it appends the name of each sub-key
// level below the key, so it is sized for any depth, not for the key alone.
constexpr size_t kWorkingPathRoom = 32768;

} // namespace

const wchar_t* CPageVSAssist::KeyOf(UINT button)
{
    for (const SListKey& entry : kListKeys)
        if (entry.button == button)
            return entry.key;
    return nullptr;
}

void CPageVSAssist::ClearList(UINT button)
{
    const wchar_t* key = KeyOf(button);
    if (!key)
        return;
    std::vector<wchar_t> path(kWorkingPathRoom, L'\0');
    std::wcsncpy(path.data(), key, path.size() - 1);
    CKelRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, path.data());
}

void CPageVSAssist::ShowDiskId()
{
    kel::bench::RunShowingFailure([&] { m_strDiskId.Format(L"%lu", static_cast<unsigned long>(CKelInfoMachine::GenerateHDDID(nullptr))); });
}
