#pragma once

// The consumer command of the database wrapper: a statement run on an open
// database whose result columns are all bound by a dynamic accessor, read row
// by row. Written the way OLE DB consumer code reads:
//
//     CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> command;
//     database.ExecResult(L"SELECT id, name FROM item", &command);
//     for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext())
//         use(command.GetValueText(1), command.GetValueText(2));
//     command.Close();
//
// Columns are numbered from 1. Values are read whole, whatever their length.
// A command is used on one thread; it may outlive the database, after whose
// Close it has no rows.
#include "../KelStoreExport.h"
#include "OleDbTypes.h"

#include <KelCore/platform/StringW.h>

#include <memory>
#include <type_traits>

class CKelDatabaseOleDB;
namespace kel::store {
class CommandState;
}

// Policy names of the command template: every column bound dynamically, rows
// read forwards, and whether later results of a batch can be reached.
class CDynamicAccessor {};
class CRowset {};
class CNoMultipleResults {};
class CMultipleResults {};

class KELSTORE_API CCommandBase {
public:
    CCommandBase();
    ~CCommandBase();
    CCommandBase(const CCommandBase&) = delete;
    CCommandBase& operator=(const CCommandBase&) = delete;

    // S_OK with a row, DB_S_ENDOFROWSET past the last one, E_FAIL when the
    // driver failed (GetErrorText tells why), E_UNEXPECTED when nothing is
    // open. Rows are read forwards: MoveFirst after rows were read runs the
    // query again (one statement beginning with SELECT, or with WITH and
    // naming no INSERT, UPDATE, DELETE or MERGE; anything else, which might
    // change data twice, gives E_FAIL).
    HRESULT MoveFirst();
    HRESULT MoveNext();
    // Releases the statement; the command can be opened again.
    void Close();

    DBORDINAL GetColumnCount() const;
    // Null for a column that does not exist.
    const wchar_t* GetColumnName(DBORDINAL column) const;
    bool GetColumnType(DBORDINAL column, DBTYPE* type) const;
    bool GetOrdinal(const wchar_t* name, DBORDINAL* column) const;

    // These read the current row; they fail (false, null) without one.
    bool GetStatus(DBORDINAL column, DBSTATUS* status) const;
    // Bytes of the value (without the terminator of text).
    bool GetLength(DBORDINAL column, DBLENGTH* length) const;
    // The value, stored as the column type says (see OleDbTypes.h); null for
    // NULL and for a value that did not fit its type. Such a value (status
    // DBSTATUS_E_DATAOVERFLOW: an integer wider than its column said, as
    // SQLite keeps 64 bits in any INTEGER column) is never wrapped: it reads
    // whole through GetValueText and GetValueNumber.
    const void* GetValue(DBORDINAL column) const;
    // The value when T is the stored type of the column, else false.
    template <class T>
    bool GetValue(DBORDINAL column, T* value) const
    {
        DBTYPE type = DBTYPE_EMPTY;
        if (!value || !GetColumnType(column, &type) || type != _StoredType<T>())
            return false;
        const void* data = GetValue(column);
        if (!data)
            return false;
        *value = *static_cast<const T*>(data);
        return true;
    }
    // The value as text: numbers in decimal, dates "YYYY-MM-DD", times
    // "HH:MM:SS", bytes as lower-case hexadecimal; empty for NULL.
    CStringW GetValueText(DBORDINAL column) const;
    // The value of a numeric or boolean column (text too, when it is a
    // number); false for NULL and anything else.
    bool GetValueNumber(DBORDINAL column, double* value) const;
    // As above, for values that are whole numbers within 64 bits.
    bool GetValueNumber(DBORDINAL column, LONGLONG* value) const;

    // Rows changed by the current result, -1 when the driver does not say.
    DBROWCOUNT GetRowsAffected() const;
    // The driver's message for the last failed move.
    CStringW GetErrorText() const;

protected:
    HRESULT _NextResult(DBROWCOUNT* rowsAffected);

private:
    friend class CKelDatabaseOleDB;
    template <class T>
    static constexpr DBTYPE _StoredType()
    {
        if constexpr (std::is_same_v<T, std::int16_t>) return DBTYPE_I2;
        else if constexpr (std::is_same_v<T, LONG>) return DBTYPE_I4;
        else if constexpr (std::is_same_v<T, LONGLONG>) return DBTYPE_I8;
        else if constexpr (std::is_same_v<T, float>) return DBTYPE_R4;
        else if constexpr (std::is_same_v<T, double>) return DBTYPE_R8;
        else if constexpr (std::is_same_v<T, DB_NUMERIC>) return DBTYPE_NUMERIC;
        else if constexpr (std::is_same_v<T, DBDATE>) return DBTYPE_DBDATE;
        else if constexpr (std::is_same_v<T, DBTIME>) return DBTYPE_DBTIME;
        else if constexpr (std::is_same_v<T, DBTIMESTAMP>) return DBTYPE_DBTIMESTAMP;
        else static_assert(!sizeof(T), "read text and bytes through GetValue(column) or GetValueText");
    }

    std::unique_ptr<kel::store::CommandState> m_pState;
};

// VARIANT_BOOL is std::int16_t, so a boolean column reads as GetValue(column)
// or GetValueNumber; GetValue<std::int16_t> serves small integers.
template <class TAccessor = CDynamicAccessor, class TRowset = CRowset, class TMultiple = CNoMultipleResults>
class CCommand : public CCommandBase {
    static_assert(std::is_same_v<TAccessor, CDynamicAccessor>, "columns are bound by the dynamic accessor");
    static_assert(std::is_same_v<TRowset, CRowset>, "rows are read through the plain rowset");
    static_assert(std::is_same_v<TMultiple, CNoMultipleResults> || std::is_same_v<TMultiple, CMultipleResults>);

public:
    static constexpr bool kMultipleResults = std::is_same_v<TMultiple, CMultipleResults>;

    // Moves to the next result of a batch: S_OK (its rows are bound, or it
    // has no columns when it only changed rows), DB_S_NORESULT after the
    // last, E_FAIL when the driver failed.
    HRESULT GetNextResult(DBROWCOUNT* rowsAffected)
        requires kMultipleResults
    {
        return _NextResult(rowsAffected);
    }
};
