#!/usr/bin/env bash
# A private test CA and the server certificates the TLS tests need, made in
# DIR (nothing is installed anywhere; clients are pointed at DIR/ca.pem).
#
#   test_ca.sh DIR
#
# DIR/ca.pem               the CA ("tarnu test CA")
# DIR/localhost.pem/.key   for DNS:localhost, signed by the CA
# DIR/expired.pem/.key     for DNS:localhost, signed by the CA, expired in 2021
# DIR/self.pem/.key        for DNS:localhost, self-signed
# DIR/self2.pem/.key       the same with another key (a changed certificate)
# Existing files are kept, so calling it again costs nothing.
set -euo pipefail
[ $# -eq 1 ] || { sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2; exit 2; }
dir=$1
mkdir -p "$dir"
cd "$dir"
[ -f self2.pem ] && exit 0

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null; }

cat >server.ext <<'EXT'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
EXT

key ca.key
openssl req -x509 -new -key ca.key -sha256 -days 3650 -subj "/CN=tarnu test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -out ca.pem 2>/dev/null

key localhost.key
openssl req -new -key localhost.key -subj "/CN=localhost" -out localhost.csr 2>/dev/null
openssl x509 -req -in localhost.csr -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 \
  -days 3650 -extfile server.ext -out localhost.pem 2>/dev/null

# "openssl ca" is the tool that takes a start and end date in the past.
mkdir -p newcerts
: >index.txt
echo 1000 >serial
cat >ca.cnf <<CNF
[ ca ]
default_ca = test
[ test ]
dir = $PWD
database = \$dir/index.txt
new_certs_dir = \$dir/newcerts
serial = \$dir/serial
default_md = sha256
policy = any
unique_subject = no
[ any ]
commonName = supplied
CNF
key expired.key
openssl req -new -key expired.key -subj "/CN=localhost" -out expired.csr 2>/dev/null
openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -notext \
  -startdate 20200101000000Z -enddate 20210101000000Z -extfile server.ext -out expired.pem \
  2>/dev/null

for name in self self2; do
  key $name.key
  openssl req -x509 -new -key $name.key -sha256 -days 3650 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost" -addext "extendedKeyUsage=serverAuth" \
    -out $name.pem 2>/dev/null
done
chmod 644 ./*.pem ./*.key
