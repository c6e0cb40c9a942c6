// A row split into its columns' fields, and each field decoded to a value:
// text (Text, Memo, Replication ID), a number (every numeric kind, Yes/No,
// dates), Null; a column of a kind not read is unsupported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/JetFile.h"
#include "jet/JetText.h"
#include "jet/RowWalk.h"
#include "jet/Table.h"
#include "jet/TableDefinition.h"

namespace velmora::jet {

// One column's field in a row: Null (or absent: the row predates the
// column), or the bytes row[start, start + size). A Yes/No value is the null
// mask's bit itself: set is Yes.
struct Field {
    bool null = true;
    std::size_t start = 0, size = 0;
};

// Splits rows of one table into the fields of its columns. A row holds a
// column count, the fixed-length columns, the variable-length data, then
// (when the table has variable-length columns) the end of that data and
// their offsets, last to first, and their count, and last the null mask, one
// bit a column number. Jet 3 keeps the offsets in one byte each, with a
// table of the 256-byte boundaries they cross.
class RowCracker {
public:
    RowCracker(const JetFormat& format, const TableDef& table) : m_f(format), m_table(table) {}

    // Splits a row of `size` bytes: fields()[i] is table.columns[i]'s field.
    // False when the row's layout is impossible.
    bool crack(const unsigned char* row, std::size_t size);
    const std::vector<Field>& fields() const { return m_fields; }

private:
    bool varOffsets(const unsigned char* row, std::size_t size, std::size_t trailer);

    const JetFormat& m_f;
    const TableDef& m_table;
    std::vector<Field> m_fields;
    std::vector<std::size_t> m_offsets;  // the variable-length data's, then its end
    std::size_t m_tableStart = 0;        // where the table of offsets starts
};

enum class Decode : std::uint8_t {
    Text,
    Memo,
    Guid,
    Bool,
    Byte,
    Int16,
    Int32,
    Single,
    Double,
    Money,
    Unsupported
};

// How a column is decoded: calculated columns only when their result is
// text (see FieldDecoder::decode).
Decode decodeOf(const ColumnDef& column);
ColumnKind kindOf(Decode d);

struct Decoded {
    enum class Kind : std::uint8_t { Null, Text, Number, Unreadable };
    Kind kind = Kind::Null;
    std::string_view text;  // valid until the decoder's next call
    double number = 0;
};

class FieldDecoder {
public:
    explicit FieldDecoder(const JetFile& file)
        : m_file(file),
          m_form(file.format().jet3 ? JetTextForm::Jet3Cp1252 : JetTextForm::Jet4) {}

    // The value of one field of a row. Unreadable: a calculated value whose
    // header does not hold it. Throws MdbFileError (Damaged) for a value
    // that cannot be as stored (a number of the wrong size, a broken memo).
    Decoded decode(const ColumnDef& column, Decode d, const unsigned char* row, const Field& f,
                   const RowPlace& at);

private:
    Decoded text(std::string value);
    Decoded calculated(const unsigned char* v, std::size_t size);

    const JetFile& m_file;
    JetTextForm m_form;
    std::string m_text;
    PageBuffer m_longValue;
};

}  // namespace velmora::jet
