#include "KelFramework.h"

#include "KelHTMLParser.h"

int CKelFramework::CheckUpdate(const wchar_t* path, int encoding)
{
    CKelHTMLParser parser;
    parser.GetHTML(path, encoding);
    parser.Parsing();
    return 1;
}
