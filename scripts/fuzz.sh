#!/usr/bin/env bash
# Fuzzes one target for longer than the test run does:
#   scripts/fuzz.sh [target] [seconds]     e.g. scripts/fuzz.sh feed_fuzz 600
# New corpus entries go to build/fuzz/work/<target>; a crash is written to
# build/fuzz/crashes/ and should be committed to the target's corpus once fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
target=${1:-feed_fuzz}
seconds=${2:-600}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target" >/dev/null
exe=$(find build/fuzz -type f -name "$target" -perm -u+x | head -n 1)
# The target may be declared on one line or across several.
seeds=$(dirname "$(grep -rlE "pelorin_fuzz_target\\($target( |$)" --include=CMakeLists.txt fuzz | head -n 1)")/corpus
mkdir -p "build/fuzz/work/$target" build/fuzz/crashes
"$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix=build/fuzz/crashes/ "build/fuzz/work/$target" "$seeds"
