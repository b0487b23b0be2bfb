#!/usr/bin/env bash
# Every script of tools/ (the files that start with "#!") answers --help and -h with its usage and
# exit code 0, and refuses an unknown option, a mistyped unit option and a stray word with exit
# code 2, in each case before it starts anything: the programs it would start are stand-ins here
# that note each start. Options take their value after "=" as after a space.
#   script-options.sh <source dir>
set -u
tools="$1/tools"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
mkdir "$work/bin"
for program in apt-get sudo dpkg-query cmake wine wineserver xvfb-run import openssl osslsigncode \
    x86_64-w64-mingw32-windres git; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$program" "$work/started" >"$work/bin/$program"
    chmod +x "$work/bin/$program"
done
export PATH="$work/bin:$PATH"

# try <expected exit code> <script> <arguments...>: output in $work/out, nothing started.
try() {
    local expected=$1 script=$2 code=0
    shift 2
    (cd "$work" && bash "$tools/$script" "$@") >"$work/out" 2>&1 || code=$?
    [ "$code" -eq "$expected" ] || fail "$script $*: exit code $code, not $expected: $(head -3 "$work/out")"
    [ ! -s "$work/started" ] || fail "$script $*: started $(head -1 "$work/started")"
    rm -f "$work/started"
}

for file in "$tools"/*.sh; do
    [ "$(head -c 2 "$file")" = "#!" ] || continue
    script=$(basename "$file")
    for help in --help -h; do
        try 0 "$script" "$help"
        head -1 "$work/out" | grep -q "^usage: bash tools/$script" ||
            fail "$script $help: first line $(head -1 "$work/out")"
    done
    try 2 "$script" --no-such-option
    grep -q "unknown option --no-such-option" "$work/out" || fail "$script: $(cat "$work/out")"
    try 2 "$script" --no-such-option=1
    try 2 "$script" colour=red
    if grep -q "unknown unit option" "$work/out"; then
        grep -q "keys are: .*cfw.* fault" "$work/out" || fail "$script: no list of keys: $(cat "$work/out")"
    fi
    echo "$script: $(bash "$file" --help | head -1)"
done
try 2 make-trial-key.sh stray-word another-word
try 2 release.sh stray-word

# A value after "=" and after a space: the same outcome.
for form in "--program=/no/program --out=rel" "--program /no/program --out rel"; do
    # shellcheck disable=SC2086
    try 1 release.sh $form
    grep -qx "release failed: no program /no/program" "$work/out" || fail "release.sh $form: $(cat "$work/out")"
done
[ "$failures" -eq 0 ]
