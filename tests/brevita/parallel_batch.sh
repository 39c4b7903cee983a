#!/usr/bin/env bash
# The batch with trims in parallel against the serial batch, on the demo
# server: every recording, log line, printed line, request and pending entry
# must come out the same. Two rounds: everything listed; a limit on the
# voice names while the directory service refuses every request.
#
#   parallel_batch.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
demo=$work/demo
cleanup() {
    "$repo/tools/demo-server" remove "$demo" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
DEMO_NAMES=40 DEMO_GREETINGS=40 "$repo/tools/demo-server" start "$demo" >/dev/null 2>&1
# shellcheck disable=SC1091
source "$demo/env"
live=$demo/Stream\ Files
cp -a "$live" "$work/pristine"
sql() { psql -X -q -At -d CorvoxDb -c "$1"; }
# Rows a real server can hold: a voice name without a path, and a changed
# one whose subscriber cannot be read back as text.
first=$(sql "SELECT streampath FROM subscriber ORDER BY id LIMIT 1")
sql "INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES
     (NULL, 'no path', gen_random_uuid()), ('$first', 'twice', gen_random_uuid())"

# run NAME SLOTS MAX: one batch from pristine recordings into $work/NAME
run() {
    local out=$work/$1 prog=$work/program
    rm -rf "$prog"
    mkdir -p "$prog" "$out"
    cp "$bin/Brevita" "$bin/sndprobe" "$bin/libsndprobe.so" "$prog/"
    cp "$bin"/libvmwav_sndfile.so "$prog/" 2>/dev/null || true
    sed -e 's/^"BackupFiles"=dword:00000001/"BackupFiles"=dword:00000000/' \
        -e "s/^\"MaxVoiceNames\"=.*/\"MaxVoiceNames\"=\"$3\"\r/" \
        -e "s/^\"SilenceLevel\"=.*/&\n\"ParallelTrims\"=dword:$(printf %08x "$2")\r/" \
        "$demo/registry.reg" >"$out/registry.reg"
    rm -rf "$live"
    cp -a "$work/pristine" "$live"
    sql "TRUNCATE request"
    local status=0
    BREVITA_REGISTRY=$out/registry.reg "$prog/Brevita" --batch --yes >"$out/stdout" 2>&1 || status=$?
    echo "exit status $status" >>"$out/stdout"
    sed -i 's/_Log_[0-9_]*\.TXT/_Log_.TXT/' "$out/stdout"
    sed -e 's#^[0-9]*/[0-9]*/[0-9]* [0-9:]* [AP]M: ##' -e 's/^Local time=.*//' \
        "$prog"/logs/*.TXT >"$out/log"
    sql "SELECT proc, object_id FROM request ORDER BY id" >"$out/requests"
    cat "$prog"/*.pending >"$out/pending" 2>/dev/null || : >"$out/pending"
    cp -a "$live" "$out/files"
    ls -A "$prog" >"$out/program-folder"
}

same() {
    local a=$work/$1 b=$work/$2 what
    for what in stdout log requests pending program-folder; do
        diff -u "$a/$what" "$b/$what" >&2 || { echo "$2: $what differs from $1" >&2; exit 1; }
    done
    diff -r "$a/files" "$b/files" >&2 || { echo "$2: recordings differ from $1" >&2; exit 1; }
}

check() {
    grep -q "$2" "$work/$1/$3" || { echo "$1: no \"$2\" in $3" >&2; exit 1; }
}

run serial 1 0
run parallel 4 0
same serial parallel
check serial "voice names updated and" stdout
check serial "(error) file not found" log
check serial "exit status 1" stdout

# A limit on the voice names while the directory service refuses every
# request: the run stops at the same name, and each name it changed stays
# owed to the server.
sql "INSERT INTO sync_fault VALUES ('fail')"
run serial-max 1 11
run parallel-max 3 11
same serial-max parallel-max
check serial-max "maximum number of names" log
check serial-max "directory service is not running" log
[ "$(wc -l <"$work/serial-max/pending")" -eq 11 ] || { echo "serial-max: not 11 pending" >&2; exit 1; }
echo "parallel batches match the serial ones"
