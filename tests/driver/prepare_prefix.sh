#!/bin/sh
# Prepares the Wine prefix for the script tests (WINEPREFIX comes from
# scripts/with-wine.sh):
#   - the desktop of every prefix user becomes a folder of the prefix: Wine
#     links it to the host's home folder, where test shortcuts do not belong;
#   - a drive letter (argument 2, e.g. r:) is linked to a folder of the build
#     tree (argument 1), so that a drive root can be tested without a drive.
set -eu
root_folder=$1
letter=$2
: "${WINEPREFIX:?run through scripts/with-wine.sh}"
for desktop in "$WINEPREFIX"/drive_c/users/*/Desktop; do
  if [ -L "$desktop" ]; then
    rm "$desktop"
    mkdir "$desktop"
  fi
done
mkdir -p "$root_folder"
ln -sfn "$root_folder" "$WINEPREFIX/dosdevices/$letter"
