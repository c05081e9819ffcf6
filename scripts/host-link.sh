#!/bin/sh
# host-link.sh LINK TARGET: makes LINK a symbolic link of the host's file
# system to TARGET, both given as Windows paths on drive Z: (the host's
# root), for the tests of links planted in a destination. Started from
# inside Wine through $ZIMBRO_LINK_MAKER (scripts/with-wine.sh). Wine hands
# the caller a host program's process as ended before the program has run,
# so the caller waits for LINK.made instead, which says "done" or "failed".
set -u
unix() { printf '%s' "$1" | sed 's/^[Zz]://; s#\\#/#g'; }
link=$(unix "$1")
if ln -s "$(unix "$2")" "$link"; then echo done >"$link.made.new"; else echo failed >"$link.made.new"; fi
mv "$link.made.new" "$link.made"
