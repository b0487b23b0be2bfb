# shellcheck shell=bash
# Sourced by the tools scripts: reads their arguments, in any order, into the script's own options
# (words starting with --) and the options for the simulated unit (key=value).
#   SplitOptions <known option>... -- "$@"
# A known option written with a trailing "=" (--pkcs12=) takes a value, as the next word or after
# "=" (--pkcs12 key.p12 or --pkcs12=key.p12). The known word key=value lets the script take unit
# options, whose keys are checked against the simulated unit's own list; the known word WORD lets
# it take other words (a folder, say).
# --help and -h print the script's help and end it with exit code 0; an unknown option, a missing
# value or an unexpected word ends it with its usage line and exit code 2, before it does anything.
# Sets options (the script's own), option_values (option -> value), unit_options and words.
#
# The help is the script's header comment (the comment lines after "#!"); its first line is the
# usage line.

tools_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# The running script by its full path, to be started again from any folder (inside Xvfb).
script_file="$tools_dir/$(basename "$0")"

ScriptHelp() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$script_file"; }

# Ends the script with its usage line and exit code 2.
UsageError() {
    echo "$(basename "$0"): $*" >&2
    ScriptHelp | head -n 1 >&2
    echo "(--help tells more)" >&2
    exit 2
}

# The keys of the simulated unit's options, as its option reader lists them.
UnitKeys() {
    sed -n '/unitKeys\[\] = {/,/};/p' "$tools_dir/../sim/wine/SimUnitOptions.cpp" |
        grep -o '"[a-z0-9]*"' | tr -d '"' | tr '\n' ' '
}

SplitOptions() {
    local known=" "
    while [ "$1" != "--" ]; do
        known+="$1 "
        shift
    done
    shift
    options=()
    unit_options=()
    words=()
    declare -gA option_values=()
    local arg name keys
    while [ $# -gt 0 ]; do
        arg=$1
        shift
        case "$arg" in
            --help | -h)
                ScriptHelp
                exit 0
                ;;
            --*=*)
                name=${arg%%=*}
                [[ "$known" == *" $name= "* ]] || UsageError "unknown option $name (or it takes no value)"
                option_values[$name]=${arg#*=}
                options+=("$name")
                ;;
            --*)
                if [[ "$known" == *" $arg= "* ]]; then
                    [ $# -gt 0 ] || UsageError "option $arg needs a value"
                    option_values[$arg]=$1
                    shift
                elif [[ "$known" != *" $arg "* ]]; then
                    UsageError "unknown option $arg"
                fi
                options+=("$arg")
                ;;
            [a-z]*=*)
                [[ "$known" == *" key=value "* ]] || UsageError "unexpected argument $arg"
                keys=$(UnitKeys)
                if [ -n "$keys" ] && [[ " $keys" != *" ${arg%%=*} "* ]]; then
                    UsageError "unknown unit option $arg; the keys are: $keys"
                fi
                unit_options+=("$arg")
                ;;
            -?*) UsageError "unknown option $arg" ;;
            *)
                [[ "$known" == *" WORD "* ]] || UsageError "unexpected argument $arg"
                words+=("$arg")
                ;;
        esac
    done
}

# HasOption <option>: the script was given it.
HasOption() { [[ " ${options[*]} " == *" $1 "* ]]; }

# OptionValue <option>: the value given with it, or nothing.
OptionValue() { printf '%s' "${option_values[$1]:-}"; }
