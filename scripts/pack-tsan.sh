#!/usr/bin/env bash
# zimbro-pack under ThreadSanitizer: builds a checking copy of the packer in
# build/pack-tsan/ and runs every packer test that needs no Wine with it
# (the stress test of many packs among them). A race report makes the
# packer exit 66 and print it, which fails the test that ran it.
# Native and quick: it runs on every machine, before the Wine trees.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$root/build/pack-tsan
cmake -S "$root/pack" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIMBRO_PACK_SANITIZE=thread >/dev/null
cmake --build "$tree" -j "$(nproc)" >/dev/null
# The stub only travels inside the installers here; the tests never start it.
stub=$root/build/zimbro-sfx.exe
[ -f "$stub" ] || { echo "pack-tsan: build the stub first ($stub)" >&2; exit 2; }
export ZIMBRO_PACK=$tree/zimbro-pack ZIMBRO_PACK_STUB=$stub ZIMBRO_PACK_SCRATCH=$tree/scratch
export ZIMBRO_SOURCE_DIR=$root
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1"
groups=(CheckTest ReaderTest ScriptCasesTest MessagesTest ListTest OutputTest InputTest FailureTest VerifyTest LzmaTest PackCheckTest
        StressTest SignalTest)
python3 "$root/tests/pack/pack_test.py" "${groups[@]}"
python3 "$root/tests/pack/publish_test.py"
python3 "$root/tests/pack/zip64_test.py"
python3 "$root/tests/pack/solid_test.py"
python3 "$root/tests/pack/aes_test.py"
