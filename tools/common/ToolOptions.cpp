#include "ToolOptions.h"

#include <charconv>
#include <sstream>

namespace vxtools {

const char* ProjectVersion()
{
    return VX_PROJECT_VERSION;
}

TToolOptions::TToolOptions(std::string program, std::string usage, std::string about)
    : program_(std::move(program)), usage_(std::move(usage)), about_(std::move(about))
{
    Add({"help", 'h', "", "show this text and exit"});
    Add({"version", 0, "", "show the version and exit"});
}

TToolOptions& TToolOptions::Add(TOptionSpec def)
{
    defs_.push_back(std::move(def));
    return *this;
}

TToolOptions& TToolOptions::Positionals(int minCount, int maxCount)
{
    minPositionals_ = minCount;
    maxPositionals_ = maxCount;
    return *this;
}

TToolOptions& TToolOptions::StopAtFirstPositional()
{
    stopAtPositional_ = true;
    return *this;
}

TToolOptions& TToolOptions::WithoutVersion()
{
    std::erase_if(defs_, [](const TOptionSpec& s) { return s.name == "version"; });
    return *this;
}

TToolOptions& TToolOptions::Epilogue(std::string text)
{
    epilogue_ = std::move(text);
    return *this;
}

const TOptionSpec* TToolOptions::FindLong(const std::string& name) const
{
    for (const auto& s : defs_)
        if (s.name == name)
            return &s;
    return nullptr;
}

const TOptionSpec* TToolOptions::FindShort(char c) const
{
    for (const auto& s : defs_)
        if (s.shortName != 0 && s.shortName == c)
            return &s;
    return nullptr;
}

EParseOutcome TToolOptions::Parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    values_.clear();
    positionals_.clear();
    try {
        bool optionsEnded = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
                positionals_.push_back(arg);
                if (stopAtPositional_) {
                    positionals_.insert(positionals_.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
                    break;
                }
                continue;
            }
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            const TOptionSpec* def = nullptr;
            std::string shown;
            std::string inlineValue;
            bool hasInline = false;
            if (arg[1] == '-') {
                std::string name = arg.substr(2);
                if (const auto eq = name.find('='); eq != std::string::npos) {
                    inlineValue = name.substr(eq + 1);
                    hasInline = true;
                    name.resize(eq);
                }
                def = FindLong(name);
                shown = "--" + name;
            } else {
                def = arg.size() == 2 ? FindShort(arg[1]) : nullptr;
                shown = arg;
            }
            if (def == nullptr)
                throw EToolUsage("unknown option '" + shown + "'");
            if (def->valueName.empty()) {
                if (hasInline)
                    throw EToolUsage("option " + shown + " takes no value");
                inlineValue.clear();
            } else if (!hasInline && def->optionalValue) {
                const bool next = i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-';
                inlineValue = next ? args[++i] : std::string();
            } else if (!hasInline) {
                if (i + 1 >= args.size())
                    throw EToolUsage("option " + shown + " needs a value (" + def->valueName + ")");
                inlineValue = args[++i];
            }
            auto& slot = values_[def->name];
            if (!slot.empty() && !def->repeatable && !def->valueName.empty())
                throw EToolUsage("option " + shown + " given twice");
            slot.push_back(inlineValue);
            if (def->name == "help") {
                out << HelpText();
                return EParseOutcome::Done;
            }
            if (def->name == "version") {
                out << program_ << ' ' << ProjectVersion() << '\n';
                return EParseOutcome::Done;
            }
        }
        const int count = static_cast<int>(positionals_.size());
        if (count < minPositionals_)
            throw EToolUsage(minPositionals_ == 1 ? "an argument is missing" : "arguments are missing");
        if (maxPositionals_ >= 0 && count > maxPositionals_)
            throw EToolUsage("unexpected argument '" + positionals_[static_cast<std::size_t>(maxPositionals_)] + "'");
    } catch (const EToolUsage& e) {
        UsageError(err, e.what());
        return EParseOutcome::UsageError;
    }
    return EParseOutcome::Run;
}

bool TToolOptions::Has(const std::string& name) const
{
    return values_.count(name) != 0;
}

std::string TToolOptions::Value(const std::string& name, const std::string& fallback) const
{
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second.back();
}

const std::vector<std::string>& TToolOptions::Values(const std::string& name) const
{
    static const std::vector<std::string> none;
    const auto it = values_.find(name);
    return it == values_.end() ? none : it->second;
}

std::string TToolOptions::HelpText() const
{
    std::ostringstream text;
    text << "Usage: " << program_ << (usage_.empty() ? "" : " ") << usage_ << "\n\n";
    if (!about_.empty())
        text << about_ << "\n\n";
    text << "Options:\n";
    // The tool's own options first, help and version last.
    std::vector<const TOptionSpec*> order;
    for (const auto& s : defs_)
        if (s.name != "help" && s.name != "version")
            order.push_back(&s);
    for (const auto& s : defs_)
        if (s.name == "help" || s.name == "version")
            order.push_back(&s);
    for (const TOptionSpec* def : order) {
        const TOptionSpec& s = *def;
        std::string head = "  ";
        head += s.shortName != 0 ? std::string("-") + s.shortName + ", " : "    ";
        head += "--" + s.name;
        if (!s.valueName.empty())
            head += s.optionalValue ? " [" + s.valueName + "]" : ' ' + s.valueName;
        std::istringstream lines(s.help);
        std::string line;
        bool first = true;
        while (std::getline(lines, line)) {
            if (first && head.size() < 26)
                text << head << std::string(26 - head.size(), ' ') << line << '\n';
            else if (first)
                text << head << '\n' << std::string(26, ' ') << line << '\n';
            else
                text << std::string(26, ' ') << line << '\n';
            first = false;
        }
        if (first)
            text << head << '\n';
    }
    if (!epilogue_.empty())
        text << '\n' << epilogue_;
    return text.str();
}

int TToolOptions::UsageError(std::ostream& err, const std::string& message) const
{
    err << program_ << ": " << message << "\nTry '" << program_ << " --help'.\n";
    return 2;
}

long long TToolOptions::ParseInteger(const std::string& text, const std::string& what, long long lo, long long hi)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < lo || value > hi)
        throw EToolUsage(what + " must be an integer from " + std::to_string(lo) + " to " + std::to_string(hi) +
                         ", not '" + text + "'");
    return value;
}

}  // namespace vxtools
