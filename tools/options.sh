# shellcheck shell=bash
# Sourced by the tools scripts: splits their arguments, in any order, into the script's own
# options (words starting with --) and the options for the simulated unit (key=value).
#   SplitOptions "<usage>" <known option>... -- "$@"
# Sets options (the script's own) and unit_options; an unknown --word ends the script with its
# usage and exit code 2.
SplitOptions() {
    local usage=$1
    shift
    local known=" "
    while [ "$1" != "--" ]; do
        known+="$1 "
        shift
    done
    shift
    options=()
    unit_options=()
    local arg
    for arg in "$@"; do
        case "$arg" in
            --*)
                if [[ "$known" != *" $arg "* ]]; then
                    echo "unknown option $arg; usage: $usage" >&2
                    exit 2
                fi
                options+=("$arg")
                ;;
            *) unit_options+=("$arg") ;;
        esac
    done
}

# HasOption <option>: the script was given it.
HasOption() { [[ " ${options[*]} " == *" $1 "* ]]; }
