#include "soap/dataset_reader.h"

#include "platform/ascii.h"
#include "platform/utf.h"
#include "recordset/srs.h"
#include "soap/soap_answer.h"
#include "xml/xml_dom.h"

#include <utility>

namespace {

std::string_view Local(std::string_view name) {
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// A name as DataSets write what XML names cannot hold: "_x0020_" for a blank.
std::string DecodeName(std::string_view raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '_' && i + 6 < raw.size() && raw[i + 1] == 'x' && raw[i + 6] == '_') {
            unsigned code = 0;
            bool hex = true;
            for (size_t k = 2; k < 6 && hex; ++k) {
                const int digit = ascii::HexValue(raw[i + k]);
                hex = digit >= 0;
                code = code * 16 + static_cast<unsigned>(digit);
            }
            // A surrogate half is no character of its own: the text stays as written.
            if (hex && code != 0 && (code < 0xD800 || code > 0xDFFF)) {
                utf::AppendCodePointAsUtf8(code, out);
                i += 6;
                continue;
            }
        }
        out += raw[i];
    }
    return out;
}

}  // namespace

// An element of the schema, with what a table or column says of itself.
struct CDataSetReader::SchemaNode {
    std::string local;
    std::string name, type, ref, base;
    bool dataSet = false;
    std::vector<std::unique_ptr<SchemaNode>> children;

    const SchemaNode* Child(std::string_view wanted) const {
        for (const auto& child : children)
            if (child->local == wanted) return child.get();
        return nullptr;
    }
    // The elements of a complex type's group (sequence, choice or all).
    std::vector<const SchemaNode*> Fields() const {
        std::vector<const SchemaNode*> out;
        const SchemaNode* complex = Child("complexType");
        if (complex == nullptr) return out;
        for (const auto& group : complex->children)
            if (group->local == "sequence" || group->local == "choice" || group->local == "all")
                for (const auto& item : group->children)
                    if (item->local == "element") out.push_back(item.get());
        return out;
    }
};

CDataSetReader::CDataSetReader(SRS& set, int table, long long cellLimit)
    : m_set(set),
      m_table(static_cast<size_t>(table < 1 ? 1 : table)),
      m_cellLimit(cellLimit),
      m_utf8(xml::CodePageIsUtf8()) {}

CDataSetReader::~CDataSetReader() = default;

bool CDataSetReader::Starts(std::string_view name) {
    const std::string_view local = Local(name);
    return local == "schema" || local == "diffgram";
}

void CDataSetReader::Element(std::string_view name, const char* const* attributes, size_t count,
                             size_t depth) {
    if (Failed() || (m_skipBelow != 0 && depth > m_skipBelow)) return;
    m_skipBelow = 0;
    if (depth == 4 && m_inRow) {  // a field of a row read: the most frequent by far
        m_field = ColumnOf(name);
        m_pieces = 0;
        ++m_position;
        return;
    }
    const std::string_view local = Local(name);
    if (depth == 1) {
        m_part = Part::kSkipped;
        if (local == "schema" && !m_schemaRead) m_part = Part::kSchema;
        if (local == "diffgram") m_part = Part::kDiffgram;
        if (m_part == Part::kSkipped) m_skipBelow = 1;
        if (m_part != Part::kSchema) return;
    }
    if (m_part == Part::kSchema) {
        auto node = std::make_unique<SchemaNode>();
        node->local.assign(local);
        for (size_t i = 0; i < count; ++i) {
            const std::string_view attribute = attributes[2 * i];
            const char* value = attributes[2 * i + 1];
            if (attribute == "name")
                node->name = value;
            else if (attribute == "type")
                node->type = value;
            else if (attribute == "ref")
                node->ref = value;
            else if (attribute == "base")
                node->base = value;
            else if (Local(attribute) == "IsDataSet")
                node->dataSet = std::string_view(value) == "true";
            else if (Local(attribute) == "DataType")
                node->type = "string";  // a .NET type: its text
        }
        SchemaNode* raw = node.get();
        if (m_schemaOpen.empty())
            m_schema = std::move(node);
        else
            m_schemaOpen.back()->children.push_back(std::move(node));
        m_schemaOpen.push_back(raw);
        return;
    }
    if (m_part != Part::kDiffgram) return;
    if (depth == 2) {
        // The DataSet's own element holds the rows; the rows before a
        // change and the errors of rows are no data.
        if (local == "before" || local == "errors") m_skipBelow = 2;
        return;
    }
    if (depth == 3) {
        m_inRow = false;
        if (!m_schemaRead) {
            // Without a schema the tables come in the order their rows first do.
            bool known = false;
            for (const Table& table : m_tables) known = known || table.raw == name;
            if (!known) {
                m_tables.push_back({std::string(name), {}});
                if (m_tables.size() == m_table) Wanted(m_tables.back());
            }
        }
        if (!m_found || name != m_wanted) {
            m_skipBelow = 3;
            return;
        }
        m_inRow = true;
        m_row = m_set.AddRow();
        m_position = 0;
        TooLarge();  // past the bound, every node after is passed over
        return;
    }
    m_skipBelow = depth;  // below a field: a nested table's rows, not this one's
}

