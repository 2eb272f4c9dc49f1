#include "BridgeOptions.h"

namespace vxbridge {

namespace {

using vxtools::EToolUsage;

// The characters OSC reserves for address patterns, and blanks.
bool ValidOscPrefix(const std::string& prefix)
{
    if (prefix.empty())
        return true;
    if (prefix.size() > kMaxOscPrefix)
        return false;
    if (prefix.front() != '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return false;
    for (const char c : prefix)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f ||
            std::string_view("#*,?[]{}").find(c) != std::string_view::npos)
            return false;
    return true;
}

bool ValidSegmentName(const std::string& name)
{
    return !name.empty() && name.size() <= 200 && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name != "." && name != "..";
}

}  // namespace

std::string TEndpoint::Text() const
{
    return Host.find(':') != std::string::npos ? "[" + Host + "]:" + std::to_string(Port)
                                               : Host + ":" + std::to_string(Port);
}

TEndpoint ParseEndpoint(const std::string& text, const std::string& option)
{
    const std::string what = option + " " + text;
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size())
        throw EToolUsage(what + ": give HOST:PORT");
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        throw EToolUsage(what + ": write an IPv6 address in brackets, [ADDRESS]:PORT");
    if (host.empty())
        throw EToolUsage(what + ": the host is missing");
    const std::string port = text.substr(colon + 1);
    long long value = 0;
    try {
        value = vxtools::TToolOptions::ParseInteger(port, "the port", 1, 65535);
    } catch (const EToolUsage&) {
        throw EToolUsage(what + ": bad port '" + port + "' (1 to 65535)");
    }
    return {host, static_cast<std::uint16_t>(value)};
}

vxtools::EParseOutcome ParseBridgeOptions(const std::vector<std::string>& args, const std::string& defaultSegment,
                                          TBridgeOptions& options, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions parser(
        "vxbridge", "[--osc HOST:PORT]... [--os2l [HOST:PORT]] [options]",
        "Sends the analyzer's beats, tempo and levels to lighting software: OSC over UDP\n"
        "and OS2L over TCP. It maps the analyzer's shared record as a host, waits for it\n"
        "if the analyzer has not started yet, takes every trig (clearing Trig, the only\n"
        "thing it writes) and sends it at once. Runs until a signal ends it (SIGINT,\n"
        "SIGTERM, SIGHUP, ...), releasing a pressed beat first.\n"
        "\n"
        "Exit status: 0 ended by a signal, 2 bad command line or an output that cannot\n"
        "be set up (a host that does not resolve).");
    vxtools::TOptionSpec os2l{"os2l", 0, "HOST:PORT",
                              "send OS2L beats to the server at HOST:PORT; without\n"
                              "it, to the first _os2l._tcp service found (Avahi)"};
    os2l.optionalValue = true;
    parser.Add({"osc", 0, "HOST:PORT", "send OSC to HOST:PORT (UDP); may be repeated", true})
        .Add({"osc-prefix", 0, "PATH", "first part of every OSC address (default /vx)"})
        .Add({"pulse-ms", 0, "MS", "the beat's release follows its press after MS\nmilliseconds (default 50)"})
        .Add({"rate", 0, "HZ", "level messages per second, only on change\n(default 25, 0 = none)"})
        .Add(os2l)
        .Add({"segment", 0, "NAME", "the record's segment (default $VX_SEGMENT_NAME\nor VXSOUNDMAP)"})
        .Add({"quiet", 'q', "", "no status line and no notices, only errors"})
        .Positionals(0, 0);
    const auto outcome = parser.Parse(args, out, err);
    if (outcome != vxtools::EParseOutcome::Run)
        return outcome;
    try {
        TBridgeOptions o;
        o.Segment = parser.Value("segment", defaultSegment);
        if (!o.Segment.empty() && o.Segment.front() == '/')
            o.Segment.erase(0, 1);
        if (!ValidSegmentName(o.Segment))
            throw EToolUsage("bad segment name '" + o.Segment + "' (one name, no '/')");
        for (const auto& text : parser.Values("osc"))
            o.Osc.push_back(ParseEndpoint(text, "--osc"));
        o.OscPrefix = parser.Value("osc-prefix", kDefaultOscPrefix);
        if (!ValidOscPrefix(o.OscPrefix))
            throw EToolUsage("bad --osc-prefix '" +
                             (o.OscPrefix.size() > 40 ? o.OscPrefix.substr(0, 40) + "..." : o.OscPrefix) +
                             "': begin with '/', no blanks, no trailing '/', none of #*,?[]{}, at most " +
                             std::to_string(kMaxOscPrefix) + " characters");
        if (parser.Has("pulse-ms"))
            o.PulseMs = static_cast<int>(
                vxtools::TToolOptions::ParseInteger(parser.Value("pulse-ms"), "--pulse-ms", 1, kMaxPulseMs));
        if (parser.Has("rate"))
            o.Rate = static_cast<int>(vxtools::TToolOptions::ParseInteger(parser.Value("rate"), "--rate", 0, kMaxRate));
        o.Os2l = parser.Has("os2l");
        if (o.Os2l && !parser.Value("os2l").empty())
            o.Os2lServer = ParseEndpoint(parser.Value("os2l"), "--os2l");
        o.Quiet = parser.Has("quiet");
        if (o.Osc.empty() && !o.Os2l)
            throw EToolUsage("nothing to send to: give --osc HOST:PORT or --os2l");
        options = std::move(o);
    } catch (const vxtools::EToolUsage& e) {
        parser.UsageError(err, e.what());
        return vxtools::EParseOutcome::UsageError;
    }
    return vxtools::EParseOutcome::Run;
}

}  // namespace vxbridge
