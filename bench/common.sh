# Shared by the benchmarks: tool checks and the large ASF input they share.
# Sourced from the repository root.

bench_need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$BENCH_NAME: needs $tool (apt-get install $tool)" >&2; exit 1; }
  done
}

# bench_large_asf FILE: a 110 s, 16 Mbit/s WMV2 + WMA2 file of about 212 MiB,
# made with ffmpeg once and kept in bench/work/.
bench_large_asf() {
  local file=$1
  local min_bytes=$((200 * 1024 * 1024))
  if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -lt "$min_bytes" ]; then
    echo "$BENCH_NAME: making $file with ffmpeg (once)..." >&2
    ffmpeg -hide_banner -loglevel error -y \
      -f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i sine=frequency=440:sample_rate=44100 \
      -map 0:v -map 1:a -t 110 -c:v wmv2 -b:v 16M -c:a wmav2 -b:a 128k -ac 2 \
      -packet_size 8000 -f asf "$file"
  fi
}
