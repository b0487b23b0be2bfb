# shellcheck shell=bash
# Sourced by the tools scripts: splits their arguments, in any order, into the script's own
# options (words starting with --) and the options for the simulated unit (key=value).
#   SplitOptions "<usage>" <known option>... -- "$@"
# A known option written with a trailing "=" (--pkcs12=) takes the next word as its value.
# Sets options (the script's own), option_values (option -> value) and unit_options; an unknown
# --word or a missing value ends the script with its usage and exit code 2.
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
    declare -gA option_values=()
    local arg
    while [ $# -gt 0 ]; do
        arg=$1
        shift
        case "$arg" in
            --*)
                if [[ "$known" == *" $arg= "* ]]; then
                    if [ $# -eq 0 ]; then
                        echo "option $arg needs a value; usage: $usage" >&2
                        exit 2
                    fi
                    option_values[$arg]=$1
                    shift
                elif [[ "$known" != *" $arg "* ]]; then
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

# OptionValue <option>: the value given with it, or nothing.
OptionValue() { printf '%s' "${option_values[$1]:-}"; }
