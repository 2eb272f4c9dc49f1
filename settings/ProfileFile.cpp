#include "ProfileFile.h"

#include <charconv>
#include <filesystem>
#include <vector>

#include "Platform.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// One line of the file: text without its terminator, and the terminator's
// length (0 for a last line without newline, 1 for LF, 2 for CRLF).
struct TLine {
    std::size_t Begin;
    std::size_t End;
    std::size_t EolLength;
};

std::vector<TLine> SplitLines(std::string_view content)
{
    std::vector<TLine> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back({pos, content.size(), 0});
            break;
        }
        bool crlf = nl > pos && content[nl - 1] == '\r';
        lines.push_back({pos, crlf ? nl - 1 : nl, crlf ? 2u : 1u});
        pos = nl + 1;
    }
    return lines;
}

// The text a line is parsed from; a BOM an editor put at the start of the
// file must not hide the first section header.
std::string_view LineText(std::string_view content, const TLine& line)
{
    std::string_view text = content.substr(line.Begin, line.End - line.Begin);
    if (line.Begin == 0 && text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    return Trim(text);
}

// Section name if the line is a header. A '[' line without ']' still ends
// the section before it, so that junk cannot slip keys into it.
std::optional<std::string_view> HeaderName(std::string_view text)
{
    if (text.empty() || text.front() != '[') return std::nullopt;
    text.remove_prefix(1);
    std::size_t close = text.find(']');
    if (close != std::string_view::npos) text = text.substr(0, close);
    return Trim(text);
}

bool IsComment(std::string_view text) { return !text.empty() && text.front() == ';'; }

// Key and value text if the line is a "key=value" line.
bool SplitKeyLine(std::string_view text, std::string_view& key, std::string_view& value)
{
    if (IsComment(text)) return false;
    std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(text.substr(0, eq));
    value = text.substr(eq + 1);
    return true;
}

// Where a section is: its header line, and one past its last line.
struct TSectionSpan {
    std::size_t Header;
    std::size_t End;
};

std::optional<TSectionSpan> FindSection(std::string_view content, const std::vector<TLine>& lines,
                                        std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto name = HeaderName(LineText(content, lines[i]));
        if (!name || !SameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !HeaderName(LineText(content, lines[end]))) ++end;
        return TSectionSpan{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(std::string_view content, const std::vector<TLine>& lines,
                                   const TSectionSpan& span, std::string_view key)
{
    for (std::size_t i = span.Header + 1; i < span.End; ++i) {
        std::string_view k, v;
        if (SplitKeyLine(LineText(content, lines[i]), k, v) && SameName(k, key)) return i;
    }
    return std::nullopt;
}

bool HasLineBreakOrNul(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

void CheckNames(std::string_view section, std::string_view key)
{
    if (HasLineBreakOrNul(section) || section.find(']') != std::string_view::npos || Trim(section).empty())
        throw std::invalid_argument("Invalid profile section name");
    if (HasLineBreakOrNul(key) || key.find('=') != std::string_view::npos || Trim(key).empty() ||
        key.front() == '[' || key.front() == ';')
        throw std::invalid_argument("Invalid profile key name");
}

} // namespace

EProfileWriteError::EProfileWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + path), path_(path)
{
}

std::optional<std::int32_t> ParseProfileInteger(std::string_view text)
{
    text = Trim(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        // By value: leading zeros do not count against the 32 bits.
        std::string_view digits = text.substr(2);
        std::uint32_t bits = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), bits, 16);
        if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        return static_cast<std::int32_t>(bits);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    std::int64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::string> ProfileLookup(std::string_view content, std::string_view section,
                                         std::string_view key)
{
    auto lines = SplitLines(content);
    auto span = FindSection(content, lines, section);
    if (!span) return std::nullopt;
    auto index = FindKey(content, lines, *span, key);
    if (!index) return std::nullopt;
    std::string_view k, value;
    SplitKeyLine(LineText(content, lines[*index]), k, value);
    // Callers take values as C strings: the text ends at a NUL.
    value = Trim(value.substr(0, value.find('\0')));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, kProfileStringMax));
}

