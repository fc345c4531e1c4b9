#!/usr/bin/env bash
# The self-contained demonstration run by ./run.sh without arguments: makes
# a short sample ASF with ffmpeg, serves it on loopback with
# tapewell-testserver (one server on demand, one live), records both with
# tapewell-cli record into the base folder (the settings' one, or $1), shows
# what each file holds and stops the servers.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a test server on free loopback ports; sets mms_port and http_port.
start_server() {
  local log=$work/server$#.out
  "$bin/tapewell-testserver" --root "$work/media" --bind 127.0.0.1 "$@" >"$log" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    if grep -q '^listening' "$log"; then
      mms_port=$(sed -n 's/^listening mms=\([0-9]*\) http=.*/\1/p' "$log")
      http_port=$(sed -n 's/^listening .*http=\([0-9]*\)/\1/p' "$log")
      return 0
    fi
    sleep 0.1
  done
  echo "demo: the test server did not start" >&2
  exit 1
}

dir_args=()
[ $# -ge 1 ] && dir_args=(--dir "$1")

echo "== Making a 10-second sample (WMV2 video, WMA2 audio) with ffmpeg"
mkdir -p "$work/media"
ffmpeg -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 \
  -f lavfi -i sine=frequency=440:sample_rate=44100 -t 10 \
  -c:v wmv2 -b:v 800k -c:a wmav2 -b:a 64k -packetsize 3200 "$work/media/sample.asf"

start_server
ondemand_mms=$mms_port
start_server --live --rate realtime
live_http=$http_port
echo "== Serving it on 127.0.0.1: on demand over MMS (port $ondemand_mms), live over HTTP (port $live_http)"

files=()
record() {
  echo "== tapewell-cli record $*"
  # The output is shown as it comes and kept in a file for the paths. (tee
  # to /dev/stderr would reopen a log file that stderr points to and
  # truncate it.)
  "$bin/tapewell-cli" record "${dir_args[@]}" --exists rename --resume no "$@" | tee "$work/record.out"
  while read -r path; do files+=("$path"); done < <(sed -n 's/^file //p' "$work/record.out")
}
record "mms://127.0.0.1:$ondemand_mms/sample.asf" DemoOnDemand
record --max-time 15 "http://127.0.0.1:$live_http/sample.asf" DemoLive

for file in "${files[@]}"; do
  echo "== tapewell-cli info $file"
  "$bin/tapewell-cli" info "$file" | sed -n '1,9p;/^Audio:/p;/^Video:/p'
done
echo "== The recordings are:"
for file in "${files[@]}"; do echo "   $file"; done
