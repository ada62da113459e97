#include "Command.h"

#include "CommandState.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cwchar>
#include <string>

using kel::store::ColumnValue;

namespace {

CStringW FormatDecimal(LONGLONG number)
{
    return CStringW(std::to_wstring(number));
}

CStringW FormatReal(double number)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return CStringW(std::wstring(buffer, result.ptr));
}

CStringW FormatReal(float number)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return CStringW(std::wstring(buffer, result.ptr));
}

CStringW FormatTimestamp(const DBTIMESTAMP& stamp)
{
    CStringW text;
    text.Format(L"%04d-%02u-%02u %02u:%02u:%02u", stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                stamp.second);
    if (stamp.fraction != 0) {
        CStringW fraction;
        fraction.Format(L".%09u", stamp.fraction);
        fraction.TrimRight(L'0');
        text += fraction;
    }
    return text;
}

// The whole text as a number, nothing before or after it. Databases write
// the decimal point as '.', so the text is read without the process locale,
// whose decimal point may be a comma.
bool ParseNumber(const std::wstring& text, double* value)
{
    size_t start = text.find_first_not_of(L" \t");
    if (start == std::wstring::npos)
        return false;
    if (text[start] == L'+' && start + 1 < text.size() && text[start + 1] != L'-')
        ++start; // from_chars takes no plus sign
    std::string digits;
    for (size_t i = start; i < text.size(); ++i) {
        wchar_t ch = text[i];
        if ((ch < L'0' || ch > L'9') && ch != L'.' && ch != L'-' && ch != L'+' && ch != L'e' && ch != L'E')
            return false;
        digits += static_cast<char>(ch);
    }
    double parsed = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (error != std::errc() || end != digits.data() + digits.size())
        return false;
    *value = parsed;
    return true;
}

// The whole text as a 64-bit whole number ("12", "-3", also "12.00").
bool ParseNumber(const std::wstring& text, LONGLONG* value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    long long parsed = std::wcstoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str())
        return false;
    // A decimal point may follow when only zeros come after it.
    if (*end == L'.') {
        ++end;
        while (*end == L'0')
            ++end;
    }
    if (end != text.c_str() + text.size())
        return false;
    *value = parsed;
    return true;
}

// A real number as the caller's type: as it is, or as a whole number when
// it holds one within 64 bits.
bool FromReal(double real, double* number)
{
    *number = real;
    return true;
}

bool FromReal(double real, LONGLONG* number)
{
    if (std::trunc(real) != real || !(real >= -0x1p63 && real < 0x1p63))
        return false;
    *number = static_cast<LONGLONG>(real);
    return true;
}

// The value of a numeric or boolean column, or of text that is a number, as
// T (double, or LONGLONG for whole numbers); a value too wide for its
// column is read from the text it was kept as.
template <class T>
bool NumberOf(DBTYPE type, const ColumnValue& value, T* number)
{
    if (value.status == DBSTATUS_E_DATAOVERFLOW)
        return ParseNumber(value.text, number);
    if (value.status != DBSTATUS_S_OK)
        return false;
    const auto& fixed = value.fixed;
    switch (type) {
    case DBTYPE_I2: *number = fixed.i2; return true;
    case DBTYPE_I4: *number = fixed.i4; return true;
    case DBTYPE_I8: *number = static_cast<T>(fixed.i8); return true;
    case DBTYPE_BOOL: *number = fixed.boolean ? 1 : 0; return true;
    case DBTYPE_R4: return FromReal(fixed.r4, number);
    case DBTYPE_R8: return FromReal(fixed.r8, number);
    case DBTYPE_NUMERIC:
    case DBTYPE_WSTR: return ParseNumber(value.text, number);
    default: return false;
    }
}

} // namespace

CCommandBase::CCommandBase() : m_pState(std::make_unique<kel::store::CommandState>()) {}

CCommandBase::~CCommandBase() = default;

HRESULT CCommandBase::MoveFirst()
{
    return m_pState->Move(true);
}

HRESULT CCommandBase::MoveNext()
{
    return m_pState->Move(false);
}

void CCommandBase::Close()
{
    m_pState->Close();
}

HRESULT CCommandBase::_NextResult(DBROWCOUNT* rowsAffected)
{
    return m_pState->NextResult(rowsAffected);
}

DBORDINAL CCommandBase::GetColumnCount() const
{
    // A command whose database closed has no columns left.
    return m_pState->IsOpen() ? m_pState->m_columns.size() : 0;
}

