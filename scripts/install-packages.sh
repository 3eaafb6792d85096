#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing
# (apt-get --no-install-recommends, as root or through sudo), then drops the
# downloaded copies.
#   scripts/install-packages.sh PACKAGE...
set -euo pipefail
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
missing=()
for package in "$@"; do
  [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" == 'install ok installed' ]] ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" </dev/null >/dev/null
as_root apt-get clean