void CDataSetReader::Text(std::string_view text, size_t depth) {
    if (m_part != Part::kDiffgram || depth != 5 || m_field < 0 || m_skipBelow != 0) return;
    // One piece is kept as a view of the document; more are joined.
    if (m_pieces++ == 0) {
        m_first = text;
        return;
    }
    if (m_pieces == 2) m_text.assign(m_first);
    m_text.append(text);
}

void CDataSetReader::End(size_t depth) {
    if (Failed()) return;
    if (m_part == Part::kSchema) {
        m_schemaOpen.pop_back();
        if (m_schemaOpen.empty()) SchemaEnded();
        return;
    }
    if (m_skipBelow != 0) {
        if (depth == m_skipBelow) m_skipBelow = 0;
        return;
    }
    if (m_part != Part::kDiffgram) return;
    if (depth == 4 && m_field >= 0) {
        const std::string_view utf8 = m_pieces > 1 ? std::string_view(m_text) : m_pieces == 1 ? m_first : "";
        const std::string_view text = m_utf8 ? utf8 : xml::ToCodePage(utf8, m_scratch);
        m_set.SetCellText(m_row, m_field, text.data(), text.size());
        m_field = -1;
    } else if (depth == 3) {
        m_inRow = false;
    }
}

void CDataSetReader::SchemaEnded() {
    m_schemaRead = true;
    m_part = Part::kNone;
    if (!m_schema) return;
    std::vector<const SchemaNode*> top;
    for (const auto& child : m_schema->children)
        if (child->local == "element") top.push_back(child.get());
    const SchemaNode* dataSet = nullptr;
    for (const SchemaNode* element : top)
        if (element->dataSet && dataSet == nullptr) dataSet = element;
    if (dataSet == nullptr && !top.empty()) dataSet = top.front();
    if (dataSet != nullptr) {
        for (const SchemaNode* item : dataSet->Fields()) {
            const SchemaNode* definition = item;
            if (!item->ref.empty()) {
                definition = nullptr;
                const std::string_view wanted = Local(item->ref);
                for (const SchemaNode* element : top)
                    if (element->name == wanted) definition = element;
                if (definition == nullptr) continue;
            }
            if (definition->Child("complexType") == nullptr) continue;  // no table
            Table table{definition->name, {}};
            for (const SchemaNode* field : definition->Fields()) {
                if (field->Child("complexType") != nullptr) continue;  // a nested table
                std::string type = field->type;
                if (type.empty())
                    if (const SchemaNode* simple = field->Child("simpleType"))
                        if (const SchemaNode* restriction = simple->Child("restriction"))
                            type = restriction->base;
                table.columns.push_back({field->name, type.empty() ? "string" : type});
            }
            m_tables.push_back(std::move(table));
        }
    }
    m_schema.reset();
    if (m_tables.size() >= m_table) Wanted(m_tables[m_table - 1]);
}

void CDataSetReader::Wanted(const Table& table) {
    m_found = true;
    m_wanted = table.raw;
    const std::string name = DecodeName(table.raw);
    m_set.m_strName = m_utf8 ? name.c_str() : xml::ToCodePage(name, m_scratch).data();
    for (const Column& column : table.columns) AddColumn(column.raw, column.type);
}

void CDataSetReader::AddColumn(std::string_view raw, const std::string& type) {
    const std::string name = DecodeName(raw);
    std::string converted;
    const std::string_view shown = m_utf8 ? std::string_view(name) : xml::ToCodePage(name, converted);
    m_byName.emplace(std::string(raw), m_set.ColCount());
    m_columns.emplace_back(raw);
    m_set.AddCol(std::string(shown).c_str(), type.c_str());
}

int CDataSetReader::ColumnOf(std::string_view raw) {
    // Rows write their fields in the columns' order, leaving out the null ones.
    if (m_position < m_columns.size() && m_columns[m_position] == raw) return static_cast<int>(m_position);
    const auto it = m_byName.find(std::string(raw));
    if (it != m_byName.end()) {
        m_position = static_cast<size_t>(it->second);
        return it->second;
    }
    AddColumn(raw, m_schemaRead ? "string" : "");
    if (TooLarge()) return -1;
    m_position = m_columns.size() - 1;
    return static_cast<int>(m_position);
}

bool CDataSetReader::TooLarge() {
    const long long rows = m_set.RowCount();
    const long long cols = m_set.ColCount();
    if (rows * cols <= m_cellLimit) return false;
    m_error = TableTooLarge(rows, cols, m_cellLimit);
    return true;
}

TableRead CDataSetReader::Finish(std::string& error) {
    if (Failed()) {
        error = m_error;
        return TableRead::kFailed;
    }
    return m_found ? TableRead::kRead : TableRead::kNoSuchSet;
}
