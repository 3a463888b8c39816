#!/usr/bin/env bash
# run.sh [BUILD_DIR [CASE...]]: the headless runner against the kernel's own USB serial drivers. Boots
# Debian's kernel under QEMU (software emulation) with QEMU's emulated FTDI adaptor, whose far
# end is aldl-hwtest-far-end on this machine, runs the cases of guest/init and prints one line
# per case and a summary. Exit 0 all cases passed, 1 a case failed, 2 the harness itself broke
# (QEMU or the guest did not come up): then the failure says so and is not the tester's.
# BUILD_DIR (default build) holds the built programs; the kernel, the initramfs and the logs
# go to BUILD_DIR/hwtest-guest and are reused by the next run. CASEs (say 3 12) run only those.
set -uo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath "${1:-build}")
work=$build/hwtest-guest
cases=(1 2 3 4 5 6a 6b 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24)
[ $# -gt 1 ] && cases=("${@:2}")
chosen=""
[ $# -gt 1 ] && chosen=" aldl.cases=$(IFS=,; echo "${cases[*]}")"
boot_limit=60   # seconds from QEMU's start to the guest's init
run_limit=600   # seconds from QEMU's start to the guest's last case (about 150 when all pass)
started=$SECONDS

harness_failure() {
  echo "HARNESS FAILURE (the harness's own, not the tester's): $*"
  local skipped=0
  for c in "${cases[@]}"; do
    [ -n "${reported[$c]:-}" ] && continue
    printf 'case %-3s NOT RUN\n' "$c"
    skipped=$((skipped + 1))
  done
  echo "hwtest: $passed passed, $failed failed, $skipped skipped"
  exit 2
}
declare -A reported=()
passed=0
failed=0

packages=(qemu-system-x86 busybox-static xz-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "hwtest: installing ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -q >&2 &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
      "${missing[@]}" >&2 || harness_failure "cannot install ${missing[*]}"
fi

for program in "$build/aldl-tester-cli" "$build/hwtest/aldl-hwtest-probe" \
               "$build/hwtest/aldl-hwtest-far-end"; do
  [ -x "$program" ] || harness_failure "$program is not built"
done
mkdir -p "$work"
kernel=$("$here/fetch_kernel.sh" "$work/kernel") || harness_failure "no kernel"
"$here/pack_initramfs.sh" "$build" "$kernel" "$work/initramfs.cpio.gz" ||
  harness_failure "cannot pack the initramfs"

run=$(mktemp -d /tmp/aldl-hwtest.XXXXXX)
far_end_pid=""
qemu_pid=""
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null
  [ -n "$far_end_pid" ] && kill "$far_end_pid" 2>/dev/null
  rm -rf "$run"
}
trap cleanup EXIT

mkfifo "$run/trace"
device="usb-serial,bus=xhci.0,chardev=far,id=ftdi"
"$build/hwtest/aldl-hwtest-far-end" "$run/data.sock" "$run/control.sock" "$run/trace" \
  "$run/monitor.sock" "$device" 2> "$work/far-end.log" &
far_end_pid=$!
for _ in $(seq 50); do
  [ -S "$run/data.sock" ] && [ -S "$run/control.sock" ] && break
  sleep 0.1
done
[ -S "$run/control.sock" ] || harness_failure "the far end did not start (see $work/far-end.log)"

: > "$work/console.log"
: > "$work/unplug-dmesg.txt"
: > "$work/bench.out"
: > "$work/bench.csv"
qemu_started=$SECONDS
qemu-system-x86_64 -M q35 -accel tcg -smp 1 -m 256 -nodefaults -no-user-config -display none \
  -no-reboot -kernel "$kernel/vmlinux" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 loglevel=1 panic=-1$chosen" \
  -chardev file,id=console,path="$work/console.log" -serial chardev:console \
  -chardev socket,id=control,path="$run/control.sock" -serial chardev:control \
  -chardev socket,id=far,path="$run/data.sock" \
  -device qemu-xhci,id=xhci -device "$device" \
  -monitor unix:"$run/monitor.sock",server=on,wait=off \
  -trace usb_serial_handle_control -trace usb_serial_set_baud -D "$run/trace" \
  2> "$work/qemu.log" &
qemu_pid=$!

seconds() { printf '%d.%d' $(($1 / 1000)) $(($1 % 1000 / 100)); }
case_log=()
dmesg_lines=()
table=()
rm -f "$work"/chip-*.log
guest_up=""
guest_done=""
guest_broke=""
handle() {
  local line=${1%$'\r'}
  case "$line" in
    @@INIT*)
      guest_up=$((SECONDS - qemu_started))
      echo "hwtest: $(basename "$kernel") up under QEMU (TCG) in ${guest_up} s"
      ;;
    "@@LOG "*) case_log+=("${line#@@LOG }") ;;
    "@@DMESG "*)
      dmesg_lines+=("${line#@@DMESG }")
      echo "${line#@@DMESG }" >> "$work/unplug-dmesg.txt"
      ;;
    "@@BENCH "*)
      # The bench's output and log, a line at a time: "@@BENCH bench.out TEXT".
      local rest=${line#@@BENCH }
      case "${rest%% *}" in
        bench.out|bench.csv) printf '%s\n' "${rest#* }" >> "$work/${rest%% *}" ;;
      esac
      ;;
    "@@TABLE "*) table+=("${line#@@TABLE }") ;;
    "@@CHIPLOG "*)
      # A chip's request log, a line at a time: "@@CHIPLOG CHIP TEXT".
      local rest=${line#@@CHIPLOG }
      printf '%s\n' "${rest#* }" >> "$work/chip-${rest%% *}.log"
      ;;
    "@@CASE "*)
      local number outcome ms text
      read -r _ number outcome ms text <<< "$line"
      reported[$number]=1
      printf 'case %-3s %s %6s s  %s\n' "$number" "$outcome" "$(seconds "$ms")" "$text"
      if [ "$outcome" = PASS ]; then
        passed=$((passed + 1))
      else
        failed=$((failed + 1))
        [ ${#case_log[@]} -gt 0 ] && printf '      | %s\n' "${case_log[@]}"
      fi
      [ ${#dmesg_lines[@]} -gt 0 ] && printf '      dmesg: %s\n' "${dmesg_lines[@]}"
      case_log=()
      dmesg_lines=()
      ;;
    "@@HARNESS "*) guest_broke=${line#@@HARNESS } ;;
    @@DONE*) guest_done=yes ;;
  esac
}

# Follow the console as the guest writes it, whole lines only.
read_lines=0
while :; do
  total=$(wc -l < "$work/console.log")
  if [ "$total" -gt "$read_lines" ]; then
    while IFS= read -r line; do handle "$line"; done \
      < <(sed -n "$((read_lines + 1)),${total}p" "$work/console.log")
    read_lines=$total
  fi
  [ -n "$guest_done" ] && break
  if ! kill -0 "$qemu_pid" 2>/dev/null; then
    [ -n "$guest_up" ] || harness_failure "QEMU ended before the guest came up: $(
      cat "$work/qemu.log" <(grep -a -m 1 'Kernel panic' "$work/console.log") | tail -n 2)"
    harness_failure "QEMU ended in the middle of the cases (console: $work/console.log)"
  fi
  elapsed=$((SECONDS - qemu_started))
  [ -z "$guest_up" ] && [ $elapsed -gt $boot_limit ] &&
    harness_failure "the guest did not reach its init within $boot_limit s (console: $work/console.log)"
  [ $elapsed -gt $run_limit ] &&
    harness_failure "the guest stopped reporting: not finished within $run_limit s (console: $work/console.log)"
  sleep 0.3
done
for _ in $(seq 50); do kill -0 "$qemu_pid" 2>/dev/null || break; sleep 0.2; done

[ -n "$guest_broke" ] && harness_failure "$guest_broke"
if [ ${#table[@]} -gt 0 ]; then
  echo "hwtest: each chip asked for 8192 baud (error: the measured rate against the chip's true one)"
  printf '  %-12s %-8s %10s %10s %10s %7s\n' chip driver "driver set" "chip runs" measured error
  for row in "${table[@]}"; do
    # shellcheck disable=SC2086
    printf '  %-12s %-8s %10s %10s %10s %7s\n' $row
  done
fi
echo "hwtest: whole harness $((SECONDS - started)) s; logs in $work"
echo "hwtest: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -eq ${#cases[@]} ] || exit 1
