#include "recordset/srs.h"

#include <orvex/text_util.h>

#include "platform/code_page.h"
#include "recordset/value_text.h"
#include "support/pub.h"

#include <cstring>

#include <algorithm>
#include <new>

SRSColumn::~SRSColumn() = default;

const char* SRSTexts::Add(const char* text, size_t length) {
    const size_t bytes = length + 1;
    char* slot;
    if (bytes <= m_left) {
        slot = m_next;
        m_next += bytes;
        m_left -= bytes;
    } else if (bytes > m_nextBlock / 2) {
        // A long text takes a block of its own; the block being filled goes on.
        slot = NewBlock(bytes);
    } else {
        const size_t size = m_nextBlock;
        slot = NewBlock(size);
        m_nextBlock = std::min(2 * size, kLargestBlock);
        m_next = slot + bytes;
        m_left = size - bytes;
    }
    // m_left is above 0 only while m_next points into a block, so slot is never null.
    std::memcpy(slot, text, length);  // NOLINT(clang-analyzer-core.NonNullParamChecker)
    slot[length] = '\0';
    m_live += bytes;
    return slot;
}

void SRSTexts::Reserve(size_t bytes) {
    if (bytes <= m_left) return;
    m_next = NewBlock(bytes);
    m_left = bytes;
}

char* SRSTexts::NewBlock(size_t size) {
    // Left uninitialised: every byte handed out is written first.
    std::unique_ptr<char[]> block(new char[size]);
    m_blocks.push_back(std::move(block));
    m_room += size;
    return m_blocks.back().get();
}

namespace {

bool BeforeColumn(const SRSCell& cell, int col) { return cell.m_nCol < col; }

// Column names are short: compared inline, a host reading every cell by
// name spent a sixteenth of its time in the C library's strcmp (a 100,000-row answer, under perf).
bool SameText(const char* a, const char* b) {
    for (; *a == *b; ++a, ++b)
        if (*a == '\0') return true;
    return false;
}

}  // namespace

// Cells are in column order, one per column at most, so a cell's index never
// passes its column: a row written in every column finds it at once.
const SRSCell* SRSRow::Find(int col) const {
    const size_t size = m_arrCells.size();
    const size_t at = static_cast<size_t>(col);
    if (at < size && m_arrCells[at].m_nCol == col) return &m_arrCells[at];
    const auto end = m_arrCells.begin() + static_cast<std::ptrdiff_t>(std::min(at, size));
    const auto found = std::lower_bound(m_arrCells.begin(), end, col, BeforeColumn);
    return found != end && found->m_nCol == col ? &*found : nullptr;
}

SRSCell& SRSRow::Get(int col) {
    if (m_arrCells.empty() || m_arrCells.back().m_nCol < col) return m_arrCells.emplace_back(col);
    if (const SRSCell* cell = Find(col)) return const_cast<SRSCell&>(*cell);
    const auto at = std::lower_bound(m_arrCells.begin(), m_arrCells.end(), col, BeforeColumn);
    return *m_arrCells.emplace(at, col);
}

SRS::SRS(const char* name, const char* nameSpace, const char* type)
    : m_strName(name), m_strNameSpace(nameSpace), m_strType(type) {}

// This class's own RemoveAll: a destructor cannot reach an override.
SRS::~SRS() { SRS::RemoveAll(); }

int SRS::AddCol(const char* name, const char* typeName) {
    // A new column may answer a name first, or at all.
    ForgetNames();
    m_arrCols.push_back(std::make_unique<SRSColumn>(name, CTextUtil::ConvertType(typeName), typeName));
    return 1;
}

int SRS::AddRow() {
    // Should the push fail, the row, which holds no cells yet, is left to the memory's release.
    m_arrRows.push_back(new (m_rowMemory.allocate(sizeof(SRSRow), alignof(SRSRow))) SRSRow(&m_rowMemory));
    // Rows mostly repeat the shape of the one before: room for its cells in one allocation.
    if (m_arrRows.size() > 1)
        m_arrRows.back()->m_arrCells.reserve(m_arrRows[m_arrRows.size() - 2]->m_arrCells.size());
    return RowCount() - 1;
}

void SRS::SetText(int row, const char* colName, const char* text) { SetText(row, FindCol(colName), text); }

void SRS::SetText(int row, int col, const char* text) {
    // A null text is no text: the cell keeps what it held, its null flag included.
    if (text == nullptr || row < 0 || row >= RowCount() || col < 0 || col >= ColCount()) return;
    Write(m_arrRows[static_cast<size_t>(row)]->Get(col), text, std::strlen(text));
}

