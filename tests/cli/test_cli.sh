#!/bin/bash
# tharnvik-cli end to end against the virtual pedal program on a
# pseudo-terminal: every command, the exit statuses, what the pedal received.
# Usage: test_cli.sh CLI PEDAL_SIM
set -u
CLI=$1
SIM=$2
WORK=$(mktemp -d)
export THARNVIK_BRIDGES_DIR=$WORK/bridges
# The folder must be private, as the virtual pedal makes it.
mkdir -m 700 "$THARNVIK_BRIDGES_DIR"
SIM_PID=
SIM2_PID=
failures=0
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    [ -n "$SIM2_PID" ] && kill "$SIM2_PID" 2>/dev/null && wait "$SIM2_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

start_pedal() { # OPTIONS...
    stop_pedal
    : > "$WORK/received"
    "$SIM" --serial SIM42 --log "$WORK/received" "$@" > "$WORK/sim.out" 2>&1 &
    SIM_PID=$!
    for _ in $(seq 100); do
        [ -e "$THARNVIK_BRIDGES_DIR/SIM42.bridge" ] && return 0
        sleep 0.05
    done
    echo "the virtual pedal did not announce itself" >&2
    cat "$WORK/sim.out" >&2
    exit 1
}
stop_pedal() {
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
        SIM_PID=
    fi
}
# run EXPECTED_STATUS ARGS...: output in $WORK/out and $WORK/err
run() {
    local expected=$1
    shift
    "$CLI" "$@" > "$WORK/out" 2> "$WORK/err"
    local status=$?
    [ "$status" -eq "$expected" ] || fail "tharnvik-cli $* exited $status, not $expected: $(cat "$WORK/err")"
}
received() { grep -c "$1" "$WORK/received" || true; }
# on_terminal ANSWER EXPECTED_STATUS ARGS...: the command with a terminal for
# its input, on which ANSWER is typed; output in $WORK/out and $WORK/err.
on_terminal() {
    local answer=$1 expected=$2
    shift 2
    python3 - "$answer" "$CLI" "$@" > "$WORK/out" 2> "$WORK/err" <<'PY'
import os, pty, subprocess, sys
master, slave = pty.openpty()
p = subprocess.Popen(sys.argv[2:], stdin=slave, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
os.close(slave)
os.write(master, (sys.argv[1] + "\n").encode())
out, err = p.communicate(timeout=120)
os.close(master)
sys.stdout.buffer.write(out)
sys.stderr.buffer.write(err)
sys.exit(p.returncode)
PY
    local status=$?
    [ "$status" -eq "$expected" ] || fail "tharnvik-cli $* (typed '$answer') exited $status, not $expected: $(cat "$WORK/err")"
}

# No bridge: status 3 and what to do.
run 3 info
grep -q "No device found" "$WORK/err" || fail "no bridge: $(cat "$WORK/err")"
run 3 list

start_pedal
run 0 list
grep -qx $'SIM42\tTharnvik MK3\tvirtual bridge' "$WORK/out" || fail "list: $(cat "$WORK/out")"

# A folder other users can reach is not read; the reason is said once, on stderr.
chmod 770 "$THARNVIK_BRIDGES_DIR"
run 3 list
said="^Virtual bridges in $THARNVIK_BRIDGES_DIR are ignored: other users have access to it (mode 0770, not 0700)\. "
[ "$(grep -c "$said.*THARNVIK_BRIDGES_DIR" "$WORK/err")" -eq 1 ] || fail "untrusted folder: $(cat "$WORK/err")"
timeout 5 "$SIM" --serial SIM43 > "$WORK/sim43.out" 2>&1
[ $? -eq 1 ] || fail "the virtual pedal took an untrusted folder"
grep -q "cannot hold the announcement: other users have access to it" "$WORK/sim43.out" \
    || fail "sim refusal: $(cat "$WORK/sim43.out")"
[ ! -e "$THARNVIK_BRIDGES_DIR/SIM43.bridge" ] || fail "announced in an untrusted folder"
chmod 700 "$THARNVIK_BRIDGES_DIR"
# An announcement naming the pseudo-terminal master and a file outside the folder is not listed,
# and the link and unlink of the real one leave that file alone.
echo "keep me" > "$WORK/precious"
printf 'serial=EVIL\ndescription=x\npath=/dev/ptmx\npid=%s\nlatency=%s\n' "$SIM_PID" "$WORK/precious" \
    > "$THARNVIK_BRIDGES_DIR/EVIL.bridge"
printf 'serial=EVIL2\ndescription=x\npath=%s\npid=%s\nlatency=%s\n' \
    "$(sed -n 's/^path=//p' "$THARNVIK_BRIDGES_DIR/SIM42.bridge")" "$SIM_PID" "$WORK/precious" \
    > "$THARNVIK_BRIDGES_DIR/EVIL2.bridge"
run 0 list
[ "$(cat "$WORK/out")" = $'SIM42\tTharnvik MK3\tvirtual bridge' ] \
    || fail "planted announcements listed: $(cat "$WORK/out")"
run 3 --serial EVIL2 info
run 0 info
[ "$(cat "$WORK/precious")" = "keep me" ] || fail "a file outside the folder was written: $(cat "$WORK/precious")"
rm -f "$THARNVIK_BRIDGES_DIR/EVIL.bridge" "$THARNVIK_BRIDGES_DIR/EVIL2.bridge"

run 0 info
grep -qx "Firmware: 16" "$WORK/out" || fail "info firmware: $(cat "$WORK/out")"
grep -qx "Algorithm: 0015" "$WORK/out" || fail "info algorithm"
grep -qx "Dry: 0x00600000" "$WORK/out" || fail "info Dry"

run 0 --serial SIM42 info --json
python3 - "$WORK/out" <<'PY' || fail "info --json"
import json, sys
o = json.load(open(sys.argv[1]))
assert o["firmware"] == 16 and o["algorithm"] == "0015" and o["effect"] == 0, o
assert o["parameters"]["Dry"] == 0x600000 and o["parameters"]["-1 Oct"] == 0x700000, o["parameters"]
assert len(o["parameters"]) == 20 and "Noise Gate Threshold" in o["parameters"]
assert set(o["assignments"]) == {"Control I", "Control II", "Control III", "Control IV", "Remote"}
for key in ("footswitch", "tuning", "semitones", "bypass", "store_bypass", "instrument_range",
            "midi_channel", "first_preset_at_power_on"):
    assert key in o, key
PY

# set: exactly the effect window's seven bytes, then the pedal holds the value.
run 0 --log "$WORK/narration" set "Dry" 0x800000
[ "$(received '^01002700800000$')" -eq 1 ] || fail "set Dry: $(cat "$WORK/received")"
grep -q "Send Dry string (standard par): 01002700800000" "$WORK/narration" || fail "set narration"
# The link lowers the bridge's latency timer and closing the bridge puts it back.
grep -q "Latency timer: 1 ms (was 16 ms)" "$WORK/narration" || fail "latency line: $(grep -i latency "$WORK/narration")"
[ "$(cat "$THARNVIK_BRIDGES_DIR/SIM42.latency")" = 16 ] || fail "latency not put back: $(cat "$THARNVIK_BRIDGES_DIR/SIM42.latency")"
run 0 set "Noise Gate Threshold" 4096
run 0 info --json
python3 -c "import json,sys; o=json.load(open(sys.argv[1])); assert o['parameters']['Dry']==0x800000 and o['parameters']['Noise Gate Threshold']==4096, o" "$WORK/out" \
    || fail "values after set"

# Usage errors: status 2, nothing sent.
: > "$WORK/received"
run 2 set dry 1
run 2 set Dry 0x1FFFFFFFF
run 2 set Dry twelve
run 2 frobnicate
run 2 --serial
run 2 info --yaml
# A log that cannot be written is found before the link, not after the work.
run 2 --log "$WORK/no-such-folder/cli.log" set Dry 0x400000
[ "$(wc -l < "$WORK/err")" -eq 1 ] && grep -q "cannot write the log" "$WORK/err" || fail "unwritable log: $(cat "$WORK/err")"
[ ! -e "$WORK/no-such-folder" ] || fail "unwritable log: the folder was made"
[ ! -s "$WORK/received" ] || fail "a usage error sent: $(cat "$WORK/received")"
run 0 --help
grep -q "Exit status" "$WORK/out" || fail "--help"
run 0 set --help
grep -q "VALUE" "$WORK/out" || fail "set --help"
run 3 --serial NOPE info
grep -q "tharnvik-cli list" "$WORK/err" || fail "unknown serial advice"

# preset save: the editor's file, written whole.
run 0 preset save "$WORK/Clean"
[ -f "$WORK/Clean.txt" ] || fail "preset file"
head -c 3 "$WORK/Clean.txt" | od -An -tx1 | grep -q "ef bb bf" || fail "preset BOM"
grep -q "File saved successfully" "$WORK/out" || fail "preset message"
run 1 preset save "$WORK/no/such/folder/x"
grep -q "Error saving file" "$WORK/err" || fail "preset error: $(cat "$WORK/err")"

# preset load: the messages the effect window's controls send; here only Dry moves.
run 0 set Dry 0x100000
: > "$WORK/received"
run 0 --log "$WORK/load.log" preset load "$WORK/Clean.txt"
grep -qx "1 messages sent" "$WORK/out" || fail "preset load: $(cat "$WORK/out") $(cat "$WORK/err")"
[ "$(received '^010027007FE000$')" -eq 1 ] || fail "preset load message: $(cat "$WORK/received")"
grep -q "LOAD LOCAL PRESET" "$WORK/load.log" || fail "preset load narration"
run 0 info --json
python3 -c "import json,sys; assert json.load(open(sys.argv[1]))['parameters']['Dry']==0x7FE000" "$WORK/out" || fail "Dry after load"
: > "$WORK/received"
run 2 preset load "$WORK/missing.txt"
[ "$(received '^01')" -eq 0 ] || fail "a missing preset sent"

# The settings memories.
run 0 eeprom read 50
[ "$(wc -l < "$WORK/out")" -eq 1024 ] || fail "eeprom dump lines: $(wc -l < "$WORK/out")"
grep -q "^0000: " "$WORK/out" || fail "eeprom dump shape"
run 0 eeprom read 51 --out "$WORK/presets.bin"
[ "$(stat -c %s "$WORK/presets.bin")" -eq 16384 ] || fail "eeprom --out size"
run 2 eeprom read 52
: > "$WORK/received"
"$CLI" eeprom erase < /dev/null > "$WORK/out" 2> "$WORK/err"
[ $? -eq 2 ] || fail "erase without Enter"
grep -q "^0B" "$WORK/received" && fail "erase without Enter erased"

# backup, change, restore: the pedal holds the backup again.
run 0 backup "$WORK/settings.json"
run 0 set "Input Level" 1234
python3 - "$WORK/settings.json" "$WORK/changed.json" <<'PY'
import json, sys
o = json.load(open(sys.argv[1]))
o["assignments"]["Control I"] = "Wave Clip"
o["assignments"]["Remote"] = "Preset"
o.update(footswitch=3, tuning=2, semitones=-2, midi_channel=7, store_bypass=True,
         instrument_range="low", first_preset_at_power_on=True)
json.dump(o, open(sys.argv[2], "w"))
PY
run 0 restore "$WORK/changed.json"
run 0 info --json
python3 - "$WORK/out" <<'PY' || fail "restored settings"
import json, sys
o = json.load(open(sys.argv[1]))
assert o["assignments"]["Control I"] == "Wave Clip" and o["assignments"]["Remote"] == "Preset", o["assignments"]
assert (o["footswitch"], o["tuning"], o["semitones"], o["midi_channel"]) == (3, 2, -2, 7), o
assert o["store_bypass"] and o["first_preset_at_power_on"] and o["instrument_range"] == "low", o
assert o["parameters"]["Input Level"] == 0x800000, o["parameters"]
PY
run 0 restore "$WORK/settings.json"
echo '{"format": "tharnvik-mk3-settings", "assignable": {}}' > "$WORK/bad.json"
: > "$WORK/received"
run 2 restore "$WORK/bad.json"
[ ! -s "$WORK/received" ] || fail "a bad backup sent: $(cat "$WORK/received")"
run 0 eeprom erase --yes --check
grep -qx "Memory is empty" "$WORK/out" || fail "erase check: $(cat "$WORK/out")"

# A silent pedal: status 1 within the editor's limits.
start_pedal --silent
start=$(date +%s%N)
run 1 info
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
grep -q "did not answer" "$WORK/err" || fail "silent: $(cat "$WORK/err")"
[ "$elapsed" -lt 6000 ] || fail "silent pedal took ${elapsed} ms"

run 1 eeprom read 50
grep -q "No memory dump came" "$WORK/err" || fail "silent dump: $(cat "$WORK/err")"

# An old algorithm: info still prints; set refuses with the editor's advice.
start_pedal --algorithm 14
run 0 info
run 1 set Dry 1
grep -q "Upload the latest version of Tharnvik MK3 algorithm" "$WORK/err" || fail "old algorithm: $(cat "$WORK/err")"

# upload: the pedal's answer; a bad file sends nothing.
start_pedal
run 0 upload "Tharnvik MK3 0015"
grep -q "Upload Complete" "$WORK/out" || fail "upload answer: $(cat "$WORK/out") $(cat "$WORK/err")"
[ "$(received '^0D01$')" -ge 1 ] || fail "upload without bypass first"
: > "$WORK/empty.dat"
: > "$WORK/received"
run 2 upload --file "$WORK/empty.dat"
run 2 upload "Tharnvik MK3 9999"
[ ! -s "$WORK/received" ] || fail "a refused upload sent: $(cat "$WORK/received")"
# The carried image of 0015 as the binary file a player would upload.
python3 -c "import sys; open(sys.argv[2], 'wb').write(bytes.fromhex(open(sys.argv[1]).readline().strip()))" \
    "$(dirname "$0")/../../src/resources/payloads/THARNVIK_MK3_0015" "$WORK/algo.dat"
run 0 upload --file "$WORK/algo.dat"
grep -q "Upload Complete" "$WORK/out" || fail "file upload answer: $(cat "$WORK/out")"

# flash by the enter-bootloader message, from firmware 15.
start_pedal --firmware 15
run 0 flash --yes
grep -qx "Device Firmware: 16" "$WORK/out" || fail "flash: $(cat "$WORK/out") $(cat "$WORK/err")"
grep -q "Keep SHIFT button" "$WORK/out" || fail "flash: no SHIFT instructions"
[ "$(received '^0500010203040506$')" -eq 1 ] || fail "flash: no enter-bootloader message"
run 0 info --json
python3 -c "import json,sys; assert json.load(open(sys.argv[1]))['firmware']==16" "$WORK/out" || fail "firmware after flash"

# Without --yes the first question waits for Enter; no input stops before anything.
start_pedal --firmware 15
: > "$WORK/received"
"$CLI" flash < /dev/null > "$WORK/out" 2> "$WORK/err"
[ $? -eq 2 ] || fail "flash without Enter: $(cat "$WORK/err")"
[ "$(received '^0500010203040506$')" -eq 0 ] || fail "flash without Enter entered the bootloader"
printf '\n\n' | "$CLI" flash > "$WORK/out" 2> "$WORK/err" || fail "flash with Enter: $(cat "$WORK/err")"

# A NACK half-way: status 1, no Go, and the legacy path writes it again.
start_pedal --firmware 15 --boot-nack-at 40
run 1 --log "$WORK/nack.log" flash --yes
grep -q "stays in its bootloader" "$WORK/err" || fail "nack message: $(cat "$WORK/err")"
grep -q "SEND GO COMMAND" "$WORK/nack.log" && fail "Go was sent into the incomplete image"
run 0 flash --legacy --yes
grep -qx "Device Firmware: 16" "$WORK/out" || fail "legacy flash: $(cat "$WORK/err")"

# Ctrl+C half-way through a paced upgrade: it stops at the next step, says
# where the pedal is left, and never sends Go.
start_pedal --firmware 15 --paced
"$CLI" --log "$WORK/interrupted.log" flash --yes > "$WORK/out" 2> "$WORK/err" &
cli_pid=$!
sleep 4
kill -INT "$cli_pid"
wait "$cli_pid"
status=$?
[ "$status" -eq 1 ] || fail "interrupted flash exited $status: $(cat "$WORK/err")"
grep -q "stopped by Ctrl+C" "$WORK/err" || fail "interrupted flash message: $(cat "$WORK/err")"
grep -q "stays in its bootloader" "$WORK/err" || fail "interrupted flash state: $(cat "$WORK/err")"
grep -q "SEND GO COMMAND" "$WORK/interrupted.log" && fail "Go after Ctrl+C"

# A pedal in its bootloader from the start: found by the greeting.
start_pedal --bootloader
run 0 flash FIRMWARE_16 --yes
grep -qx "Device Firmware: 16" "$WORK/out" || fail "flash from the bootloader: $(cat "$WORK/err")"
run 2 flash FIRMWARE_99
run 2 flash --file "$WORK/empty.dat"

# Greeted as a bootloader, the pedal cannot say which firmware it runs: the
# erase waits for a "y" typed on a terminal. Piped input, or any other
# answer, erases nothing.
start_pedal --bootloader
"$CLI" flash < /dev/null > "$WORK/out" 2> "$WORK/err"
[ $? -eq 2 ] || fail "legacy flash with piped input: $(cat "$WORK/err")"
grep -q "Erase its flash and write FIRMWARE_16? \[y/N\]" "$WORK/out" || fail "legacy question: $(cat "$WORK/out")"
grep -q "Nothing was erased" "$WORK/err" || fail "legacy refusal: $(cat "$WORK/err")"
on_terminal n 2 flash --legacy
grep -q "\[y/N\]" "$WORK/out" || fail "legacy question on a terminal: $(cat "$WORK/out")"
[ "$(received '^43BC$')" -eq 0 ] || fail "the flash was erased without a yes"
on_terminal y 0 flash --legacy
grep -q "\[y/N\] Device Firmware: 16$" "$WORK/out" || fail "legacy flash after y: $(cat "$WORK/out") $(cat "$WORK/err")"
[ "$(received '^43BC$')" -eq 1 ] || fail "legacy flash after y: no erase"

# A file that is not a firmware image is refused before anything is opened,
# saying what is wrong with it.
printf 'Firmware 17 release notes\n' > "$WORK/notes.txt"
printf ':1000000000500020010100089102000895020008D5\r\n:00000001FF\r\n' > "$WORK/fw.hex"
head -c 4096 /dev/zero > "$WORK/zeros.bin"
python3 -c "import sys; open(sys.argv[1], 'wb').write(bytes(130049))" "$WORK/big.bin"
: > "$WORK/received"
run 2 flash --file "$WORK/notes.txt"
grep -q "stack pointer 0x6D726946, is not in the microcontroller's RAM" "$WORK/err" || fail "text file: $(cat "$WORK/err")"
run 2 flash --file "$WORK/fw.hex"
grep -q "Intel HEX" "$WORK/err" || fail "HEX file: $(cat "$WORK/err")"
run 2 flash --file "$WORK/zeros.bin" --version 17
grep -q "stack pointer 0x00000000" "$WORK/err" || fail "zeros: $(cat "$WORK/err")"
run 2 flash --file "$WORK/big.bin"
grep -q "too large for the flash" "$WORK/err" || fail "big file: $(cat "$WORK/err")"
[ ! -s "$WORK/received" ] || fail "a refused image sent: $(cat "$WORK/received")"

# With two bridges and no --serial, flash names them and opens neither.
"$SIM" --serial SIM43 > "$WORK/sim2.out" 2>&1 &
SIM2_PID=$!
for _ in $(seq 100); do
    [ -e "$THARNVIK_BRIDGES_DIR/SIM43.bridge" ] && break
    sleep 0.05
done
: > "$WORK/received"
run 2 --log "$WORK/two.log" flash --yes
grep -q "2 bridges are attached (SIM42, SIM43): choose the pedal with --serial S" "$WORK/err" \
    || fail "two bridges: $(cat "$WORK/err")"
grep -q "Latency timer" "$WORK/two.log" && fail "two bridges: a bridge was opened"
[ ! -s "$WORK/received" ] || fail "two bridges: sent $(cat "$WORK/received")"
run 0 --serial SIM42 flash --yes
grep -qx "Device Firmware: 16" "$WORK/out" || fail "flash with --serial: $(cat "$WORK/err")"
kill "$SIM2_PID" 2>/dev/null
wait "$SIM2_PID" 2>/dev/null
SIM2_PID=

stop_pedal
[ "$failures" -eq 0 ] || exit 1
echo "tharnvik-cli: ok"
