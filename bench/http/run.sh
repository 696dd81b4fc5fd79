#!/usr/bin/env bash
# Builds the client's download benchmark, starts the loopback nginx with its 64 MB file,
# runs the benchmark under Wine and stops nginx again.
#   bash bench/http/run.sh [build dir, default build/win64] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/win64}
rounds=${2:-3}
cmake --build "$build" --target httpcli_bench >/dev/null
dir="$build/bench/http/nginx"
python3 "$root/tests/fixtures/peers.py" start nginx --dir "$dir" >/dev/null
trap 'python3 "$root/tests/fixtures/peers.py" stop nginx --dir "$dir"' EXIT
port=$(cut -d' ' -f1 "$dir/port")
(cd "$build" && "$root/scripts/wine-run.sh" bench/http/httpcli_bench.exe "http://127.0.0.1:$port/big.bin" "$rounds")
