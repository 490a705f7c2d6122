# Shared by the bench scripts: `bin`, a scratch folder `out` cleaned at exit, and start_sim.
bin=build
out=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$out"' EXIT

start_sim() {  # args: tavrel-sim options; serves a pty, sets dev and sim
  rm -f "$out/dev"
  "$bin/sim/tavrel-sim" --pty "$@" >"$out/dev" &
  sim=$!
  for _ in $(seq 50); do [ -s "$out/dev" ] && break; sleep 0.1; done
  dev=$(head -n1 "$out/dev")
}
