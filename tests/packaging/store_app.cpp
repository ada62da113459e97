// A one-file application of the database library, built with
// `pkg-config --cflags --libs kelstore`.
#include <KelStore/KelDatabaseOleDB.h>

#include <cstdio>

int main()
{
    CKelDatabaseOleDB database(L"db.example", L"sales", L"anna", L"secret");
    const CString text = database.GetDbConnString();
    std::printf("%ls\n", text.GetString());
    return text.Find(L"Data Source=db.example;") >= 0 && text.Find(L"Initial Catalog=sales;") >= 0 ? 0 : 1;
}
