#include "HostFields.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vxhost {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr int kBands = SoundMapRecord::kUsedBands;
constexpr int kColors = SoundMapRecord::kEqualizerColors;

// Flags and bytes take any byte: the analyzer's synchronisation has rules
// for odd values, and a stand-in host must be able to produce them.
// Trig is the exception: a host only ever clears it (or re-raises it).
constexpr std::array kFields{
    FieldInfo{"MapVersion", FieldType::UInt16, VXSM_OFF_MAPVERSION, 0, false, 0, 0},
    FieldInfo{"AnalyzerActive", FieldType::Flag, VXSM_OFF_ANALYZERACTIVE, 0, false, 0, 0},
    FieldInfo{"BandLevel", FieldType::Single, VXSM_OFF_BANDLEVEL, kBands, false, 0, 0},
    FieldInfo{"EqualizerBand", FieldType::Int8, VXSM_OFF_EQUALIZERBAND, kBands, true, -128, 127},
    FieldInfo{"Gain", FieldType::Int8, VXSM_OFF_GAIN, 0, true, -128, 127},
    FieldInfo{"GainText", FieldType::ShortString, VXSM_OFF_GAINTEXT, 0, false, 0, 0},
    FieldInfo{"Trig", FieldType::Flag, VXSM_OFF_TRIG, 0, true, 0, 1},
    FieldInfo{"EqualizerColor", FieldType::Byte, VXSM_OFF_EQUALIZERCOLOR, kColors, true, 0, 255},
    FieldInfo{"ShowInput", FieldType::Byte, VXSM_OFF_SHOWINPUT, 0, true, 0, 255},
    FieldInfo{"UseFFT", FieldType::Flag, VXSM_OFF_USEFFT, 0, true, 0, 255},
    FieldInfo{"TriggerFaders", FieldType::Flag, VXSM_OFF_TRIGGERFADERS, 0, true, 0, 255},
    FieldInfo{"SoundCard", FieldType::Flag, VXSM_OFF_SOUNDCARD, 0, true, 0, 255},
    FieldInfo{"NoiseLevelSwitch", FieldType::Int32, VXSM_OFF_NOISELEVELSWITCH, 0, true, kInt32Min, kInt32Max},
    FieldInfo{"NoiseLevelValue", FieldType::Int32, VXSM_OFF_NOISELEVELVALUE, 0, true, kInt32Min, kInt32Max},
    FieldInfo{"AutoSaveChanges", FieldType::Flag, VXSM_OFF_AUTOSAVECHANGES, 0, true, 0, 255},
    FieldInfo{"RunMinimized", FieldType::Flag, VXSM_OFF_RUNMINIMIZED, 0, true, 0, 255},
    FieldInfo{"StayOnTop", FieldType::Flag, VXSM_OFF_STAYONTOP, 0, true, 0, 255},
    FieldInfo{"TrigDecay", FieldType::Int32, VXSM_OFF_TRIGDECAY, 0, true, kInt32Min, kInt32Max},
    FieldInfo{"TrigAggr", FieldType::Int32, VXSM_OFF_TRIGAGGR, 0, true, kInt32Min, kInt32Max},
    FieldInfo{"Clipping", FieldType::Flag, VXSM_OFF_CLIPPING, 0, false, 0, 0},
    FieldInfo{"FFTBandLevel", FieldType::Single, VXSM_OFF_FFTBANDLEVEL, kBands, false, 0, 0},
    FieldInfo{"Level", FieldType::Single, VXSM_OFF_LEVEL, 0, false, 0, 0},
};

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// The record is shared with another process: every access is one copy of
// the field's own width at its offset, never a cast pointer.
template <typename T>
VX_RECORD_ACCESS T Load(const SoundMapRecord& record, std::size_t offset)
{
    T v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof v);
    return v;
}

template <typename T>
VX_RECORD_ACCESS void Store(SoundMapRecord& record, std::size_t offset, T v)
{
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &v, sizeof v);
}

std::string Quote(std::string_view text)
{
    // Built in place: GCC 12 at -O3 sees a false overlap (-Wrestrict) in
    // "literal" + std::string.
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '\'';
    quoted += text;
    quoted += '\'';
    return quoted;
}

std::string FormatFloat(float v)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string QuoteC(const std::string& bytes)
{
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out + "\"";
}

// The text is in an 8-bit code page that the record does not name; Latin-1
// keeps every byte distinct and always yields valid JSON.
std::string QuoteJson(const std::string& bytes)
{
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out + "\"";
}

std::string FormatJsonValue(const SoundMapRecord& record, const FieldInfo& field, int index)
{
    if (field.type == FieldType::Single) {
        const float v = Load<float>(record, EntryOffset(field, index));
        return std::isfinite(v) ? FormatFloat(v) : "null";
    }
    if (field.type == FieldType::ShortString)
        return QuoteJson(record.GainText());
    return FormatValue(record, field, index);
}

}  // namespace

std::span<const FieldInfo> Fields()
{
    return kFields;
}

const FieldInfo* FindField(std::string_view name)
{
    for (const FieldInfo& f : kFields)
        if (EqualNoCase(f.name, name))
            return &f;
    return nullptr;
}

std::size_t FieldWidth(FieldType type)
{
    switch (type) {
    case FieldType::UInt16:
        return 2;
    case FieldType::Int32:
    case FieldType::Single:
        return 4;
    case FieldType::ShortString:
        return 1 + SoundMapRecord::kGainTextCapacity;
    case FieldType::Flag:
    case FieldType::Byte:
    case FieldType::Int8:
        return 1;
    }
    return 1;
}

