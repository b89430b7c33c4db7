#include "soap/table_sink.h"

#include "recordset/srs.h"
#include "soap/dataset_reader.h"
#include "soap/soap_answer.h"
#include "soap/table_columns.h"
#include "xml/dom_access.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

namespace {

enum class Kind { kElement, kText, kCData, kComment, kInstruction };

// A node as the sink hears it. Elements have a name and attributes; the
// others their content (and an instruction its target).
struct Node {
    Kind kind;
    const char* name;
    const char* const* attributes;
    size_t count;
    std::string_view content;

    bool IsElement() const { return kind == Kind::kElement; }
    bool IsText() const { return kind == Kind::kText || kind == Kind::kCData; }
    // The node's name as the DOM gives it.
    std::string_view Name() const {
        switch (kind) {
            case Kind::kText:
                return "#text";
            case Kind::kCData:
                return "#cdata-section";
            case Kind::kComment:
                return "#comment";
            default:
                return name;
        }
    }
};

// A text met in pieces (texts, CDATA sections, references decoded apart):
// the first is kept as a view of the document, more are joined.
class CGathered {
public:
    void Clear() { m_pieces = 0; }
    void Add(std::string_view piece) {
        if (m_pieces++ == 0) {
            m_first = piece;
            return;
        }
        if (m_pieces == 2) m_joined.assign(m_first);
        m_joined.append(piece);
    }
    std::string_view View() const {
        return m_pieces > 1 ? std::string_view(m_joined) : m_pieces == 1 ? m_first : std::string_view();
    }

private:
    size_t m_pieces = 0;
    std::string_view m_first;
    std::string m_joined;
};

// The walk of one response. Depths count the root as 1; a node's depth is
// its parent's plus one. The set is filled as the nodes come: a table row
// by row; the first child of the set's element as the first row until the
// second child (or the element's end) tells the shape.
class CTableSink final : public xml::CXmlSink {
public:
    // `linked`: the walk resolves shared references itself.
    CTableSink(SRS& set, int index, long long cellLimit, bool linked = false)
        : m_set(set),
          m_columns(set),
          m_index(index),
          m_cellLimit(cellLimit),
          m_utf8(xml::CodePageIsUtf8()),
          m_linked(linked) {}

    // The answer is SOAP-encoded and holds a shared reference: the walk
    // stopped there, and must be made again with the references resolved.
    bool NeedsLinks() const { return m_needsLinks; }
    const std::vector<xml::LinkForm>& Links() const { return m_marks.Links(); }

    TableRead Result(CString& error) const {
        if (m_result == TableRead::kFailed) error = m_error.c_str();
        return m_result;
    }

    void Begin() override {
        m_set.RemoveAll();
        m_columns.Clear();
        m_walk = CResponseWalk();
        m_state = State::kRoot;
        m_result = TableRead::kRead;
        m_error.clear();
        m_depth = 0;
        m_marks = CAnswerMarks();
        m_watchLinks = false;
        m_needsLinks = false;
    }

    void StartElement(const char* name, const char* const* attributes, size_t count) override {
        OnNode({Kind::kElement, name, attributes, count, {}});
        ++m_depth;
    }
    void EndElement() override {
        OnEnd();
        --m_depth;
    }
    void Text(const char* text, size_t length) override {
        OnNode({Kind::kText, "", nullptr, 0, {text, length}});
    }
    void CData(const char* text, size_t length) override {
        OnNode({Kind::kCData, "", nullptr, 0, {text, length}});
    }
    void Comment(const char* text, size_t length) override {
        OnNode({Kind::kComment, "", nullptr, 0, {text, length}});
    }
    void Instruction(const char* target, const char* content) override {
        OnNode({Kind::kInstruction, target, nullptr, 0, content});
    }

private:
    enum class State {
        kRoot,          // the root: an envelope or no answer
        kSeekBody,      // the walk looks for the response
        kSeekReturned,  // the response's first child node, the return element
        kSeekIndexed,   // the index-th child of the return element
        kSet,           // inside the set's element
        kDataSet,       // inside an element that holds a DataSet
        kDone,
    };
    enum class Shape { kUndecided, kTable, kSingleRow };

    // The first child of the set's element, kept until the shape is known.
    struct First {
        Kind kind;
        std::string name;
        std::string type;
        bool nil;
        bool hasChild;
        CGathered text;  // an element's texts below it, another node's content
    };

    // A name or text in the code page.
    std::string_view Cp(std::string_view utf8, std::string& scratch) const {
        return m_utf8 ? utf8 : xml::ToCodePage(utf8, scratch);
    }

