#!/usr/bin/env bash
# usage: bash tools/release.sh [--pkcs12 FILE --url URL [signing options]] [--program FILE] [--out DIR]
# The release: builds HalvernUpdater.exe (windows preset), signs it with Authenticode when a key is
# given, verifies the signature, and writes build/release/ with the program and SHA256SUMS.
# Options take their value as the next word or after "=" (--out=DIR).
# --pkcs12        the vendor's code-signing key with its certificate (and chain), as PKCS#12;
#                 without it the release is unsigned.
# --url           the vendor's web address, shown with the program's name in the signature.
# Signing options:
# The key's password: the first line of --password-file FILE, else the environment variable
# HALVERN_SIGN_PASSWORD; never on the command line, where every user of the machine can read it.
# --ca-file       the CA certificates (PEM) to check the signature against; without it the system's
#                 CAs and the key file's own certificates (that proves the signature intact).
# --timestamp     an RFC 3161 time-stamp server, so that the signature stays valid after the
#                 certificate expires; its time stamp makes every run's bytes different.
# --signing-time  seconds since 1970 or a date; default the commit's date, so that two runs give
#                 the same bytes.
# --program       release this program instead of building the windows preset.
# --out           the release folder (default build/release); it holds the release and nothing
#                 else, so a folder with other files in it is refused.
# -h, --help      this help
# To try a signed release, tools/make-trial-key.sh makes a throw-away key.
# A failure prints one line and exits with 1; the release folder then holds no program and no
# checksum file: both are written into a folder beside it, which replaces the release folder in
# one rename once everything passed, so the program never shows without its checksum.
set -euo pipefail
caller="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"

# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions --pkcs12= --url= --password-file= --ca-file= --timestamp= --signing-time= \
    --program= --out= -- "$@"
# A file named by the caller, relative to the folder the caller is in.
file_option() {
    local value
    value=$(OptionValue "$1")
    case "$value" in
        "" | /*) printf '%s' "$value" ;;
        *) printf '%s' "$caller/$value" ;;
    esac
}
pkcs12=$(file_option --pkcs12)
url=$(OptionValue --url)
password_file=$(file_option --password-file)
ca_file=$(file_option --ca-file)
timestamp=$(OptionValue --timestamp)
signing_time=$(OptionValue --signing-time)
program=$(file_option --program)
out=$(file_option --out)
out=${out:-$root/build/release}

fail() {
    echo "release failed: $*" >&2
    exit 1
}
# The first line of a tool's log that says what went wrong.
reason() {
    { grep -m 1 -o 'Verify error: .*' "$1" || grep -m 1 -i -E 'error|fail|unable|cannot|could not' "$1"; } |
        sed -E 's/^Verify error: //; s/^[0-9A-F]+:error:[0-9A-F]+:[^:]*:[^:]*:([^:]*):.*/\1/' | cut -c 1-200
}

if [ -z "$pkcs12" ]; then
    for option in --url --password-file --ca-file --timestamp --signing-time; do
        if HasOption "$option"; then fail "$option is for signing, which needs --pkcs12 FILE"; fi
    done
fi

# Nothing of an earlier release stays: after a failure there is no file to mistake for this one.
mkdir -p "$out"
rm -f "$out/HalvernUpdater.exe" "$out/SHA256SUMS"
others=$(ls -A "$out")
[ -z "$others" ] ||
    fail "the release folder $out holds other files ($(paste -sd ' ' <<<"$others" | cut -c 1-100))"
