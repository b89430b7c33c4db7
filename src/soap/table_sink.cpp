#include "soap/table_sink.h"

#include "xml/dom_access.h"
#include "recordset/srs.h"
#include "soap/table_columns.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// "Body" ignoring ASCII case, alone or behind a prefix, as the document
// reader looks for it.
bool IsBody(std::string_view name) {
    constexpr std::string_view kBody = "body";
    if (name.size() != kBody.size() && (name.size() < kBody.size() + 2 || name[name.size() - 5] != ':'))
        return false;
    const std::string_view local = name.substr(name.size() - kBody.size());
    for (size_t i = 0; i < kBody.size(); ++i)
        if (LowerAscii(local[i]) != kBody[i]) return false;
    return true;
}

// The value of the attribute written exactly `name`, or null.
const char* Attribute(const char* const* attributes, size_t count, const char* name) {
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(attributes[2 * i], name) == 0) return attributes[2 * i + 1];
    return nullptr;
}

// The walk of one response, element by element. Depths count the root as 1.
class CTableSink final : public CXmlSink {
public:
    CTableSink(SRS& set, long long cellLimit) : m_set(set), m_columns(set), m_nCellLimit(cellLimit) {}

    bool Filled() const { return m_state == State::kDone; }

    void StartElement(const char* name, const char* const* attributes, size_t count) override {
        const size_t depth = ++m_nDepth;
        switch (m_state) {
            case State::kRoot:
                m_state = IsEnvelopeName(name) ? State::kSeekBody : State::kDeclined;
                return;
            case State::kSeekBody:
                if (IsBody(name)) {
                    m_nBody = depth;
                    m_state = State::kSeekResponse;
                }
                return;
            case State::kSeekResponse:  // the Body's first element
                m_nResponse = depth;
                m_state = State::kSeekReturned;
                return;
            case State::kSeekReturned: {  // the response's first child, an element that is not nil
                m_nReturned = depth;
                const char* nil = Attribute(attributes, count, "xsi:nil");
                m_state = nil != nullptr && std::strcmp(nil, "true") == 0 ? State::kDeclined : State::kRows;
                return;
            }
            case State::kRows:
                if (depth == m_nReturned + 1) {
                    Row(name);
                } else if (depth == m_nReturned + 2) {
                    ChildOfRow();
                    Field(name, attributes, count);
                }
                return;
            default:
                return;
        }
    }

    void Text(const char* text, size_t length) override {
        if (m_state == State::kSeekReturned && m_nDepth == m_nResponse) {
            m_state = State::kDeclined;  // a response that starts with text
        } else if (m_state == State::kRows) {
            if (m_nDepth == m_nReturned) {
                Row(nullptr);  // text between rows is a row of its own
            } else if (m_nDepth == m_nReturned + 1) {
                ChildOfRow();
                // "#text" and "#cdata-section" fields are rare: the document reader words them.
                m_state = State::kDeclined;
            } else if (m_nDepth > m_nReturned + 1 && m_bInField) {
                if (m_nPieces++ == 0) {
                    m_first = std::string_view(text, length);
                } else {
                    if (m_nPieces == 2) m_text.assign(m_first);
                    m_text.append(text, length);
                }
            }
        }
    }

    void CData(const char* text, size_t length) override { Text(text, length); }

    void Comment(const char*, size_t) override {
        if (m_state == State::kSeekReturned && m_nDepth == m_nResponse) {
            m_state = State::kDeclined;
        } else if (m_state == State::kRows) {
            if (m_nDepth == m_nReturned)
                Row(nullptr);
            else if (m_nDepth == m_nReturned + 1)
                m_state = State::kDeclined;  // a "#comment" field
        }
    }

    // An instruction's target is its node name, which the Body search and the
    // row and field names would see: the document reader words those cases.
    void Instruction(const char*, const char*) override { Decline(); }

    void EndElement() override {
        const size_t depth = m_nDepth--;
        switch (m_state) {
            case State::kSeekResponse:
                if (depth == m_nBody) m_state = State::kDeclined;  // a Body without an element
                return;
            case State::kSeekReturned:
                if (depth == m_nResponse) m_state = State::kDeclined;  // an empty response
                return;
            case State::kRows:
                if (depth == m_nReturned + 2 && m_bInField) {
                    EndField();
                } else if (depth == m_nReturned) {
                    // One row makes a table only when it holds something.
                    const bool table = m_nRows > 1 || (m_nRows == 1 && m_bFirstRowFilled);
                    m_state = table ? State::kDone : State::kDeclined;
                }
                return;
            default:
                return;
        }
    }

private:
    enum class State { kRoot, kSeekBody, kSeekResponse, kSeekReturned, kRows, kDone, kDeclined };

    // A child of the returned element: a row element (named), or another
    // node (null), which makes a row without fields.
    void Row(const char* name) {
        ++m_nRows;
        // The first two children decide that this is a table: the first an
        // element, the second one of the same name.
        if (m_nRows == 1) {
            if (name == nullptr) return Decline();
            m_firstRow = name;
        } else if (m_nRows == 2 && (name == nullptr || m_firstRow != name)) {
            return Decline();
        }
        m_nRow = m_set.AddRow();
        m_nPosition = 0;
        if (TooLarge()) Decline();
    }

    void ChildOfRow() {
        if (m_nRows == 1) m_bFirstRowFilled = true;
    }

    void Field(const char* name, const char* const* attributes, size_t count) {
        const size_t position = m_nPosition++;
        const int before = m_set.ColCount();
        m_nColumn = m_columns.Find(position, name, [&] {
            const char* type = Attribute(attributes, count, "xsi:type");
            return type != nullptr ? type : "";
        });
        if (m_set.ColCount() != before && TooLarge()) return Decline();
        const char* nil = count != 0 ? Attribute(attributes, count, "xsi:nil") : nullptr;
        m_bInField = nil == nullptr || std::strcmp(nil, "true") != 0;
        m_nPieces = 0;
    }

    void EndField() {
        const std::string_view text = m_nPieces > 1    ? std::string_view(m_text)
                                      : m_nPieces == 1 ? m_first
                                                       : std::string_view();
        m_set.SetCellText(m_nRow, m_nColumn, text.data(), text.size());
        m_bInField = false;
    }

    bool TooLarge() const {
        return static_cast<long long>(m_set.RowCount()) * m_set.ColCount() > m_nCellLimit;
    }

    void Decline() { m_state = State::kDeclined; }

    SRS& m_set;
    CTableColumns m_columns;
    const long long m_nCellLimit;
    State m_state = State::kRoot;
    size_t m_nDepth = 0;
    size_t m_nBody = 0;
    size_t m_nResponse = 0;
    size_t m_nReturned = 0;
    size_t m_nRows = 0;
    bool m_bFirstRowFilled = false;
    std::string m_firstRow;  // the first row's name
    int m_nRow = 0;
    size_t m_nPosition = 0;   // of the next field in its row
    int m_nColumn = 0;        // of the open field
    bool m_bInField = false;  // a field whose text is gathered (not nil)
    size_t m_nPieces = 0;
    std::string_view m_first;  // the open field's first text
    std::string m_text;        // its texts joined, when there are more
};

}  // namespace

int ReadTableStraight(const CString& text, SRS& set, long long cellLimit) {
    CTableSink sink(set, cellLimit);
    std::shared_ptr<const void> owner;
    return ReadXmlStraight(text.GetString(), static_cast<size_t>(text.GetLength()), sink, owner) &&
                   sink.Filled()
               ? 1
               : 0;
}