    void Fail(std::string text) {
        m_result = TableRead::kFailed;
        m_error = std::move(text);
        m_state = State::kDone;
    }

    void Finish(TableRead result) {
        m_result = result;
        m_state = State::kDone;
    }

    void OnNode(const Node& node) {
        const size_t depth = m_depth + 1;
        if (m_state == State::kRoot || m_state == State::kSeekBody) {
            if (node.IsElement()) Mark(node);
        } else if (m_watchLinks && node.IsElement() && m_state != State::kDone &&
                   m_marks.IsReference(node.attributes, node.count)) {
            m_needsLinks = true;
            return Finish(TableRead::kRead);
        }
        switch (m_state) {
            case State::kRoot:
                Root(node);
                return;
            case State::kSeekBody:
                if (node.IsElement()) {
                    if (m_walk.Element(node.name)) m_state = State::kSeekReturned;
                } else if (node.kind == Kind::kInstruction) {
                    m_walk.Instruction(node.name);
                    if (m_walk.Decided()) Finish(TableRead::kRead);  // a Body that holds nothing
                }
                return;
            case State::kSeekReturned:
                if (depth != m_walk.ResponseDepth() + 1) return;
                if (node.IsElement() && m_marks.IsRpcResult(node.name)) return;
                if (node.IsElement() && IsNil(node.attributes, node.count)) return Finish(TableRead::kRead);
                if (m_index == 0) return StartSet(node, depth);
                if (!node.IsElement()) return Finish(TableRead::kNoSuchSet);
                m_returned = depth;
                m_seen = 0;
                m_state = State::kSeekIndexed;
                return;
            case State::kSeekIndexed:
                if (depth != m_returned + 1) return;
                // A DataSet's tables are counted where the return element's children are.
                if (++m_seen == 1 && node.IsElement() && CDataSetReader::Starts(node.name))
                    return StartDataSet(node, m_returned, m_index);
                if (m_seen >= m_index) StartSet(node, depth);
                return;
            case State::kSet:
                if (depth == m_setDepth + 1 && m_children == 0 && node.IsElement() &&
                    CDataSetReader::Starts(node.name))
                    return StartDataSet(node, m_setDepth, 1);
                InSet(node, depth);
                return;
            case State::kDataSet:
                if (node.IsElement())
                    m_dataSet->Element(node.name, node.attributes, node.count, depth - m_setDepth);
                else if (node.IsText())
                    m_dataSet->Text(node.content, depth - m_setDepth);
                return;
            case State::kDone:
                return;
        }
    }

    void OnEnd() {
        const size_t depth = m_depth;  // of the element that ends
        switch (m_state) {
            case State::kSeekBody:
                m_walk.End();
                if (m_walk.Decided()) Finish(TableRead::kRead);  // a Body without an element
                return;
            case State::kSeekReturned:
                if (depth == m_walk.ResponseDepth()) Finish(TableRead::kRead);  // an empty response
                return;
            case State::kSeekIndexed:
                if (depth == m_returned) Finish(TableRead::kNoSuchSet);
                return;
            case State::kSet:
                EndInSet(depth);
                return;
            case State::kDataSet:
                if (depth == m_setDepth) {
                    std::string error;
                    const TableRead read = m_dataSet->Finish(error);
                    return read == TableRead::kFailed ? Fail(std::move(error)) : Finish(read);
                }
                m_dataSet->End(depth - m_setDepth);
                return;
            default:
                return;
        }
    }

    // What the envelope, Body and response say of the answer's references.
    void Mark(const Node& node) {
        m_marks.Element(node.attributes, node.count);
        m_watchLinks = !m_linked && !m_marks.Links().empty();
    }

    void Root(const Node& node) {
        std::string nameScratch, uriScratch;
        const char* uri =
            AttributeValue(node.attributes, node.count, RootNamespaceAttribute(node.name).c_str());
        std::string why = NotEnvelope(Cp(node.name, nameScratch), Cp(uri != nullptr ? uri : "", uriScratch));
        if (!why.empty()) return Fail(std::move(why));
        m_walk.Element(node.name);
        m_state = State::kSeekBody;
    }

    // The set's element, the return element or one of its children.
    void StartSet(const Node& node, size_t depth) {
        m_name.assign(Cp(node.Name(), m_scratch));
        if (!node.IsElement()) {
            // A text, comment or instruction has no children: a scalar of its content.
            m_type.clear();
            m_nil = false;
            return Scalar(node.content);
        }
        m_type.assign(Cp(FieldType(node.attributes, node.count), m_scratch));
        m_nil = IsNil(node.attributes, node.count);
        m_setDepth = depth;
        m_children = 0;
        m_shape = Shape::kUndecided;
        m_pendingError.clear();
        m_gathering = false;
        m_inField = false;
        m_state = State::kSet;
    }

