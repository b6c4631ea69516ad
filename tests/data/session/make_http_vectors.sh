#!/bin/sh
# Makes http_vectors.txt: AES-128-ECB ciphertexts of HTTP exchanges carried
# through a session whose number is 123456. The session key text is
# "0000000000123456"; read as hex pairs it gives the key bytes
# 00 00 00 00 00 12 34 56 followed by eight zero bytes.
# Uses only the openssl command line and printf.  Run: sh make_http_vectors.sh > http_vectors.txt
set -e
KEY=00000000001234560000000000000000
enc() { openssl enc -aes-128-ecb -nopad -K "$KEY" | od -An -v -tx1 | tr -d ' \n'; echo; }
hex() { od -An -v -tx1 | tr -d ' \n'; echo; }

# Request: "ImportFacConf" zero-filled to 64 bytes, the 10 payload bytes
# "0123456789", then 6 zero bytes of padding (74 -> 80 bytes).
req() { printf 'ImportFacConf'; head -c 51 /dev/zero; printf '0123456789'; head -c 6 /dev/zero; }
echo "request_plain $(req | hex)"
echo "request_cipher $(req | enc)"

# Replies: the response text zero-padded to whole blocks.
ok() { printf 'HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok'; head -c 8 /dev/zero; }
nf() { printf 'HTTP/1.1 404 Not Found\r\n\r\n'; head -c 6 /dev/zero; }
echo "reply200_cipher $(ok | enc)"
echo "reply404_cipher $(nf | enc)"
