#!/usr/bin/env bash
# Fetches the real pictures the network tests use from Debian packages, without installing
# them: apt-get download, dpkg -x into a scratch folder, keep only the pictures.
#   fetch-testdata.sh DEST
set -euo pipefail
dest=$1
mkdir -p "$dest"
fetch() {  # package, path inside the package, name in DEST
  [[ -s "$dest/$3" ]] && return 0
  local scratch
  scratch=$(mktemp -d)
  chmod 755 "$scratch"  # apt hands the download to its own user
  (cd "$scratch" && apt-get download -qq "$1" >/dev/null && dpkg -x ./*.deb root)
  cp "$scratch/root/$2" "$dest/$3.part" && mv "$dest/$3.part" "$dest/$3"
  rm -rf "$scratch"
}
fetch opencv-doc usr/share/doc/opencv-doc/examples/data/messi5.jpg messi5.jpg
fetch python3-skimage usr/lib/python3/dist-packages/skimage/data/astronaut.png astronaut.png
