// The database seam: what the export needs of the hotel's Jet databases, and
// only that. OpenDatabase by bare file name in the working directory,
// OpenRecordset on a table name or a SELECT text, walking the records with
// FindFirst / FindNext / NoMatch and reading Fields by name. Every failure
// (missing file, unknown table or column, malformed criteria, corrupt file)
// raises RunError naming the database, the table and the text.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace velmora {

// A column value of the current record: Null, text (UTF-8) or number.
class FieldValue {
public:
    FieldValue() = default;  // Null
    static FieldValue text(std::string t) { return FieldValue(Data(std::move(t))); }
    static FieldValue number(double n) { return FieldValue(Data(n)); }

    bool isNull() const { return std::holds_alternative<std::monostate>(m_data); }
    bool isText() const { return std::holds_alternative<std::string>(m_data); }
    bool isNumber() const { return std::holds_alternative<double>(m_data); }

    // The text; empty for Null; a number as decimal text: integers without a
    // decimal point (4521, -3), others in their shortest exact form (0.3).
    std::string asText() const;
    // The number; a text reads through numericValue; Null reads 0.
    double asNumber() const;

    bool operator==(const FieldValue& o) const { return m_data == o.m_data; }

private:
    using Data = std::variant<std::monostate, std::string, double>;
    explicit FieldValue(Data d) : m_data(std::move(d)) {}
    Data m_data;
};

// Record set type accepted by OpenRecordset: 2, a dynaset.
inline constexpr int dbOpenDynaset = 2;

class Recordset {
public:
    virtual ~Recordset() = default;
    // Makes current the first record that satisfies the criteria.
    virtual void FindFirst(std::string_view criteria) = 0;
    // Makes current the next record after the current one that satisfies it.
    virtual void FindNext(std::string_view criteria) = 0;
    // Whether the last find found nothing (then no field may be read).
    virtual bool NoMatch() const = 0;
    // The named column of the current record.
    virtual FieldValue Fields(std::string_view name) const = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // A table name ("CodiciVari") or "Select * From T Where ... Order by a,b;".
    virtual std::unique_ptr<Recordset> OpenRecordset(std::string_view source, int type) = 0;
    virtual void Close() = 0;
};

class DBEngine {
public:
    virtual ~DBEngine() = default;
    virtual std::unique_ptr<Database> OpenDatabase(std::string_view name) = 0;
    // A new document is about to be built: files read before may have changed
    // since. An engine that keeps what it read checks each file's identity
    // again at its next open, and only then.
    virtual void beginDocument() {}
};

}  // namespace velmora
