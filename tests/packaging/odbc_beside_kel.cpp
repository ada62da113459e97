// Appended to a file that includes unixODBC's headers and every header of the
// toolkit, in one order or the other: both sets of names are usable side by
// side, and where both define a name it is one type.
#include <type_traits>

static_assert(std::is_same_v<ULONG, unsigned long> && std::is_same_v<DWORD, unsigned int>);

int main()
{
    SQLHENV environment = SQL_NULL_HENV;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment) != SQL_SUCCESS)
        return 1;
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    const ULONG address = CKelNetShare::getulIPbystrIP(L"10.0.0.1");
    const BOOL isNetworkOrder = address == 0x0100000Aul;
    return isNetworkOrder ? 0 : 2;
}
