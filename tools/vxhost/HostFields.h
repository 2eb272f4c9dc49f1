// The record as a host sees it: every field by name, with its type and
// whether a host may write it; parsing of NAME=VALUE assignments and the
// dump formats. No segment handling here, so all of it works on any
// SoundMapRecord (tests use one on the stack).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "SoundMapRecord.h"

namespace vxhost {

enum class FieldType {
    UInt16,       // MapVersion
    Flag,         // one byte, 0/1 by convention; a host may write any byte
    Byte,         // unsigned byte
    Int8,         // signed byte
    Int32,        // 32-bit signed
    Single,       // 32-bit float
    ShortString,  // length byte + characters (GainText)
};

struct FieldInfo {
    std::string_view name;
    FieldType type;
    std::size_t offset;  // of the field, or of entry 0 of an array
    int entries;         // 0 = a single value, else the used entries
    bool hostWritable;
    std::int64_t minValue;  // accepted on a host write (writable fields only)
    std::int64_t maxValue;
};

// Every field of the record, in record order.
std::span<const FieldInfo> Fields();
// Case-insensitive; the bare name without an index. Null if unknown.
const FieldInfo* FindField(std::string_view name);
std::size_t FieldWidth(FieldType type);
// Offset of entry `index` (0 for single values).
std::size_t EntryOffset(const FieldInfo& field, int index);

// Decimal with optional sign, or 0x hex (also after a sign). Nullopt when
// it is not such a number or does not fit 64 bits.
std::optional<std::int64_t> ParseInteger(std::string_view text);

struct Assignment {
    const FieldInfo* field = nullptr;
    int index = 0;
    std::int64_t value = 0;
};

struct ParseResult {
    std::vector<Assignment> assignments;
    std::vector<std::string> errors;  // one message per bad argument
    bool Ok() const { return errors.empty(); }
};

// One "NAME=VALUE" or "NAME[i]=VALUE". Returns the error text, or nullopt
// with `out` filled.
std::optional<std::string> ParseAssignment(std::string_view text, Assignment& out);
// All of them; every error is collected so the user sees them at once.
ParseResult ParseAssignments(std::span<const std::string> args);

// Stores one validated assignment with a single store of the field's width.
void Apply(SoundMapRecord& record, const Assignment& assignment);

// One entry's value as text: integers in decimal, floats in the shortest
// form that reads back to the same single, GainText quoted with C escapes.
std::string FormatValue(const SoundMapRecord& record, const FieldInfo& field, int index);

// "Name = value" per line; arrays as "[a, b, ...]" with their used entries.
std::string DumpText(const SoundMapRecord& record);
// One JSON object; arrays as JSON arrays, non-finite floats as null,
// GainText bytes read as Latin-1.
std::string DumpJson(const SoundMapRecord& record);

}  // namespace vxhost
