// The columns of a table read from a response, found for each field by its
// position in the row and its name, as both table readers find them.
#ifndef ORVEX_SOAP_TABLE_COLUMNS_H
#define ORVEX_SOAP_TABLE_COLUMNS_H

#include <orvex/cstring.h>

#include "recordset/srs.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class CTableColumns {
public:
    explicit CTableColumns(SRS& set) : m_set(set) {}

    // The column of the field at `position` in its row named `name`, added
    // to the set with the type typeOf() gives when the name is new.
    // Inlined in the walk of a table's fields, where it runs once a field.
    template <typename TypeOf>
    __attribute__((always_inline)) int Find(size_t position, std::string_view name, TypeOf&& typeOf) {
        // Rows repeat their fields: the column found for a name at a field
        // position is remembered, so the name is looked up only when the name there changes.
        if (position < m_known.size() && m_known[position].name == name) return m_known[position].column;
        const CString columnName(name.data(), static_cast<int>(name.size()));
        m_folded = columnName;
        m_folded.MakeLower();
        // Columns by their whole name, letter case folded as FindCol folds it:
        // "x" is a column of its own beside "a:x", and a table of ever new names
        // costs no scan of the columns per name.
        const auto found = m_columns.emplace(m_folded.str(), m_set.ColCount());
        if (found.second) m_set.AddCol(columnName, std::forward<TypeOf>(typeOf)());
        if (position >= m_known.size()) m_known.resize(position + 1);
        m_known[position] = Known{std::string(name), found.first->second};
        return found.first->second;
    }

    // The same for a zero-terminated UTF-8 name, measured only when it is not
    // the one remembered at the position: measuring and comparing every
    // field's name was a fourteenth of reading a 100,000-row answer.
    template <typename TypeOf>
    __attribute__((always_inline)) int Find(size_t position, const char* name, TypeOf&& typeOf) {
        if (position < m_known.size() && Same(m_known[position].name, name)) return m_known[position].column;
        return Find(position, std::string_view(name), std::forward<TypeOf>(typeOf));
    }

    // Forgets every column, for a set emptied to be filled again.
    void Clear() {
        m_known.clear();
        m_columns.clear();
    }

private:
    // Whether the zero-terminated name is the known one; stops at the
    // first byte that differs, the name's zero included.
    static bool Same(const std::string& known, const char* name) {
        for (size_t i = 0; i < known.size(); ++i)
            if (name[i] != known[i]) return false;
        return name[known.size()] == '\0';
    }

    struct Known {
        std::string name;
        int column;
    };

    SRS& m_set;
    std::vector<Known> m_known;
    std::unordered_map<std::string, int> m_columns;
    CString m_folded;
};

#endif
