// Profile (INI) file: "key=value" lines under "[section]" headers.
//
// Reads and writes follow the profile-file rules the settings rely on:
// section and key names match without regard to case (ASCII), the first of
// duplicate sections or keys counts, every write reaches the file at once
// (or, held, with the others at the next Flush) and leaves every other line
// of the file as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// A write that did not reach the file. The message is exactly
// "Unable to write to <full path>"; users see it in the error box.
class EProfileWriteError : public std::runtime_error {
public:
    explicit EProfileWriteError(const std::string& path);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Longest string a read returns; longer values are cut.
inline constexpr std::size_t kProfileStringMax = 2047;

class TProfileFile {
public:
    // No I/O here: the file need not exist until the first write. A relative
    // path is made absolute so that error messages name the full path.
    explicit TProfileFile(const std::string& path);
    virtual ~TProfileFile() = default;

    const std::string& FileName() const { return path_; }

    // Missing file, section or key, or a value that does not convert as a
    // whole, gives the default.
    // Every integer and boolean read goes through ReadInteger, every write
    // through WriteString: virtual so that a test can watch the order.
    virtual std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
    // Read as an integer (default 1 or 0); any non-zero value is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    // At most kProfileStringMax characters; one pair of surrounding double
    // quotes is removed.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def = {}) const;

    // Each write reaches the file at once (the file and the section are
    // created if missing) and raises EProfileWriteError if it cannot, or if
    // the user may not write the file: read-only, not a regular file, or a
    // link that must not be followed (VxPlatform::LinkTarget). A symbolic
    // link stays a link: the file it names is written. Where the folder
    // allows it, the file is replaced through a sibling and a rename
    // (crash-safe); otherwise, and when there is no room for the sibling,
    // it is rewritten in place.
    // Names or values that would break the line structure (line breaks,
    // NUL, '=' in a key, ']' in a section) raise std::invalid_argument.
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    virtual void WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Holds the writes that follow until Flush, which writes the file once
    // with all of them: a save of many keys costs one write, not one per
    // key. The first held write reads the file and raises as a write does
    // when it may not be written; reads see the held values. Reads while
    // holding read the file once, not once per key.
    void Hold();
    // Writes what is held (nothing if nothing is) and ends holding; raises
    // EProfileWriteError if the file cannot be written.
    void Flush();

private:
    // The file as a write finds it, and where the write goes.
    struct TOpened {
        std::string Target;
        std::string Content;
        bool Exists = false;
    };
    TOpened OpenForWrite() const;
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;

    std::string path_;
    bool holding_ = false;
    std::optional<TOpened> held_;
    // The file as the first read while holding found it (empty: none).
    mutable std::optional<std::optional<std::string>> snapshot_;
};

// Integer conversion used by ReadInteger: optional sign and decimal digits,
// or "0x"/"0X" and hexadecimal digits whose value fits 32 bits (taken as a
// 32-bit pattern) when the value is longer than two characters. Anything
// else, including trailing junk or a number outside 32 bits, does not convert.
std::optional<std::int32_t> ParseProfileInteger(std::string_view text);

// Text transformations, exposed for tests and for in-memory use.
// Value of key in the first matching section, as a read returns it
// (trimmed, quotes removed, cut at NUL and at kProfileStringMax).
std::optional<std::string> ProfileLookup(std::string_view content, std::string_view section,
                                         std::string_view key);
// content with key set to the raw value text; see TProfileFile's writes.
std::string ProfileReplace(std::string_view content, std::string_view section,
                           std::string_view key, std::string_view value);
