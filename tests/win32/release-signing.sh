#!/usr/bin/env bash
# tools/release.sh with throw-away keys of tools/make-trial-key.sh: the signature verifies,
# a changed byte breaks it, the signed program runs under Wine, signing only adds the signature to
# the program, two runs give the same bytes, a wrong key leaves nothing in the release folder.
#   release-signing.sh <source dir> <program> <ui driver>    (WINEPREFIX: the prefix to run in)
set -uo pipefail
source_dir="$1" program="$2" uidriver="$3"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" LC_ALL=C.UTF-8
if [ -z "${DISPLAY:-}" ]; then
    # shellcheck source=tools/wine-prefix.sh
    source "$source_dir/tools/wine-prefix.sh"
    EnsureWinePrefix
    wineserver -k >/dev/null 2>&1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Throw-away keys of tools/make-trial-key.sh: one valid for a day, one expired, one of another CA.
for key in "trial --days 1" "expired --expired" "other"; do
    # shellcheck disable=SC2086
    bash "$source_dir/tools/make-trial-key.sh" $key >/dev/null || exit 1
done
echo "not it" >wrong-password.txt

release() {
    bash "$source_dir/tools/release.sh" --program "$program" --url https://example.invalid/halvern \
        --signing-time 2026-01-01T00:00:00Z "$@"
}
started=$(date +%s%N)
release --pkcs12 trial/trial.p12 --password-file trial/password.txt --ca-file trial/ca.pem --out one \
    >one.log 2>&1 ||
    fail "the release failed: $(cat one.log)"
echo "release command: $((($(date +%s%N) - started) / 1000000)) ms"
HALVERN_SIGN_PASSWORD="$(cat trial/password.txt)" \
    release --out=two --ca-file trial/ca.pem --pkcs12=trial/trial.p12 >/dev/null ||
    fail "the release with the password from the environment failed"
signed=one/HalvernUpdater.exe
cmp "$signed" two/HalvernUpdater.exe || fail "two releases with the same key and time differ"
(cd one && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not fit"
osslsigncode verify -CAfile trial/ca.pem -in "$signed" | tee verify.txt ||
    fail "the signed program does not verify"
grep -q 'Signing time: Jan  1 00:00:00 2026 GMT' verify.txt || fail "not signed at the given time"
echo "unsigned: $(stat -c %s "$program") bytes, signed: $(stat -c %s "$signed") bytes"
unsigned=$(bash "$source_dir/tools/release.sh" --program "$program" --out unsigned 2>&1)
grep -q UNSIGNED <<<"$unsigned" || fail "the unsigned release does not say so: $unsigned"
cmp unsigned/HalvernUpdater.exe "$program" || fail "the unsigned release is not the program"

# Signing changes the checksum and the certificate table's entry in the PE header and appends
# the table: nothing else. Removing the signature gives the program back.
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
pe=$(u32 "$program" 60)
changed=$(cmp -l "$program" "$signed" 2>/dev/null | awk -v pe="$pe" \
    '!(($1 - 1 >= pe + 88 && $1 - 1 < pe + 92) || ($1 - 1 >= pe + 168 && $1 - 1 < pe + 176))' | wc -l)
[ "$changed" -eq 0 ] || fail "signing changed $changed more bytes of the program"
osslsigncode remove-signature -in "$signed" -out removed.exe >/dev/null
cmp removed.exe "$program" || fail "the program without its signature is not the unsigned program"

# One changed byte: in the headers, the code, the carried image, and the signature (its signed
# attributes, the signer's certificate, the signature value).
section() { echo $((16#$(x86_64-w64-mingw32-objdump -h "$program" | awk -v s="$1" '$2 == s {print $6}'))); }
table=$(u32 "$signed" $((pe + 168)))
der_end=$((table + 8 + 4 + $(od -An -t u2 --endian=big -j $((table + 10)) -N 2 "$signed")))
name=$(grep -boa "ORVALDA HALVERN 160 Firmware Updater" "$signed" | tail -1 | cut -d: -f1)
subject=$(grep -boa "Trial Signer" "$signed" | tail -1 | cut -d: -f1)
positions=(2 $((pe + 4)) $((pe + 24 + 16)) $((pe + 168)) $((pe + 24 + 240)) $(($(section .text) + 4096))
    $(($(section .rsrc) + 40000)) $(($(stat -c %s "$program") - 1)) $((table + 168)) "$name" "$subject"
    $((der_end - 1)))
echo "one changed byte at each of ${positions[*]}: the signature must fail"
for at in "${positions[@]}"; do
    cp "$signed" changed.exe
    byte=$(od -An -t u1 -j "$at" -N 1 changed.exe | tr -d ' ')
    printf '%b' "\\0$(printf %o $((byte ^ 1)))" | dd of=changed.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
    osslsigncode verify -CAfile trial/ca.pem -in changed.exe >/dev/null 2>&1 &&
        fail "the signature still verifies with byte $at changed"
done

# Under Wine: the dialog comes up with its notice and closes with exit code 0.
wine "$signed" >/dev/null 2>&1 &
pid=$!
wine "$uidriver" wait-text 40004 "keine Programmiereinheit" 30000 >/dev/null ||
    fail "the signed program showed no notice"
wine "$uidriver" close 10000 >/dev/null || kill "$pid"
wait "$pid" || fail "the signed program ended with exit code $?"
echo "the signed program ran under Wine and ended"
wineserver -k >/dev/null 2>&1

# Each wrong key: one line that says what is wrong, exit code 1, and the earlier release gone.
while IFS='|' read -r what key password ca says; do
    cp -r one bad
    if release --pkcs12 "$key" --password-file "$password" --ca-file "$ca" --out bad >bad.log 2>&1; then
        fail "a release with $what succeeded"
    fi
    { [ "$(wc -l <bad.log)" -eq 1 ] && grep -q "$says" bad.log; } || fail "$what: $(cat bad.log)"
    [ -z "$(ls -A bad)" ] || fail "$what: left $(ls bad)"
    echo "$what: $(cat bad.log)"
    rm -rf bad
done <<'EOF'
a missing key file|missing.p12|trial/password.txt|trial/ca.pem|no key file
a wrong password|trial/trial.p12|wrong-password.txt|trial/ca.pem|wrong password
an expired certificate|expired/trial.p12|expired/password.txt|trial/ca.pem|expired on
a signature of another CA|trial/trial.p12|trial/password.txt|other/ca.pem|does not verify
EOF
ls -d bad.partial.* one.partial.* 2>/dev/null && fail "a work folder was left"
[ "$failures" -eq 0 ]
