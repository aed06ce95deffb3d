#!/usr/bin/env bash
# Signs an executable in place: Authenticode with SHA-256, by osslsigncode.
# Usage: sign.sh FILE CERT KEY PKCS12 TIMESTAMP_URL [rfc3161|legacy] (empty arguments are left
# out; the time-stamp is asked for by RFC 3161 unless "legacy" is given). The password
# of an encrypted key or PKCS#12 file comes from UPDATER_SIGN_PASSWORD, never from the command
# line, and reaches the tool through a pipe.
set -euo pipefail
file=$1 cert=$2 key=$3 pkcs12=$4 url=$5 protocol=${6:-rfc3161}
args=(sign -h sha256 -in "$file" -out "$file.signed")
if [ -n "$pkcs12" ]; then
  args+=(-pkcs12 "$pkcs12")
else
  args+=(-certs "$cert" -key "$key")
fi
if [ -n "$url" ]; then
  case $protocol in
    rfc3161) args+=(-ts "$url") ;;
    legacy) args+=(-t "$url") ;;
    *) echo "sign.sh: unknown time-stamp protocol '$protocol'" >&2; exit 2 ;;
  esac
fi
if [ -n "${UPDATER_SIGN_PASSWORD:-}" ]; then
  exec 3< <(printf '%s' "$UPDATER_SIGN_PASSWORD")
  args+=(-readpass /dev/fd/3)
fi
rm -f "$file.signed"
if ! output=$("${OSSLSIGNCODE:-osslsigncode}" "${args[@]}" 2>&1); then
  rm -f "$file.signed"
  echo "signing $file failed:" >&2
  echo "$output" >&2
  exit 1
fi
# The tool writes a new file with the default mode; keep the one the linker gave.
chmod --reference="$file" "$file.signed"
mv "$file.signed" "$file"
