// A value file of the per-user registry store with arbitrary contents, as a
// damaged or hostile store would hold it: reading it gives a value or a
// clean failure, never a crash or an overrun.
#include "KelRegistry.h"
#include "platform/RegistryStore.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A private store, in the working folder of the run, with one key holding
// one value; returns the value's file.
const std::string& ValueFile()
{
    static const std::string path = [] {
        const std::string root = std::filesystem::current_path() / ("registry-" + std::to_string(getpid()));
        setenv("KEL_REGISTRY_ROOT", root.c_str(), 1);
        kel::platform::CRegKey key;
        if (key.Create(HKEY_CURRENT_USER, L"Software\\Fuzz") != 0 || key.SetString(L"Value", L"seed") != 0)
            std::abort();
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.is_regular_file())
                return entry.path().string();
        std::abort();
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    {
        std::ofstream out(ValueFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const CStringW text = CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\Fuzz", L"Value");
    if (text.GetLength() > 259)
        std::abort(); // read into 260 characters at most
    CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Software\\Fuzz", L"Value");

    kel::platform::CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, L"Software\\Fuzz") == 0) {
        DWORD type = 0;
        std::string bytes;
        key.ReadValue(L"Value", type, bytes);
        CStringW value;
        key.QueryString(L"Value", value);
        DWORD number = 0;
        key.QueryDword(L"Value", number);
    }
    return 0;
}