    // The element at `holder` holds a DataSet, whose first child comes: the
    // set is its table number `table`.
    void StartDataSet(const Node& first, size_t holder, int table) {
        m_set.RemoveAll();
        m_columns.Clear();
        m_setDepth = holder;
        m_dataSet = std::make_unique<CDataSetReader>(m_set, table, m_cellLimit);
        m_state = State::kDataSet;
        m_dataSet->Element(first.name, first.attributes, first.count, 1);
    }

    void InSet(const Node& node, size_t depth) {
        if (depth == m_setDepth + 1) return Child(node);
        if (depth == m_setDepth + 2) {
            if (m_children == 1) m_first.hasChild = true;
            if (m_shape != Shape::kSingleRow) Field(node);
        }
        if (!node.IsText()) return;
        if (depth >= m_setDepth + 3 && m_inField) m_field.Add(node.content);
        if (m_gathering) (m_shape == Shape::kUndecided ? m_first.text : m_column).Add(node.content);
    }

    void EndInSet(size_t depth) {
        if (depth == m_setDepth + 2) {
            if (m_inField) EndField();
        } else if (depth == m_setDepth + 1) {
            m_gathering = false;
            if (m_shape == Shape::kSingleRow) EndColumn();
        } else if (depth == m_setDepth) {
            EndSet();
        }
    }

    // A child of the set's element: a row, a field of the single row, or
    // the first child, whose shape the next one tells.
    void Child(const Node& node) {
        ++m_children;
        if (m_children == 1) {
            m_first.kind = node.kind;
            m_first.name.assign(Cp(node.Name(), m_scratch));
            m_first.type.assign(node.IsElement() ? Cp(FieldType(node.attributes, node.count), m_scratch)
                                                 : "");
            m_first.nil = node.IsElement() && IsNil(node.attributes, node.count);
            m_first.hasChild = false;
            m_first.text.Clear();
            m_gathering = node.IsElement();
            if (!node.IsElement()) m_first.text.Add(node.content);
            return Row();
        }
        if (m_children == 2) {
            const SetShape shape =
                ShapeOf(true, m_first.name, m_first.hasChild, true, Cp(node.Name(), m_scratch));
            if (shape == SetShape::kTable) {
                m_shape = Shape::kTable;
                if (!m_pendingError.empty()) return Fail(m_pendingError);
            } else {
                SingleRow();
            }
        }
        if (m_shape == Shape::kTable) return Row();
        // A field of the single row.
        m_set.AddCol(
            Cp(node.Name(), m_scratch).data(),
            node.IsElement() ? Cp(FieldType(node.attributes, node.count), m_typeScratch).data() : "");
        m_columnNil = node.IsElement() && IsNil(node.attributes, node.count);
        m_column.Clear();
        if (node.IsElement()) {
            m_gathering = true;
        } else {
            m_column.Add(node.content);
            EndColumn();
        }
    }

    // The first child made a row of a table that turned out a single row:
    // start again with the first child as its first field.
    void SingleRow() {
        m_shape = Shape::kSingleRow;
        m_set.RemoveAll();
        m_columns.Clear();
        m_set.AddRow();
        m_set.AddCol(m_first.name.c_str(), m_first.type.c_str());
        if (!m_first.nil) SetCell(0, 0, m_first.text.View());
    }

    void EndColumn() {
        if (!m_columnNil) SetCell(0, m_set.ColCount() - 1, m_column.View());
    }

    void Row() {
        m_row = m_set.AddRow();
        m_position = 0;
        m_rowFull = false;
        m_inField = false;
        TooLarge();
    }

    void Field(const Node& node) {
        if (m_rowFull) return;
        const size_t position = m_position++;
        const int before = m_set.ColCount();
        const auto typeOf = [&] {
            return node.IsElement() ? Cp(FieldType(node.attributes, node.count), m_typeScratch).data() : "";
        };
        const int column = m_utf8 && node.IsElement()
                               ? m_columns.Find(position, node.name, typeOf)
                               : m_columns.Find(position, Cp(node.Name(), m_scratch), typeOf);
        if (m_set.ColCount() != before && TooLarge()) return;
        if (!node.IsElement()) return SetCell(m_row, column, node.content);
        m_fieldColumn = column;
        m_inField = !IsNil(node.attributes, node.count);
        m_field.Clear();
    }

    void EndField() {
        SetCell(m_row, m_fieldColumn, m_field.View());
        m_inField = false;
    }