std::size_t EntryOffset(const FieldInfo& field, int index)
{
    return field.offset + FieldWidth(field.type) * static_cast<std::size_t>(field.entries > 0 ? index : 0);
}

std::optional<std::int64_t> ParseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars would accept a second sign or stop early; insist on digits only.
    if (text.empty())
        return std::nullopt;
    for (char c : text) {
        const bool digit = (c >= '0' && c <= '9') ||
                           (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        if (!digit)
            return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size())
        return std::nullopt;
    constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > kMax + 1)
            return std::nullopt;
        return magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                                     : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > kMax)
        return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

std::optional<std::string> ParseAssignment(std::string_view text, Assignment& out)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return "expected NAME=VALUE, got " + Quote(text);
    std::string_view name = text.substr(0, eq);
    const std::string_view valueText = text.substr(eq + 1);

    std::optional<std::string_view> indexText;
    if (const std::size_t open = name.find('['); open != std::string_view::npos) {
        if (name.back() != ']' || open + 1 >= name.size() - 1)
            return "bad index in " + Quote(name) + " (expected NAME[i])";
        indexText = name.substr(open + 1, name.size() - open - 2);
        name = name.substr(0, open);
    }

    const FieldInfo* field = FindField(name);
    if (field == nullptr)
        return "unknown field " + Quote(name) + " (see 'vxhost set --help')";
    if (!field->hostWritable)
        return std::string(field->name) + " is a measurement of the analyzer, not writable by a host";

    int index = 0;
    if (field->entries > 0) {
        if (!indexText)
            return std::string(field->name) + " is an array: give an index, e.g. " + std::string(field->name) +
                   "[0]=...";
        int parsed = -1;
        const auto res = std::from_chars(indexText->data(), indexText->data() + indexText->size(), parsed);
        const bool whole = res.ec == std::errc() && res.ptr == indexText->data() + indexText->size();
        if (!whole || parsed < 0 || parsed >= field->entries)
            return "index " + Quote(*indexText) + " out of range for " + std::string(field->name) + " (0.." +
                   std::to_string(field->entries - 1) + ")";
        index = parsed;
    } else if (indexText) {
        return std::string(field->name) + " is not an array and takes no index";
    }

    const std::optional<std::int64_t> value = ParseInteger(valueText);
    if (!value)
        return "value " + Quote(valueText) + " for " + std::string(field->name) +
               " is not an integer (decimal or 0x hex)";
    if (*value < field->minValue || *value > field->maxValue)
        return "value " + Quote(valueText) + " does not fit " + std::string(field->name) + " (" +
               std::to_string(field->minValue) + ".." + std::to_string(field->maxValue) + ")";

    out = Assignment{field, index, *value};
    return std::nullopt;
}

ParseResult ParseAssignments(std::span<const std::string> args)
{
    ParseResult result;
    for (const std::string& arg : args) {
        Assignment a;
        if (auto error = ParseAssignment(arg, a))
            result.errors.push_back(std::move(*error));
        else
            result.assignments.push_back(a);
    }
    return result;
}

void Apply(SoundMapRecord& record, const Assignment& a)
{
    const std::size_t offset = EntryOffset(*a.field, a.index);
    switch (a.field->type) {
    case FieldType::Flag:
    case FieldType::Byte:
        Store(record, offset, static_cast<std::uint8_t>(a.value));
        break;
    case FieldType::Int8:
        Store(record, offset, static_cast<std::int8_t>(a.value));
        break;
    case FieldType::Int32:
        Store(record, offset, static_cast<std::int32_t>(a.value));
        break;
    case FieldType::UInt16:
        Store(record, offset, static_cast<std::uint16_t>(a.value));
        break;
    case FieldType::Single:
    case FieldType::ShortString:
        // Measurements only; ParseAssignment never yields these.
        break;
    }
}

std::string FormatValue(const SoundMapRecord& record, const FieldInfo& field, int index)
{
    const std::size_t offset = EntryOffset(field, index);
    switch (field.type) {
    case FieldType::UInt16:
        return std::to_string(Load<std::uint16_t>(record, offset));
    case FieldType::Flag:
    case FieldType::Byte:
        return std::to_string(Load<std::uint8_t>(record, offset));
    case FieldType::Int8:
        return std::to_string(Load<std::int8_t>(record, offset));
    case FieldType::Int32:
        return std::to_string(Load<std::int32_t>(record, offset));
    case FieldType::Single:
        return FormatFloat(Load<float>(record, offset));
    case FieldType::ShortString:
        return QuoteC(record.GainText());
    }
    return {};
}

std::string DumpText(const SoundMapRecord& record)
{
    std::string out;
    for (const FieldInfo& f : kFields) {
        out += f.name;
        out += " = ";
        if (f.entries == 0) {
            out += FormatValue(record, f, 0);
        } else {
            out += '[';
            for (int i = 0; i < f.entries; ++i) {
                if (i > 0)
                    out += ", ";
                out += FormatValue(record, f, i);
            }
            out += ']';
        }
        out += '\n';
    }
    return out;
}

std::string DumpJson(const SoundMapRecord& record)
{
    std::string out = "{\n";
    bool first = true;
    for (const FieldInfo& f : kFields) {
        if (!first)
            out += ",\n";
        first = false;
        out += "  \"";
        out += f.name;
        out += "\": ";
        if (f.entries == 0) {
            out += FormatJsonValue(record, f, 0);
        } else {
            out += '[';
            for (int i = 0; i < f.entries; ++i) {
                if (i > 0)
                    out += ", ";
                out += FormatJsonValue(record, f, i);
            }
            out += ']';
        }
    }
    out += "\n}\n";
    return out;
}

}  // namespace vxhost
