#!/usr/bin/env bash
# usage: bash tools/make-trial-key.sh DIR [--days N] [--expired]
# Makes a throw-away code-signing key to try tools/release.sh with: a certificate authority of its
# own and a code-signing certificate it issued ("Trial Signer"), in the new folder DIR:
#   DIR/trial.p12      the certificate with its private key and the CA's certificate (PKCS#12)
#   DIR/password.txt   the key file's password (random, first line)
#   DIR/ca.pem         the CA's certificate, to check the signature against
# Then: bash tools/release.sh --pkcs12 DIR/trial.p12 --password-file DIR/password.txt \
#           --ca-file DIR/ca.pem --url https://example.invalid/
# Nobody else trusts that CA: Windows shows such a signature as not trusted. Never ship with it.
#   --days N     the certificate is valid for N days from now (default 30)
#   --expired    a certificate that expired long ago, to see the release refuse it
#   -h, --help   this help
set -euo pipefail
caller="$PWD"
# shellcheck source=tools/options.sh
source "$(dirname "$0")/options.sh"
SplitOptions --days= --expired WORD -- "$@"
[ "${#words[@]}" -eq 1 ] || UsageError "name one new folder for the key"
case "${words[0]}" in
    /*) dir=${words[0]} ;;
    *) dir="$caller/${words[0]}" ;;
esac
days=$(OptionValue --days)
days=${days:-30}
[[ "$days" =~ ^[1-9][0-9]*$ ]] || UsageError "--days takes a whole number of days, not $days"
if [ -e "$dir" ] && [ -n "$(ls -A "$dir" 2>/dev/null || echo x)" ]; then
    echo "make-trial-key.sh: $dir exists and is not empty; name a new folder" >&2
    exit 1
fi
mkdir -p "$dir"
chmod 700 "$dir"
cd "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A minimal CA of its own: every certificate it issues is a code-signing one.
printf '%s\n' '[ca]' 'default_ca = c' '[c]' "database = $work/index.txt" "new_certs_dir = $work" \
    "serial = $work/serial" 'default_md = sha256' 'policy = p' 'unique_subject = no' '[p]' \
    'commonName = supplied' '[signer]' 'keyUsage = critical, digitalSignature' \
    'extendedKeyUsage = codeSigning' >"$work/ca.cnf"
: >"$work/index.txt"
echo 01 >"$work/serial"
(umask 077 && openssl rand -hex 16 >password.txt)
validity=(-days "$days")
if HasOption --expired; then validity=(-startdate 20200101000000Z -enddate 20200102000000Z); fi
{
    openssl req -x509 -newkey rsa:2048 -noenc -keyout "$work/ca.key" -out ca.pem -days $((days + 1)) \
        -subj "/CN=Halvern Trial CA $(date -u +%Y%m%d-%H%M%S)" -addext basicConstraints=critical,CA:true
    openssl req -newkey rsa:2048 -noenc -keyout "$work/signer.key" -out "$work/signer.csr" \
        -subj "/CN=Trial Signer"
    openssl ca -batch -config "$work/ca.cnf" -cert ca.pem -keyfile "$work/ca.key" \
        -in "$work/signer.csr" -extensions signer "${validity[@]}" -out "$work/signer.pem"
    (umask 077 && openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" \
        -certfile ca.pem -passout file:password.txt -out trial.p12)
} >"$work/openssl.log" 2>&1 || {
    cat "$work/openssl.log" >&2
    echo "make-trial-key.sh: openssl failed" >&2
    exit 1
}
echo "Trial key in $dir: trial.p12, password.txt, ca.pem ($(openssl x509 -in "$work/signer.pem" \
    -noout -enddate | sed 's/notAfter=/valid until /'))"
