// SRS: the record set, an in-memory table of named, typed columns and rows of
// text cells; the SRS_* functions and SOAP messages hand it out as a handle.
#ifndef ORVEX_RECORDSET_SRS_H
#define ORVEX_RECORDSET_SRS_H

#include <orvex/cstring.h>
#include <orvex/handle_object.h>

#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

class SRSColumn {
public:
    SRSColumn(const char* name, int type, const char* typeName)
        : m_strName(name), m_nType(type), m_strTypeName(typeName) {}
    virtual ~SRSColumn();

    CString m_strName;      // as given: lookups ignore case, writers keep it
    int m_nType = 0;        // a TYPE_* code
    CString m_strTypeName;  // as given ("s:decimal"), for hosts that want more than the code
};

// The texts of a set's cells, in a few large blocks the set owns: filling a
// cell costs a copy of its bytes, not an allocation, and dropping a set frees
// a few blocks instead of a string per cell. Each text is followed by a zero.
class SRSTexts {
public:
    SRSTexts() = default;
    SRSTexts(const SRSTexts&) = delete;
    SRSTexts& operator=(const SRSTexts&) = delete;
    SRSTexts(SRSTexts&&) noexcept = default;
    SRSTexts& operator=(SRSTexts&&) noexcept = default;

    // Copies length bytes (length > 0) and a zero into the blocks: the copy's address.
    const char* Add(const char* text, size_t length);
    // Room for bytes more bytes (zeros included) in one block, taken now.
    void Reserve(size_t bytes);
    // Bytes of the blocks that no cell reads any more.
    void Drop(size_t bytes) {
        m_live -= bytes;
        m_dead += bytes;
    }
    // More bytes dead than alive, and at least a first block of them: time to compact.
    bool Wasteful() const { return m_dead > m_live && m_dead >= kFirstBlock; }
    // Frees every block.
    void Clear() { *this = SRSTexts(); }

    size_t Live() const { return m_live; }
    size_t Room() const { return m_room; }

    static constexpr size_t kFirstBlock = 64 * 1024;
    static constexpr size_t kLargestBlock = 1024 * 1024;

private:
    char* NewBlock(size_t size);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;  // the free end of the block texts are added to
    size_t m_left = 0;       // its bytes left
    size_t m_nextBlock = kFirstBlock;
    size_t m_room = 0;  // the bytes of every block
    size_t m_live = 0;  // the bytes of the texts cells read, their zeros included
    size_t m_dead = 0;  // the bytes of texts written over
};

// A written cell: its text lives in the set's SRSTexts. A copy of a cell is a
// view of that text, valid as long as the text it was taken from.
class SRSCell {
public:
    SRSCell() = default;
    explicit SRSCell(int col) : m_nCol(col) {}

    // The text, "" for a null cell; valid until the set changes.
    std::string_view Text() const { return {m_pText, m_nLength}; }
    // The same text, followed by a zero.
    const char* CStr() const { return m_pText; }

    const char* m_pText = "";  // in the set's blocks when m_nLength > 0, else this ""
    size_t m_nLength = 0;
    int m_nCol = 0;   // the column it belongs to
    int m_bNull = 1;  // until the first text, the empty one included, is written
};

class SRSRow {
public:
    // Its cells are taken from `cells`, the set's memory for rows.
    explicit SRSRow(std::pmr::memory_resource* cells) : m_arrCells(cells) {}

    // The cell of column col, or null when that cell was never written.
    const SRSCell* Find(int col) const;
    // The cell of column col, added (null) when it was never written.
    SRSCell& Get(int col);

    // The cells written, in column order; a cell never written takes no room,
    // so a table whose rows each bring new fields costs what its texts cost.
    // They live in the row itself: a row is filled without one allocation each.
    std::pmr::vector<SRSCell> m_arrCells;
};

class SRS final : public CHandleObject {
public:
    // Row element name, namespace URI of the row type, row type name; null is "".
    SRS(const char* name = nullptr, const char* nameSpace = nullptr, const char* type = nullptr);
    SRS(const SRS&) = delete;
    SRS& operator=(const SRS&) = delete;

