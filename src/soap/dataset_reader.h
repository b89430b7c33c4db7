// The tables of a .NET DataSet answer: an XML Schema that names the tables
// and their typed columns, followed by a diffgram that holds their rows.
// The table sink hands it the nodes below the element that holds the two.
#ifndef ORVEX_SOAP_DATASET_READER_H
#define ORVEX_SOAP_DATASET_READER_H

#include "soap/table_sink.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class SRS;

class CDataSetReader {
public:
    // Fills `set` with table number `table` (from 1) of the DataSet.
    CDataSetReader(SRS& set, int table, long long cellLimit);
    ~CDataSetReader();
    CDataSetReader(const CDataSetReader&) = delete;
    CDataSetReader& operator=(const CDataSetReader&) = delete;

    // Whether an element that comes first in the holding element starts a
    // DataSet: a schema, or a diffgram without one.
    static bool Starts(std::string_view name);

    // The nodes below the holding element, its children at depth 1; names
    // and texts in UTF-8.
    void Element(std::string_view name, const char* const* attributes, size_t count, size_t depth);
    void Text(std::string_view text, size_t depth);
    void End(size_t depth);
    // At the holding element's end: kNoSuchSet when the DataSet has fewer
    // tables; kFailed with the text when the table passed the cell bound.
    TableRead Finish(std::string& error);
    bool Failed() const { return !m_error.empty(); }

private:
    struct SchemaNode;
    struct Column {
        std::string raw;  // as rows write it
        std::string type;
    };
    struct Table {
        std::string raw;
        std::vector<Column> columns;
    };
    enum class Part { kNone, kSchema, kDiffgram, kSkipped };

    void SchemaEnded();
    void Wanted(const Table& table);
    int ColumnOf(std::string_view raw);
    void AddColumn(std::string_view raw, const std::string& type);
    bool TooLarge();

    SRS& m_set;
    const size_t m_table;
    const long long m_cellLimit;
    const bool m_utf8;
    std::string m_error;

    Part m_part = Part::kNone;
    bool m_schemaRead = false;
    std::unique_ptr<SchemaNode> m_schema;
    std::vector<SchemaNode*> m_schemaOpen;
    std::vector<Table> m_tables;  // the schema's, or the diffgram's as they come
    std::string m_wanted;         // the raw name of the table read
    bool m_found = false;         // the wanted table is known
    size_t m_skipBelow = 0;       // a subtree passed over: its depth

    // The rows of the wanted table.
    std::vector<std::string> m_columns;  // raw names, in the set's order
    std::unordered_map<std::string, int> m_byName;
    bool m_inRow = false;
    int m_row = -1;
    size_t m_position = 0;
    int m_field = -1;
    size_t m_pieces = 0;       // of the field's text
    std::string_view m_first;  // its first piece, in the document
    std::string m_text;        // its pieces joined, when more than one
    std::string m_scratch;
};

#endif
