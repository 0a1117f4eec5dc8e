#!/bin/bash
# make-certs.sh DIR: a private CA and the certificates the TLS tests connect to, made with openssl in DIR.
#   ca.pem/ca.key                the CA the tests trust
#   server.pem/server.key        signed by the CA for localhost and 127.0.0.1
#   otherhost.pem/otherhost.key  signed by the CA, but for other.example only
#   selfsigned.pem/selfsigned.key  localhost, signed by itself
#   renewed.pem/renewed.key      localhost, signed by itself: another key, as a local bridge makes when it renews
# Quiet on success; on failure openssl's messages go to stderr and the exit status is non-zero.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
dir=$1
mkdir -p "$dir"
log=$(mktemp)
trap 'rm -f "$log" "$dir"/*.csr "$dir"/*.ext "$dir"/*.srl' EXIT

run() {
    if ! "$@" >>"$log" 2>&1; then
        cat "$log" >&2
        echo "make-certs.sh: failed: $*" >&2
        exit 1
    fi
}

days=30

run openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days "$days" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" -subj "/CN=Quillobrand Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

# signed NAME CN SAN: a key and a certificate signed by the CA.
signed() {
    local name=$1 cn=$2 san=$3
    printf 'basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' \
        "$san" >"$dir/$name.ext"
    run openssl req -newkey rsa:2048 -sha256 -nodes -keyout "$dir/$name.key" -out "$dir/$name.csr" -subj "/CN=$cn"
    run openssl x509 -req -sha256 -days "$days" -in "$dir/$name.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
        -CAcreateserial -extfile "$dir/$name.ext" -out "$dir/$name.pem"
}

signed server localhost "DNS:localhost,IP:127.0.0.1"
signed otherhost other.example "DNS:other.example"

for name in selfsigned renewed; do
    run openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days "$days" \
        -keyout "$dir/$name.key" -out "$dir/$name.pem" -subj "/CN=localhost" \
        -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
done

chmod 600 "$dir"/*.key