    void EndSet() {
        if (m_shape == Shape::kUndecided) {
            const SetShape shape = ShapeOf(m_children != 0, m_first.name, m_first.hasChild, false, {});
            if (shape == SetShape::kTable) {
                if (!m_pendingError.empty()) return Fail(m_pendingError);
            } else {
                m_set.RemoveAll();
                m_columns.Clear();
                // The element's text: its one child's, when that is a text.
                const bool text =
                    m_children != 0 && m_first.kind != Kind::kComment && m_first.kind != Kind::kInstruction;
                return Scalar(text ? m_first.text.View() : std::string_view());
            }
        }
        Finish(TableRead::kRead);
    }

    void Scalar(std::string_view text) {
        m_set.AddCol(m_name.c_str(), m_type.c_str());
        m_set.AddRow();
        if (!m_nil) SetCell(0, 0, text);
        Finish(TableRead::kRead);
    }

    void SetCell(int row, int column, std::string_view utf8) {
        const std::string_view text = Cp(utf8, m_scratch);
        m_set.SetCellText(row, column, text.data(), text.size());
    }

    // True, with the failure or (for the first row, whose shape is not yet
    // known) the failure to come, when the table has passed the cell bound.
    bool TooLarge() {
        const long long rows = m_set.RowCount();
        const long long cols = m_set.ColCount();
        if (rows * cols <= m_cellLimit) return false;
        std::string message = TableTooLarge(rows, cols, m_cellLimit);
        m_rowFull = true;
        m_inField = false;
        if (m_shape == Shape::kTable)
            Fail(std::move(message));
        else
            m_pendingError = std::move(message);
        return true;
    }

    SRS& m_set;
    CTableColumns m_columns;
    const int m_index;
    const long long m_cellLimit;
    const bool m_utf8;
    const bool m_linked;

    State m_state = State::kRoot;
    TableRead m_result = TableRead::kRead;
    std::string m_error;
    size_t m_depth = 0;  // elements open
    CAnswerMarks m_marks;
    bool m_watchLinks = false;  // the answer may hold references, not yet resolved
    bool m_needsLinks = false;
    std::unique_ptr<CDataSetReader> m_dataSet;
    CResponseWalk m_walk;
    size_t m_returned = 0;  // depth of the return element (index past 0)
    int m_seen = 0;         // its children so far

    // The set's element.
    size_t m_setDepth = 0;
    std::string m_name;
    std::string m_type;
    bool m_nil = false;
    int m_children = 0;
    Shape m_shape = Shape::kUndecided;
    First m_first{};
    std::string m_pendingError;  // the first row passed the bound: a table fails

    bool m_gathering = false;  // the texts below the open child are gathered
    CGathered m_column;        // the single row's open field
    bool m_columnNil = false;

    int m_row = 0;
    size_t m_position = 0;  // of the next field in its row
    bool m_rowFull = false;
    int m_fieldColumn = 0;   // of the open field
    bool m_inField = false;  // a field whose texts are gathered (not nil)
    CGathered m_field;

    std::string m_scratch;
    std::string m_typeScratch;
};

}  // namespace

std::string TableTooLarge(long long rows, long long cols, long long cellLimit) {
    CString message;
    message.Format("Record set too large: %lld rows x %lld columns pass the limit of %lld cells", rows, cols,
                   cellLimit);
    return message.str();
}

TableRead ReadTable(const CString& text, int index, xml::XmlRoute route, long long cellLimit, SRS& set,
                    CString& error) {
    CTableSink sink(set, index, cellLimit);
    std::shared_ptr<const void> owner;
    std::string reason;
    const char* bytes = text.GetString();
    const size_t length = static_cast<size_t>(text.GetLength());
    if (!xml::ReadXml(bytes, length, sink, route, owner, reason)) {
        error = kXmlInvalid;
        return TableRead::kFailed;
    }
    if (!sink.NeedsLinks()) return sink.Result(error);
    // Shared references point anywhere in the Body, before or after: the
    // answer is loaded whole and walked again with them resolved.
    xml::CDomDocument document;
    if (!document.loadXML(bytes, length, route)) {
        error = kXmlInvalid;
        return TableRead::kFailed;
    }
    const xml::CDomNode root = document.documentElement();
    CTableSink linked(set, index, cellLimit, true);
    const size_t budget = std::max(kMaxReferencedNodes, length);
    if (!root.ReplayLinked(linked, FindDescendant(root, "Body"), sink.Links(), budget, reason)) {
        error = reason.c_str();
        return TableRead::kFailed;
    }
    return linked.Result(error);
}
