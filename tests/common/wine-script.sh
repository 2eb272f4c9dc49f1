# What the Wine test scripts share; sourced.
# within SECONDS COMMAND...: runs COMMAND until it succeeds, at most that long.
within() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.1
    done
}
# The file's lines without the carriage returns of Windows' text output.
lines() { tr -d '\r' <"$1"; }