work=$(mktemp -d "$out.partial.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
mkdir "$work/release"
released="$work/release/HalvernUpdater.exe"

password() {
    if [ -n "$password_file" ]; then
        head -n 1 "$password_file"
    else
        printf '%s\n' "$HALVERN_SIGN_PASSWORD"
    fi
}

# The key is checked before the build, so that a wrong one ends the release at once.
if [ -n "$pkcs12" ]; then
    [ -n "$url" ] || fail "the signature names the vendor's web address: give --url URL"
    [[ -f "$pkcs12" && -r "$pkcs12" ]] || fail "no key file $pkcs12"
    if [ -n "$password_file" ]; then
        [[ -f "$password_file" && -r "$password_file" ]] || fail "no password file $password_file"
    elif [ -z "${HALVERN_SIGN_PASSWORD+set}" ]; then
        fail "no password for the key: give --password-file FILE or set HALVERN_SIGN_PASSWORD"
    fi
    # Keys exported by older tools use ciphers that OpenSSL 3 reads only with -legacy.
    certificates() { password | openssl pkcs12 -in "$pkcs12" -passin stdin -nokeys "$@"; }
    legacy=""
    if ! certificates -out "$work/chain.pem" 2>"$work/openssl.log"; then
        legacy=-legacy
        if ! certificates -legacy -out "$work/chain.pem" 2>"$work/openssl.log"; then
            if grep -q -i 'mac verify' "$work/openssl.log"; then
                fail "wrong password for the key file $pkcs12"
            fi
            fail "$pkcs12 is not a readable PKCS#12 key file ($(reason "$work/openssl.log"))"
        fi
    fi
    certificates ${legacy:+"$legacy"} -clcerts -out "$work/signer.pem" 2>/dev/null || true
    grep -q 'BEGIN CERTIFICATE' "$work/signer.pem" || fail "no certificate for the key in $pkcs12"
    subject=$(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt oneline)
    not_after=$(openssl x509 -in "$work/signer.pem" -noout -enddate)
    not_before=$(openssl x509 -in "$work/signer.pem" -noout -startdate)
    if ! openssl x509 -in "$work/signer.pem" -noout -checkend 0 >/dev/null; then
        fail "the certificate ($subject) expired on ${not_after#notAfter=}"
    fi
    if [ "$(date -u -d "${not_before#notBefore=}" +%s)" -gt "$(date +%s)" ]; then
        fail "the certificate ($subject) is not valid before ${not_before#notBefore=}"
    fi
    usages=$(openssl x509 -in "$work/signer.pem" -noout -ext extendedKeyUsage 2>/dev/null || true)
    if [ -n "$usages" ] && ! grep -q 'Code Signing' <<<"$usages"; then
        fail "the certificate ($subject) is not for code signing"
    fi

    if [ -z "$signing_time" ]; then
        signing_time=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
            fail "no commit to take the signing time from: give --signing-time"
    elif [[ ! "$signing_time" =~ ^[0-9]+$ ]]; then
        signing_time=$(date -u -d "$signing_time" +%s 2>/dev/null) ||
            fail "unreadable signing time $(OptionValue --signing-time)"
    fi
    trusted="the system's CAs and the key file's own certificates"
    if [ -z "$ca_file" ]; then
        trust="$work/trust.pem"
        cat /etc/ssl/certs/ca-certificates.crt "$work/chain.pem" >"$trust" 2>/dev/null ||
            cp "$work/chain.pem" "$trust"
    else
        [ -f "$ca_file" ] || fail "no CA file $ca_file"
        trust=$ca_file
        trusted=$ca_file
    fi
fi

if [ -z "$program" ]; then
    bash tools/setup.sh
    cmake --preset windows >/dev/null || fail "configuring the windows preset failed"
    cmake --build --preset windows --target HalvernUpdater || fail "the windows build failed"
    program="$root/build/windows/win32/HalvernUpdater.exe"
fi
[ -f "$program" ] || fail "no program $program"

if [ -z "$pkcs12" ]; then
    cp "$program" "$released"
    echo "UNSIGNED release: no --pkcs12 key given. Windows warns customers about an unsigned" \
        "program, and nothing proves to them that it is the vendor's."
else
    # The name in the signature is the one in the program's version resource.
    if ! x86_64-w64-mingw32-windres -i "$program" -O rc >"$work/resources.rc" 2>"$work/windres.log"
    then
        why=$(head -n 1 "$work/windres.log")
        why=${why#*windres: }
        fail "windres could not read the resources of $program: $(cut -c 1-200 <<<"${why#"$program: "}")"
    fi
    name=$(sed -n 's/^ *VALUE "FileDescription", "\(.*\)"\r\?$/\1/p' "$work/resources.rc")
    [ -n "$name" ] || fail "no FileDescription in the version resource of $program"
    sign=(osslsigncode sign -pkcs12 "$pkcs12" -readpass /dev/stdin -h sha256 -n "$name" -i "$url"
        -time "$signing_time")
    if [ -n "$timestamp" ]; then sign+=(-ts "$timestamp"); fi
    password | "${sign[@]}" -in "$program" -out "$released" >"$work/sign.log" 2>&1 ||
        fail "osslsigncode could not sign: $(reason "$work/sign.log")"
    osslsigncode verify -CAfile "$trust" -in "$released" >"$work/verify.log" 2>&1 ||
        fail "the signed program does not verify against $trusted: $(reason "$work/verify.log")"
    grep -q '^Signature verification: ok' "$work/verify.log" ||
        fail "the signed program does not verify against $trusted"
    cat "$work/verify.log"
    echo "Signed by $subject at $(date -u -d "@$signing_time" '+%Y-%m-%d %H:%M:%S UTC')," \
        "verified against $trusted."
fi

(cd "$work/release" && sha256sum HalvernUpdater.exe >SHA256SUMS)
# rename(2) replaces the empty release folder with the finished one: both files at once.
mv -T "$work/release" "$out" || fail "could not move the release into $out (is it empty?)"
echo "Release in $out: HalvernUpdater.exe ($(stat -c %s "$out/HalvernUpdater.exe") bytes), SHA256SUMS"
cat "$out/SHA256SUMS"