void SRS::SetCellText(int row, int col, const char* text, size_t length) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount()) return;
    Write(m_arrRows[static_cast<size_t>(row)]->Get(col), text, length);
}

void SRS::Write(SRSCell& cell, const char* text, size_t length) {
    if (length == 0) {
        if (cell.m_nLength > 0) m_Texts.Drop(cell.m_nLength + 1);
        cell.m_pText = "";
    } else if (length <= cell.m_nLength) {
        // Over the old text, in its slot of the blocks: a host setting a cell
        // again and again takes no new room. text may overlap the slot.
        char* slot = const_cast<char*>(cell.m_pText);
        std::memmove(slot, text, length);
        slot[length] = '\0';
        m_Texts.Drop(cell.m_nLength - length);
    } else {
        const char* slot = m_Texts.Add(text, length);
        if (cell.m_nLength > 0) m_Texts.Drop(cell.m_nLength + 1);
        cell.m_pText = slot;
    }
    cell.m_nLength = length;
    cell.m_bNull = 0;
    if (m_Texts.Wasteful()) Compact();
}

void SRS::Compact() {
    SRSTexts fresh;
    try {
        // One block for every text, taken before a cell moves: no failure halfway.
        fresh.Reserve(m_Texts.Live());
    } catch (const std::bad_alloc&) {
        return;  // no memory to compact into: the texts stay where they are
    }
    for (SRSRow* row : m_arrRows)
        for (SRSCell& cell : row->m_arrCells)
            if (cell.m_nLength > 0) cell.m_pText = fresh.Add(cell.m_pText, cell.m_nLength);
    m_Texts = std::move(fresh);
}

void SRS::GetText(int row, const char* colName, CString& out) { CopyText(row, ResolveCol(colName), out); }

void SRS::GetText(int row, int col, CString& out) { CopyText(row, col, out); }

std::string_view SRS::CellView(int row, const char* colName) {
    const SRSCell* cell = Cell(row, ResolveCol(colName));
    return cell != nullptr ? cell->Text() : std::string_view();
}

std::string_view SRS::ColTypeName(int col) const {
    if (col < 0 || col >= static_cast<int>(m_arrCols.size())) return {};
    const CString& name = m_arrCols[static_cast<size_t>(col)]->m_strTypeName;
    return {name.GetString(), static_cast<size_t>(name.GetLength())};
}

std::string_view SRS::CellView(int row, int col) const {
    const SRSCell* cell = Cell(row, col);
    return cell != nullptr ? cell->Text() : std::string_view();
}

void SRS::CopyText(int row, int col, CString& out) const {
    const SRSCell* cell = Cell(row, col);
    if (cell != nullptr)
        out.str().assign(cell->m_pText, cell->m_nLength);
    else
        out.Empty();
}

void SRS::GetString(int row, const char* colName, CString& out) {
    GetDatetimePart(row, colName, kWholeDatetime, out);
}

void SRS::GetDate(int row, const char* colName, CString& out) { GetDatetimePart(row, colName, kDate, out); }

void SRS::GetDatetimePart(int row, const char* colName, DatetimePart part, CString& out) {
    out.Empty();
    const int col = ResolveCol(colName);
    if (col < 0) return;
    if (GetColType(col) != TYPE_DATETIME) {
        GetText(row, colName, out);
        return;
    }
    CString datetime;
    CString date;
    CString time;
    GetDatetime(row, colName, datetime, date, time);
    out = part == kDate ? date : datetime;
}

void SRS::GetDatetime(int row, const char* colName, CString& datetime, CString& date, CString& time) {
    CString text;
    GetText(row, colName, text);
    valuetext::ReadXmlDatetime(text, datetime, date, time);
}

int SRS::GetInt(int row, const char* colName) {
    const int col = ResolveCol(colName);
    if (col < 0) return 0;
    if (GetColType(col) == TYPE_BOOLEAN) return GetBoolean(row, colName) != 0 ? 1 : 0;
    CString text;
    GetText(row, colName, text);
    return valuetext::ReadInt(text);
}

int SRS::GetBoolean(int row, const char* colName) {
    CString text;
    GetText(row, colName, text);
    return text.CompareNoCase("true") == 0 ? 1 : 0;
}

