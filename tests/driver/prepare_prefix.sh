#!/bin/sh
# Prepares the Wine prefix for the script tests (WINEPREFIX comes from
# scripts/with-wine.sh, which also keeps the users' shell folders inside the
# prefix): a drive letter (argument 2, e.g. r:) is linked to a folder of the
# build tree (argument 1), so that a drive root can be tested without a drive.
set -eu
root_folder=$1
letter=$2
: "${WINEPREFIX:?run through scripts/with-wine.sh}"
mkdir -p "$root_folder"
ln -sfn "$root_folder" "$WINEPREFIX/dosdevices/$letter"