    // Virtual operations in the order hosts and the SOAP layer expect them.
    // Indexes are 0-based; out-of-range indexes and unknown names are never
    // errors: setters do nothing, getters give "", 0, 0.0 (IsNull: 1).
    ~SRS() override;
    // Appends a column typed by CTextUtil::ConvertType(typeName); its cell
    // is null in every row. Returns 1.
    virtual int AddCol(const char* name, const char* typeName);
    // Appends a row of null cells; returns its index.
    virtual int AddRow();
    // By name: the first column of that name, ignoring case (no one-column
    // shortcut). A null text changes nothing.
    virtual void SetText(int row, const char* colName, const char* text);
    virtual void SetText(int row, int col, const char* text);
    // The getters by name read a set of exactly one column from that column,
    // whatever name is given.
    virtual void GetText(int row, const char* colName, CString& out);
    virtual void GetText(int row, int col, CString& out);
    // A dateTime column gives GetDatetime's date-time text, others the cell.
    virtual void GetString(int row, const char* colName, CString& out);
    // A dateTime column gives GetDatetime's date, others the cell.
    virtual void GetDate(int row, const char* colName, CString& out);
    // Reads the cell as an XML Schema date-time: "date time", date, time,
    // local time for a "Z" value; all three empty for no value.
    virtual void GetDatetime(int row, const char* colName, CString& datetime, CString& date, CString& time);
    virtual int GetInt(int row, const char* colName);
    // 1 when the cell is "true" ignoring case.
    virtual int GetBoolean(int row, const char* colName);
    virtual double GetDouble(int row, const char* colName);
    virtual int IsNull(int row, int col);
    virtual void GetColType(int col, CString& out);
    virtual int GetColType(int col);
    virtual void GetColName(int col, CString& out);
    virtual int ColCount();
    virtual int RowCount();
    // The first column whose name equals name ignoring case; else, for a
    // name without ':', the first column whose local name (after its last
    // ':') equals it ignoring case ("Id" finds "tns:Id"); else -1. Answers
    // are remembered per name, so even reading a set changes it: one thread
    // at a time.
    virtual int FindCol(const char* name);
    // Drops every column and row, their memory included; the three texts stay.
    virtual void RemoveAll();
    virtual const char* GetName();
    // The set as one SOAP parameter element named elementName, in the .NET
    // dialect when dialect holds ".net", "dotnet" or "dot net" (any case), in
    // the Apache dialect otherwise. asArray nonzero wraps a single row too.
    virtual void toXML(CString& out, const char* dialect, const char* elementName, int asArray);

    // The dialect rule shared with SOAP messages: nonzero for the .NET dialect.
    static int IsDotNetDialect(const char* dialect);

    // SetText by index for a counted text (readers hand over views of a
    // document's characters); not one of the virtual operations.
    void SetCellText(int row, int col, const char* text, size_t length);
    // The cell's own text (by name, the single-column rule too), "" for a
    // null cell and out of range; valid until the set changes.
    std::string_view CellView(int row, const char* colName);
    // The type name column col was made with, as given; "" out of range.
    // Not one of the virtual operations.
    std::string_view ColTypeName(int col) const;
    // The same by column index, with no single-column rule.
    std::string_view CellView(int row, int col) const;
    // The bytes the cells' text blocks take, for tests and diagnostics.
    size_t TextRoom() const { return m_Texts.Room(); }

    CString m_strName;       // element name of one row
    CString m_strNameSpace;  // namespace URI of the row type
    CString m_strType;       // name of the row type
    // Changed only through AddCol and RemoveAll, which forget the names FindCol remembers.
    std::vector<std::unique_ptr<SRSColumn>> m_arrCols;
    std::vector<SRSRow*> m_arrRows;  // made in m_rowMemory

private:
    // A name FindCol was asked, byte for byte, and its answer.
    struct NameHit {
        std::string m_name;
        int m_col;
    };

    enum DatetimePart { kWholeDatetime, kDate };

    // The single-column rule: column 0 of a one-column set, else FindCol.
    int ResolveCol(const char* colName);
    // GetString and GetDate: a dateTime column gives that part of
    // GetDatetime's answer, any other column the cell.
    void GetDatetimePart(int row, const char* colName, DatetimePart part, CString& out);
    // FindCol's rule itself, a scan of the columns; wanted is never null.
    int ScanCol(const char* wanted) const;
    void ForgetNames();
    const SRSCell* Cell(int row, int col) const;
    void CopyText(int row, int col, CString& out) const;
    // Writes a cell's text: over its old one when the new one fits there, else
    // into the blocks; compacts them when the texts written over outweigh the others.
    void Write(SRSCell& cell, const char* text, size_t length);
    // Copies the texts cells read into fresh blocks and frees the old ones.
    void Compact();

    // Hosts read row by row with the same few names: the answers found, so
    // that a name asked again costs one compare of its bytes instead of a scan.
    std::vector<NameHit> m_arrNameHits;
    size_t m_nNextHit = 0;  // where the next name is tried first: names come in the same order each row
    const unsigned char* m_pFoldRule = nullptr;  // the code page's case folding the answers were found under

    // Rows and their cells, side by side in a few growing blocks, given
    // back together: a 100,000-row answer took two allocations a row, a
    // sixteenth of its reading, and a host reading it back row by row
    // now walks memory in order.
    std::pmr::monotonic_buffer_resource m_rowMemory;
    SRSTexts m_Texts;
};

#endif
