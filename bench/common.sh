# Shared by the benchmarks: tool checks and the large ASF input they share.
# Sourced from the repository root.

bench_need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$BENCH_NAME: needs $tool (apt-get install ${tool##*/})" >&2; exit 1; }
  done
}

# bench_large_asf FILE: a 130 s, 16 Mbit/s WMV2 + WMA2 file of about 251 MiB
# with 8,000-byte packets, made with ffmpeg once and kept in bench/work/.
bench_large_asf() {
  local file=$1
  local min_bytes=$((200 * 1024 * 1024))
  if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -lt "$min_bytes" ]; then
    echo "$BENCH_NAME: making $file with ffmpeg (once)..." >&2
    ffmpeg -hide_banner -loglevel error -y \
      -f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i sine=frequency=440:sample_rate=44100 \
      -map 0:v -map 1:a -t 130 -c:v wmv2 -b:v 16M -c:a wmav2 -b:a 128k -ac 2 \
      -packet_size 8000 -f asf "$file"
  fi
}

# bench_runs FULL QUICK: FULL runs, or QUICK when bench/run-all --quick set
# BENCH_QUICK=1.
bench_runs() {
  if [ "${BENCH_QUICK:-0}" = 1 ]; then echo "$2"; else echo "$1"; fi
}

# bench_server ARGS...: starts tapewell-testserver on loopback with ARGS and
# sets server (its pid), mms and http (its ports). Stopped when the script
# exits.
bench_server() {
  local out
  out=$(mktemp)
  build/bin/tapewell-testserver "$@" >"$out" 2>/dev/null &
  server=$!
  trap bench_stop_server EXIT
  for _ in $(seq 100); do grep -q listening "$out" && break; sleep 0.1; done
  mms=$(sed -n 's/.*mms=\([0-9]*\).*/\1/p' "$out")
  http=$(sed -n 's/.*http=\([0-9]*\).*/\1/p' "$out")
  rm -f "$out"
  [ -n "$mms$http" ] || { echo "$BENCH_NAME: tapewell-testserver did not start" >&2; exit 1; }
}

# Stops the server bench_server started (also from an EXIT trap, where a
# failing wait must not become the script's exit status).
bench_stop_server() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
}

# bench_timed FILE COMMAND...: runs COMMAND under /usr/bin/time and appends
# "wall user system max-rss-KiB" to FILE; fails when COMMAND fails.
bench_timed() {
  local file=$1
  shift
  /usr/bin/time -a -o "$file" -f '%e %U %S %M' "$@" || {
    echo "$BENCH_NAME: failed: $*" >&2
    return 1
  }
}

# The request Tapewell's HTTP streaming engine sends for an on-demand stream
# from its start, as curl arguments (HTTP/1.0, with Connection: Close).
bench_stream_request=(--http1.0 -H 'Accept: */*' -H 'User-Agent: NSPlayer/4.1.0.3856'
  -H 'Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=2,max-duration=0'
  -H 'Pragma: xPlayStrm=1' -H 'Pragma: xClientGUID={3300AD50-2C39-46C0-AE0A-60D0E0F0A0B0}'
  -H 'Pragma: stream-switch-count=1' -H 'Pragma: stream-switch-entry=ffff:1:0'
  -H 'Connection: Close')
