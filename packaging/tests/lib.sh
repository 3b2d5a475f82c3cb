# Shared by the installer checks: failing, waiting on a condition, the
# virtual printer and the receipt script that every check prints.

fail() {
  echo "$check_name: FAIL: $*" >&2
  exit 1
}

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds; false after
# the deadline.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# start_printer EMULATOR FOLDER ADDRESS: a virtual RX-A14 on ADDRESS (ports
# 9100/4000), its paper under FOLDER/paper. Sets printer_pid.
start_printer() {
  local emulator=$1 folder=$2 address=$3
  mkdir -p "$folder/paper"
  "$emulator" --quiet --control "$folder/emulator.sock" --output "$folder/paper" \
    --printer A14 "net:$address" --name receipt </dev/null >"$folder/emulator.log" 2>&1 &
  printer_pid=$!
  wait_for 20 test -S "$folder/emulator.sock" || fail "the virtual printer did not start ($(cat "$folder/emulator.log"))"
}

# stop_printer: SIGTERM writes the paper out; the printer must end cleanly.
stop_printer() {
  if [ -n "${printer_pid:-}" ] && kill -0 "$printer_pid" 2>/dev/null; then
    kill -TERM "$printer_pid"
    wait "$printer_pid" || fail "the virtual printer ended with an error"
  fi
  printer_pid=
}

# receipt_script FILE: a short receipt through the logical device "till".
receipt_script() {
  cat >"$1" <<'SCRIPT'
open p POSPrinter till
p ClaimDevice 1000
p set DeviceEnabled 1
p PrintNormal 2 "\e|cA\e|bCCORVANE MARKET\e|N\n"
p PrintNormal 2 "Milk 1 l                        1.20\n"
p PrintNormal 2 "\e|bCTOTAL                           1.20\e|N\n\e|fP"
p set DeviceEnabled 0
p ReleaseDevice
close p
SCRIPT
}

# check_receipt FOLDER POSCTL_OUTPUT: every call answered 0 and the receipt
# is on the paper.
check_receipt() {
  local folder=$1 output=$2
  grep -q '"rc":' "$output" || fail "posctl reported no calls: $(cat "$output")"
  if grep -q '"rc":[^0]' "$output"; then
    fail "a call failed: $(cat "$output")"
  fi
  # The printer writes its transcript out at the cut.
  wait_for 20 grep -q '\[cut' "$folder/paper/receipt.txt" || fail "the receipt was not cut"
  grep -q "CORVANE MARKET" "$folder/paper/receipt.txt" || fail "the receipt is not on the paper"
  grep -q "TOTAL" "$folder/paper/receipt.txt" || fail "the total is not on the paper"
}