double SRS::GetDouble(int row, const char* colName) {
    const int col = ResolveCol(colName);
    if (col < 0) return 0.0;
    if (GetColType(col) == TYPE_BOOLEAN) return GetBoolean(row, colName) != 0 ? 1.0 : 0.0;
    CString text;
    GetText(row, colName, text);
    return valuetext::ReadDouble(text);
}

int SRS::IsNull(int row, int col) {
    const SRSCell* cell = Cell(row, col);
    return cell != nullptr ? cell->m_bNull : 1;
}

void SRS::GetColType(int col, CString& out) {
    out.Empty();
    if (col >= 0 && col < ColCount())
        CTextUtil::ConvertType(m_arrCols[static_cast<size_t>(col)]->m_nType, out);
}

int SRS::GetColType(int col) {
    return col >= 0 && col < ColCount() ? m_arrCols[static_cast<size_t>(col)]->m_nType : TYPE_UNKNOWN;
}

void SRS::GetColName(int col, CString& out) {
    out.Empty();
    if (col >= 0 && col < ColCount()) out = m_arrCols[static_cast<size_t>(col)]->m_strName;
}

int SRS::ColCount() { return static_cast<int>(m_arrCols.size()); }

int SRS::RowCount() { return static_cast<int>(m_arrRows.size()); }

int SRS::FindCol(const char* name) {
    const char* wanted = name != nullptr ? name : "";
    // Answers hold only under the case folding they were found with; tests switch code pages.
    const unsigned char* foldRule = codepage::CharLengths();
    if (foldRule != m_pFoldRule) {
        ForgetNames();
        m_pFoldRule = foldRule;
    }
    const size_t count = m_arrNameHits.size();
    size_t at = m_nNextHit < count ? m_nNextHit : 0;
    for (size_t k = 0; k < count; ++k) {
        const NameHit& hit = m_arrNameHits[at];
        if (++at == count) at = 0;
        if (SameText(hit.m_name.c_str(), wanted)) {
            m_nNextHit = at;
            return hit.m_col;
        }
    }
    const int col = ScanCol(wanted);
    // Room for every column under two spellings; past it, names asked once replace the one tried first.
    if (count < std::max<size_t>(16, 2 * m_arrCols.size())) {
        m_arrNameHits.push_back(NameHit{wanted, col});
        m_nNextHit = count + 1;
    } else {
        // at is back where the search began, the slot this name was expected in.
        m_arrNameHits[at].m_name = wanted;
        m_arrNameHits[at].m_col = col;
        m_nNextHit = at + 1;
    }
    return col;
}

int SRS::ScanCol(const char* wanted) const {
    for (size_t i = 0; i < m_arrCols.size(); ++i)
        if (m_arrCols[i]->m_strName.CompareNoCase(wanted) == 0) return static_cast<int>(i);
    if (*wanted == '\0' || std::strchr(wanted, ':') != nullptr) return -1;
    // Services that qualify their elements give columns such as "tns:Id": "Id" finds one.
    const CString local(wanted);
    for (size_t i = 0; i < m_arrCols.size(); ++i) {
        const CString& column = m_arrCols[i]->m_strName;
        const int colon = column.ReverseFind(':');
        if (colon >= 0 && local.CompareNoCase(column.GetString() + colon + 1) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void SRS::ForgetNames() {
    m_arrNameHits.clear();
    m_nNextHit = 0;
}

void SRS::RemoveAll() {
    // Rows hold nothing but memory of m_rowMemory: given back whole, with
    // no call per row (a fiftieth of reading a 100,000-row answer again).
    std::vector<SRSRow*>().swap(m_arrRows);
    m_rowMemory.release();
    m_Texts.Clear();
    std::vector<std::unique_ptr<SRSColumn>>().swap(m_arrCols);
    std::vector<NameHit>().swap(m_arrNameHits);
    m_nNextHit = 0;
}

const char* SRS::GetName() { return m_strName.GetString(); }

int SRS::IsDotNetDialect(const char* dialect) {
    if (dialect == nullptr) return 0;
    return CPub::FindNoCase(dialect, ".net") >= 0 || CPub::FindNoCase(dialect, "dotnet") >= 0 ||
                   CPub::FindNoCase(dialect, "dot net") >= 0
               ? 1
               : 0;
}

int SRS::ResolveCol(const char* colName) { return ColCount() == 1 ? 0 : FindCol(colName); }

const SRSCell* SRS::Cell(int row, int col) const {
    if (row < 0 || static_cast<size_t>(row) >= m_arrRows.size() || col < 0) return nullptr;
    return m_arrRows[static_cast<size_t>(row)]->Find(col);
}