const wchar_t* CCommandBase::GetColumnName(DBORDINAL column) const
{
    const auto* info = m_pState->Column(column);
    return info ? info->name.c_str() : nullptr;
}

bool CCommandBase::GetColumnType(DBORDINAL column, DBTYPE* type) const
{
    const auto* info = m_pState->Column(column);
    if (!info || !type)
        return false;
    *type = info->type;
    return true;
}

bool CCommandBase::GetOrdinal(const wchar_t* name, DBORDINAL* column) const
{
    if (!name || !column || !m_pState->IsOpen())
        return false;
    for (size_t i = 0; i < m_pState->m_columns.size(); ++i) {
        if (CStringW(m_pState->m_columns[i].name).CompareNoCase(name) == 0) {
            *column = i + 1;
            return true;
        }
    }
    return false;
}

bool CCommandBase::GetStatus(DBORDINAL column, DBSTATUS* status) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || !status)
        return false;
    *status = value->status;
    return true;
}

bool CCommandBase::GetLength(DBORDINAL column, DBLENGTH* length) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || !length)
        return false;
    *length = 0;
    if (value->status != DBSTATUS_S_OK)
        return true;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_WSTR: *length = value->text.size() * sizeof(wchar_t); break;
    case DBTYPE_BYTES: *length = value->bytes.size(); break;
    case DBTYPE_I2: *length = sizeof(std::int16_t); break;
    case DBTYPE_I4: *length = sizeof(LONG); break;
    case DBTYPE_I8: *length = sizeof(LONGLONG); break;
    case DBTYPE_R4: *length = sizeof(float); break;
    case DBTYPE_R8: *length = sizeof(double); break;
    case DBTYPE_BOOL: *length = sizeof(VARIANT_BOOL); break;
    case DBTYPE_NUMERIC: *length = sizeof(DB_NUMERIC); break;
    case DBTYPE_DBDATE: *length = sizeof(DBDATE); break;
    case DBTYPE_DBTIME: *length = sizeof(DBTIME); break;
    default: *length = sizeof(DBTIMESTAMP); break;
    }
    return true;
}

const void* CCommandBase::GetValue(DBORDINAL column) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || value->status != DBSTATUS_S_OK)
        return nullptr;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_WSTR: return value->text.c_str();
    case DBTYPE_BYTES: return value->bytes.data();
    default: return &value->fixed;
    }
}

CStringW CCommandBase::GetValueText(DBORDINAL column) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || value->status == DBSTATUS_S_ISNULL || value->status == DBSTATUS_E_CANTCONVERTVALUE)
        return CStringW();
    if (value->status == DBSTATUS_E_DATAOVERFLOW)
        return CStringW(value->text); // whole, though too large for the column's type
    const auto& fixed = value->fixed;
    CStringW text;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_I2: return FormatDecimal(fixed.i2);
    case DBTYPE_I4: return FormatDecimal(fixed.i4);
    case DBTYPE_I8: return FormatDecimal(fixed.i8);
    case DBTYPE_R4: return FormatReal(fixed.r4);
    case DBTYPE_R8: return FormatReal(fixed.r8);
    case DBTYPE_BOOL: return fixed.boolean ? L"1" : L"0";
    case DBTYPE_DBDATE:
        text.Format(L"%04d-%02u-%02u", fixed.date.year, fixed.date.month, fixed.date.day);
        return text;
    case DBTYPE_DBTIME:
        text.Format(L"%02u:%02u:%02u", fixed.time.hour, fixed.time.minute, fixed.time.second);
        return text;
    case DBTYPE_DBTIMESTAMP: return FormatTimestamp(fixed.timestamp);
    case DBTYPE_BYTES:
        for (BYTE byte : value->bytes)
            text.AppendFormat(L"%02x", byte);
        return text;
    default: return CStringW(value->text); // WSTR, and NUMERIC as the driver wrote it
    }
}

bool CCommandBase::GetValueNumber(DBORDINAL column, double* number) const
{
    const ColumnValue* value = m_pState->Value(column);
    return value && number && NumberOf(m_pState->Column(column)->type, *value, number);
}

bool CCommandBase::GetValueNumber(DBORDINAL column, LONGLONG* number) const
{
    const ColumnValue* value = m_pState->Value(column);
    return value && number && NumberOf(m_pState->Column(column)->type, *value, number);
}

DBROWCOUNT CCommandBase::GetRowsAffected() const
{
    return m_pState->m_rowsAffected;
}

CStringW CCommandBase::GetErrorText() const
{
    return CStringW(m_pState->m_lastError);
}
