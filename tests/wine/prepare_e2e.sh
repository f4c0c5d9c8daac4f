#!/usr/bin/env bash
# Builds the installers that the end-to-end tests run under Wine, with the
# host's sfxpack and sfx_craft_installer and the cross-built stub and probe:
#
#   ok_nested.exe          sfxpack pack of a folder with Setup.exe (the probe),
#                          nested folders, a binary file and an empty file
#   signed.exe             ok_nested.exe signed afterwards (throwaway certificate);
#                          the signature must verify, and `sfxpack list` must show
#                          the stub part's SHA-256 as that of the stub file
#   as_invoker.exe         the same folder packed with --elevation invoker
#   damaged_header.exe     image header CRC broken
#   damaged_directory.exe  directory CRC broken
#   damaged_entry.exe      third entry's data broken (Setup.exe and one file before it)
#   escaping_name.exe      an entry named ..\escape.txt after Setup.exe
#   empty_directory.exe    an image without entries
#   bare_stub.exe          the stub alone, without any payload
#   truncated.exe          ok_nested.exe without its last 1000 bytes (inside its payload section)
#   damaged_stream.exe     ok_nested.exe with one byte of its packed stream changed
#   huge_claim.exe         a payload header that claims an image of 0xFFFFFFFF bytes
#   tiny_claim.exe         a payload header that claims an image of 26 bytes
#   bad_setup.exe          a text file as Setup.exe, which no system can start
#   unwritable_name.exe    an entry named what?.txt, which no Windows file system takes
#   shared_data.exe        twin.txt stored as a second entry on a.txt's data bytes
#   codepage.exe           Setup.exe and "Café/Übersicht.txt" (names with
#                          Windows-1252 bytes of 0x80 and above)
#
# and plants linked/tmp/Mivor.40, a symbolic link to linked/target (which
# holds canary.txt), for the test of a link in the working folder's place.
# It also compiles the German, English and Japanese locales into OUT/locale,
# so that Wine can be started with either language (and the Japanese code
# page) without touching the system.
#
# Usage: prepare_e2e.sh HOST_BIN_DIR WIN32_BIN_DIR OUT_DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/prepare_common.sh"
prepare_dirs prepare_e2e "$@"
require_tools prepare_e2e "$host_bin/sfxpack" "$host_bin/sfx_craft_installer" "$stub" "$probe"

rm -rf "$out"
mkdir -p "$out/tmp" "$out/src"

tree=$out/src/nested
mkdir -p "$tree/data/sub" "$tree/docs"
cp "$probe" "$tree/Setup.exe"
head -c 300000 /dev/urandom > "$tree/data/sub/deep.bin"
printf 'Read me first.\r\n' > "$tree/docs/readme.txt"
: > "$tree/empty.txt"
"$host_bin/sfxpack" pack "$tree" -o "$out/ok_nested.exe" --stub "$stub"

cd "$out/src"
printf 'first file\r\n' > a.txt
printf 'second file, to be damaged\r\n' > b.txt
printf 'third file\r\n' > c.txt
printf 'should never be written\r\n' > escape.txt
craft() { "$host_bin/sfx_craft_installer" "$stub" "$@"; }
craft "$out/damaged_header.exe" --damage header Setup.exe="$probe" a.txt=a.txt
craft "$out/damaged_directory.exe" --damage directory Setup.exe="$probe" a.txt=a.txt
craft "$out/damaged_entry.exe" --damage entry:2 Setup.exe="$probe" a.txt=a.txt b.txt=b.txt c.txt=c.txt
craft "$out/escaping_name.exe" Setup.exe="$probe" '..\escape.txt=escape.txt' a.txt=a.txt
craft "$out/empty_directory.exe"
craft "$out/huge_claim.exe" --claim-size 0xFFFFFFFF Setup.exe="$probe" a.txt=a.txt
craft "$out/tiny_claim.exe" --claim-size 26 Setup.exe="$probe" a.txt=a.txt
craft "$out/bad_setup.exe" Setup.exe=a.txt b.txt=b.txt
craft "$out/unwritable_name.exe" Setup.exe="$probe" 'what?.txt=a.txt'
cp a.txt twin.txt
craft "$out/shared_data.exe" --share-data 1:2 Setup.exe="$probe" a.txt=a.txt twin.txt=twin.txt

mkdir -p "$out/src/codepage/Café"
cp "$probe" "$out/src/codepage/Setup.exe"
printf '\xc3\x9cbersicht\r\n' > "$out/src/codepage/Café/Übersicht.txt"
"$host_bin/sfxpack" pack "$out/src/codepage" -o "$out/codepage.exe" --stub "$stub"

mkdir -p "$out/linked/tmp" "$out/linked/target"
printf 'canary' > "$out/linked/target/canary.txt"
ln -s "$out/linked/target" "$out/linked/tmp/Mivor.40"

cp "$stub" "$out/bare_stub.exe"
size=$(stat -c %s "$out/ok_nested.exe")
head -c $((size - 1000)) "$out/ok_nested.exe" > "$out/truncated.exe"
cp "$out/ok_nested.exe" "$out/damaged_stream.exe"
# 200,000 bytes before the end lies inside the packed random data of deep.bin.
printf '\x5a' | dd of="$out/damaged_stream.exe" bs=1 seek=$((size - 200000)) conv=notrunc status=none
cmp -s "$out/ok_nested.exe" "$out/damaged_stream.exe" && { echo "prepare_e2e: stream not damaged" >&2; exit 1; }

# A throwaway self-signed certificate, used once and thrown away with OUT.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/src/key.pem" -out "$out/src/cert.pem" -days 2 \
  -subj "/CN=Mivor test signer" >/dev/null 2>&1
osslsigncode sign -certs "$out/src/cert.pem" -key "$out/src/key.pem" -n "Mivor test" \
  -in "$out/ok_nested.exe" -out "$out/signed.exe" >/dev/null
osslsigncode verify -CAfile "$out/src/cert.pem" -in "$out/signed.exe" >"$out/src/verify.log" 2>&1 ||
  { cat "$out/src/verify.log" >&2; echo "prepare_e2e: the signature of signed.exe does not verify" >&2; exit 1; }
stub_hash=$(sha256sum <"$stub" | cut -d' ' -f1)
listing=$("$host_bin/sfxpack" list "$out/signed.exe")
grep -qx "stub SHA-256: $stub_hash" <<<"$listing" ||
  { echo "prepare_e2e: sfxpack list does not show the stub's SHA-256 $stub_hash for signed.exe" >&2; exit 1; }
"$host_bin/sfxpack" pack "$tree" -o "$out/as_invoker.exe" --stub "$stub" --elevation invoker

mkdir -p "$out/locale"
for locale in de_DE en_US ja_JP; do
  localedef -i "$locale" -f UTF-8 "$out/locale/$locale.UTF-8" >/dev/null 2>&1 || true
done
echo "prepare_e2e: installers in $out"
