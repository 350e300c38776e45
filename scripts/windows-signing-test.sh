#!/usr/bin/env bash
# Signing and version resources of the Windows build, run by
# windows-installer-test.sh (no Wine needed):
#  - every program carries a version resource (product, company, file version,
#    description), read back from the PE files with windres;
#  - with a throwaway self-signed code-signing certificate (openssl), the same
#    build is packed again as the next patch version, signed as
#    `ZELMAR_SIGN_PKCS12=... make windows` signs; every signed file verifies
#    against that certificate with osslsigncode, the programs inside the MSI
#    too, and a file changed after signing does not.
#
# usage: windows-signing-test.sh WINDOWS_BUILD OUT_DIR
# Writes OUT_DIR/cert.pem and, in OUT_DIR, the signed installers of the next
# patch version (the newer version of the installer tests).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
win_build=$1
out=$2

fail() {
  echo "windows-test: FAIL (signing): $*" >&2
  exit 1
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")
params="$win_build/packaging/windows/installers-params.cmake"
programs=$(grep -o '"[^"|]*\.exe|' "$params" | tr -d '"|' | tr '\n' ' ')
[ -n "$programs" ] || fail "no programs listed in $params"
windres=x86_64-w64-mingw32-windres

# --- version resources --------------------------------------------------------
for program in $programs; do
  file="$win_build/installer-stage/bin/$program"
  [ -f "$file" ] || fail "not staged: $file"
  "$windres" -J coff -i "$file" -O rc >"$out/version.rc" 2>&1 || fail "$program: $(cat "$out/version.rc")"
  for expected in "\"ProductName\", \"Zelmar TCP/IP Settings Tool\"" "\"CompanyName\", \"Zelmar\"" \
                  "\"FileVersion\", \"$version\"" "\"OriginalFilename\", \"$program\""; do
    grep -qF "VALUE $expected" "$out/version.rc" || fail "$program has no $expected: $(grep VALUE "$out/version.rc")"
  done
  description=$(sed -n 's/.*VALUE "FileDescription", "\(.*\)"/\1/p' "$out/version.rc")
  [ -n "$description" ] || fail "$program has no description"
  echo "ok: $program $version: $description"
done

# --- a throwaway code-signing certificate -------------------------------------
(
  umask 077
  head -c 24 /dev/urandom | base64 >"$out/password"
  openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -keyout "$out/key.pem" -out "$out/cert.pem" \
    -subj "/CN=Zelmar test code signing/O=Zelmar" -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" -addext "basicConstraints=critical,CA:FALSE" 2>"$out/openssl.log" &&
    openssl pkcs12 -export -inkey "$out/key.pem" -in "$out/cert.pem" -out "$out/cert.p12" \
      -passout "file:$out/password" 2>>"$out/openssl.log"
) || fail "openssl: $(cat "$out/openssl.log")"
rm -f "$out/key.pem"

# --- the same build packed again, signed, as the next patch version ----------
IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"
ZELMAR_SIGN_PKCS12="$out/cert.p12" ZELMAR_SIGN_PASSWORD_FILE="$out/password" \
  cmake -DPARAMS="$params" -DVERSION="$newer" -DOUT_DIR="$out" -P "$repo/packaging/windows/MakeInstallers.cmake" \
  >"$out/pack.log" 2>&1 || fail "packing signed: $(tail -20 "$out/pack.log")"
setup="$out/zelmar-tcpip-settings-$newer-setup.exe"
msi="$out/zelmar-tcpip-settings-$newer-x64.msi"
echo "$newer" >"$out/version"

verify() { osslsigncode verify -CAfile "$out/cert.pem" -in "$1" >"$out/verify.log" 2>&1; }
msiextract -C "$out/from-msi" "$msi" >/dev/null || fail "msiextract $msi"
signed=("$setup" "$msi")
for program in $programs; do
  signed+=("$out/installer-stage/bin/$program")
  signed+=("$(find "$out/from-msi" -name "$program" | head -1)")
done
for file in "${signed[@]}"; do
  [ -f "$file" ] || fail "missing: $file"
  verify "$file" || fail "$file does not verify: $(cat "$out/verify.log")"
  grep -Eq "^Message digest algorithm *: SHA256" "$out/verify.log" || fail "$file is not signed with SHA-256"
done
echo "ok: ${#signed[@]} signed files verify against the certificate (the installers, and the programs staged and in the MSI)"

# A byte changed after signing, in a program and in each installer.
for file in "$out/installer-stage/bin/${programs%% *}" "$setup" "$msi"; do
  cp "$file" "$out/changed"
  size=$(stat -c %s "$out/changed")
  byte=$(od -An -tu1 -j $((size / 3)) -N1 "$out/changed" | tr -d ' ')
  printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$out/changed" bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
  if verify "$out/changed"; then fail "$(basename "$file") still verifies after a byte was changed"; fi
done
rm -f "$out/changed"
echo "ok: a program and both installers changed after signing fail verification"