std::string ProfileReplace(std::string_view content, std::string_view section, std::string_view key,
                           std::string_view value)
{
    auto lines = SplitLines(content);
    // New lines take the file's own line ending; LF for a file without one.
    std::string_view eol = "\n";
    for (const TLine& line : lines) {
        if (line.EolLength == 2) eol = "\r\n";
        if (line.EolLength != 0) break;
    }
    std::string keyLine = std::string(key) + "=" + std::string(value);
    std::string out;
    out.reserve(content.size() + keyLine.size() + section.size() + 8);

    auto span = FindSection(content, lines, section);
    if (!span) {
        out.append(content);
        if (!out.empty() && out.back() != '\n') out.append(eol);
        out.append("[").append(section).append("]").append(eol);
        out.append(keyLine).append(eol);
        return out;
    }
    if (auto index = FindKey(content, lines, *span, key)) {
        const TLine& line = lines[*index];
        out.append(content.substr(0, line.Begin));
        out.append(keyLine);
        out.append(content.substr(line.End));
        return out;
    }
    // A new key goes after the section's last non-blank line, so that the
    // blank lines separating it from the next section stay where they are.
    std::size_t after = span->Header;
    for (std::size_t i = span->Header + 1; i < span->End; ++i)
        if (!LineText(content, lines[i]).empty()) after = i;
    const TLine& line = lines[after];
    std::size_t cut = line.End + line.EolLength;
    out.append(content.substr(0, cut));
    if (line.EolLength == 0) out.append(eol);
    out.append(keyLine).append(eol);
    out.append(content.substr(cut));
    return out;
}

TProfileFile::TProfileFile(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    path_ = ec ? path : full.string();
}

std::optional<std::string> TProfileFile::ReadValue(std::string_view section, std::string_view key) const
{
    if (held_) return ProfileLookup(held_->Content, section, key);
    if (holding_ && snapshot_) return *snapshot_ ? ProfileLookup(**snapshot_, section, key) : std::nullopt;
    std::string target, content;
    const bool read = VxPlatform::LinkTarget(path_, target) &&
                      VxPlatform::ReadRegularFile(target, content) == VxPlatform::EReadResult::Ok;
    if (holding_) snapshot_ = read ? std::optional<std::string>(std::move(content)) : std::nullopt;
    if (!read) return std::nullopt;
    return ProfileLookup(holding_ ? **snapshot_ : content, section, key);
}

std::int32_t TProfileFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const
{
    auto text = ReadValue(section, key);
    if (!text) return def;
    return ParseProfileInteger(*text).value_or(def);
}

bool TProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    auto text = ReadValue(section, key);
    return text ? *text : std::string(def.substr(0, kProfileStringMax));
}

void TProfileFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    CheckNames(section, key);
    if (HasLineBreakOrNul(value)) throw std::invalid_argument("Invalid profile value");
    // Reads trim blanks and remove one pair of quotes: quote such values so
    // that they read back as written.
    std::string text(value);
    if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"')))
        text = "\"" + text + "\"";

    if (!held_) held_ = OpenForWrite();
    held_->Content = ProfileReplace(held_->Content, section, key, text);
    if (!holding_) Flush();
}

TProfileFile::TOpened TProfileFile::OpenForWrite() const
{
    TOpened file;
    // Write through a symbolic link rather than replace the link.
    if (!VxPlatform::LinkTarget(path_, file.Target)) throw EProfileWriteError(path_);
    switch (VxPlatform::ReadRegularFile(file.Target, file.Content)) {
    case VxPlatform::EReadResult::Ok:
        file.Exists = true;
        break;
    case VxPlatform::EReadResult::Missing:
        break;
    case VxPlatform::EReadResult::Failed:
        // Never replace a file we could not read: the user's lines would go.
        throw EProfileWriteError(path_);
    }
    // A file the user may not write stays as it is, whatever the folder allows.
    if (file.Exists && !VxPlatform::MayWriteFile(file.Target)) throw EProfileWriteError(path_);
    return file;
}

void TProfileFile::Hold()
{
    holding_ = true;
}

void TProfileFile::Flush()
{
    holding_ = false;
    snapshot_.reset();
    if (!held_) return;
    const TOpened file = std::move(*held_);
    held_.reset();
    if (VxPlatform::MayReplaceFile(file.Target) && VxPlatform::ReplaceFileContent(file.Target, file.Content)) return;
    if (!file.Exists || !VxPlatform::RewriteFileInPlace(file.Target, file.Content)) throw EProfileWriteError(path_);
}
