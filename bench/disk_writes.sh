#!/usr/bin/env bash
# Device writes of tessalyd, as an SD card would see them: the application folder on a fresh ext4
# file system on a loop device, the simulated board on a pseudo-terminal, every output on (day
# file, history lines and page, spreadsheet rows), and the loop device's own counters read before
# and after the measuring time. One run for each SyncSeconds given (default 0 and 300).
# Needs root (losetup, mount) and the build's tessalyd and simboard:
#   cmake --build build --target tessalyd simboard
#   sudo bench/disk_writes.sh [--seconds 300] [--interval 10] [--block-size 4096] [SYNCSECONDS...]
# Prints, for each run, the writes and KiB over the time and as a day at that pace. A day's figure
# wants the clock hour's writes too (the ledger's line, the hourly saves): --seconds 3600 takes in
# one hour and, with records held, exactly its rounds, where the default 300 s only shows the
# records' own pace. The file system is mkfs.ext4's own for its 256 MiB, with 1 KiB blocks; a card's
# has 4 KiB blocks (--block-size 4096), so each block it writes is four times the size.
# Runs in separate shells may go side by side: each has a loop device of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=300
interval=10
blocks=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --interval) interval=$2; shift 2 ;;
    --block-size) blocks=(-b "$2"); shift 2 ;;
    *) break ;;
  esac
done
periods=("$@")
[ ${#periods[@]} -gt 0 ] || periods=(0 300)
tessalyd="$root/build/programs/tessalyd"
simboard="$root/build/tools/simboard"
for program in "$tessalyd" "$simboard"; do
  [ -x "$program" ] || { echo "build $program first" >&2; exit 1; }
done

work=$(mktemp -d)
mnt="$work/mnt"
loop=
daemon=
board=
cleanup() {
  [ -z "$daemon" ] || kill "$daemon" 2>/dev/null || true
  [ -z "$board" ] || kill "$board" 2>/dev/null || true
  wait 2>/dev/null || true
  if mountpoint -q "$mnt"; then umount "$mnt"; fi
  [ -z "$loop" ] || losetup -d "$loop" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The write I/Os and the sectors written, from the block device's stat file.
counters() { awk '{ print $5, $7 }' "/sys/block/$(basename "$loop")/stat"; }

run() {
  local sync=$1
  truncate -s 256M "$work/disk.img"
  mkfs.ext4 -q -F "${blocks[@]}" "$work/disk.img"
  loop=$(losetup --find --show "$work/disk.img")
  mkdir -p "$mnt"
  mount "$loop" "$mnt"
  local app="$mnt/app"
  mkdir -p "$app/logs" "$app/html" "$app/Excel"
  cp "$root/programs/appdir/settings.cfg" "$app/"
  cp "$root/programs/appdir/html/template.asp" "$app/html/"
  printf 'Program Config File\r\n\r\n<Port>1</Port>\r\n<Savehtml>1</Savehtml>\r\n<SaveExcel>1</SaveExcel>\r\n<LogDelay>%s</LogDelay>\r\n<LogOn>1</LogOn>\r\n<DisplayRPM>1</DisplayRPM>\r\n<DisplayWS>0</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n\r\n' \
    "$interval" >"$app/prog.cfg"
  # The simulated bank's volts wander; the level is set low so the period alone is measured.
  printf 'Storage Settings\r\n\r\n<SyncSeconds>%s</SyncSeconds>\r\n<SyncBelowVolts>5</SyncBelowVolts>\r\n\r\n' \
    "$sync" >"$app/storage.cfg"
  sync
  "$simboard" --link "$app/com1" --quiet & board=$!
  sleep 1
  env -u DISPLAY -u WAYLAND_DISPLAY -u NOTIFY_SOCKET XDG_STATE_HOME="$work/state" \
    XDG_CACHE_HOME="$work/cache" "$tessalyd" --dir "$app" 2>"$work/journal.txt" & daemon=$!
  # The start's own writes (the folder's first files) are not the steady pace.
  sleep $((interval + 5))
  # Held records go on the clock's multiples of the period within the hour: the measuring time
  # begins half a period past one, so a time of whole periods (3600 s) holds each round once.
  if [ "$sync" -gt 0 ]; then
    local minute second into
    read -r minute second < <(date '+%M %S')
    into=$((10#$minute * 60 + 10#$second))
    sleep $(((into / sync * sync + sync / 2 - into + sync) % sync))
  fi
  read -r writes0 sectors0 < <(counters)
  sleep "$seconds"
  read -r writes1 sectors1 < <(counters)
  # The close writes what is held, the hour's lines so far and the curve's files: with records
  # held those files go every sixth hour, which a run of an hour does not see, so the close's
  # cost (all that was still unwritten flushed with it) is their upper bound.
  kill "$daemon"; wait "$daemon" || true; daemon=
  sync -f "$mnt"
  read -r writes2 sectors2 < <(counters)
  kill "$board"; wait "$board" 2>/dev/null || true; board=
  local records
  records=$(cat "$app"/logs/2*_*_*.txt | grep -c '</T>' || true)
  umount "$mnt"
  losetup -d "$loop"; loop=
  rm -f "$work/disk.img"
  awk -v s="$sync" -v t="$seconds" -v i="$interval" -v w=$((writes1 - writes0)) \
    -v k=$(((sectors1 - sectors0) / 2)) -v r="$records" \
    -v cw=$((writes2 - writes1)) -v ck=$(((sectors2 - sectors1) / 2)) 'BEGIN {
      day = 86400 / t
      printf "SyncSeconds %s, interval %s s: %d writes, %d KiB in %d s (%d records); a day: %d writes, %.1f MiB\n",
        s, i, w, k, t, r, w * day, k * day / 1024
      if (s > 0) printf "  the close: %d writes, %d KiB; a day with four such rounds for the curve'"'"'s files at most: %d writes, %.1f MiB\n",
        cw, ck, w * day + 4 * cw, (k * day + 4 * ck) / 1024
    }'
}

for sync in "${periods[@]}"; do
  run "$sync"
done
