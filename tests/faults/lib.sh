# The fault suite's machinery, sourced by tests/faults/run: one demo server
# for the whole suite, a fresh "Stream Files", program folder, registry and
# backup folder for every trial, and the checks that every trial ends with.
#
# A recording is "damaged" when it is neither byte for byte its original nor
# byte for byte sndprobe's trim of its original (made by the real sndprobe
# before anything runs), or when its mode or owner changed. After an
# undisturbed run each recording must hold exactly what an undisturbed run
# on a fresh server leaves there. A "stray" is anything in "Stream Files"
# that was not there before (other than what a case planted on purpose), a
# hidden leftover beside the backup, or a partial sndprobe output left in
# the program folder once a later run has come and gone.

ROOT=$(cd "$here/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-build}
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR=$ROOT/$BUILD_DIR ;; esac
BIN=$BUILD_DIR/bin
STANDIN=$here/standin
SETTINGS=(-silence:-45dB,300,20 -strip:OUT,3,250) # the registry's settings
SEED=${FAULT_SEED:-$((($(date +%s%N) / 1000) % 1000000))}
RANDOM=$SEED
IS_ROOT=0
[ "$(id -u)" -eq 0 ] && IS_ROOT=1

note() { printf '%s\n' "faults: $*" >&2; }
die() {
    note "$*"
    exit 2
}

# REPLY: a number in [0, $1), drawn from the seeded generator.
rand() { REPLY=$((((RANDOM << 15) | RANDOM) % $1)); }
# REPLY: microseconds as seconds with a decimal point.
usecs() { printf -v REPLY '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000)); }
now_us() { REPLY=${EPOCHREALTIME/./}; }

# ---- the suite's server and what it holds ---------------------------------

declare -A ORIG TRIM FINAL MODE
FILES=()   # every file below "Stream Files", relative, as the server has them
DIRS=()    # every folder below it
MOUNTS=()  # tmpfs and bind mounts to undo at the end

suite_setup() {
    for p in Brevita sndprobe libsndprobe.so libvmwav_sndfile.so faults_restore \
        faults_silent_server; do
        [ -e "$BIN/$p" ] || die "$BIN/$p is missing: build first (BUILD_DIR=$BUILD_DIR)"
    done
    WORK=${FAULT_WORK:-$(mktemp -d /tmp/brevita-faults.XXXXXX)}
    mkdir -p "$WORK"
    # The unprivileged cases run as nobody, who must reach everything here.
    chmod 755 "$WORK"
    DEMO=$WORK/demo
    LIVE=$DEMO/Stream\ Files
    RESULTS=$WORK/results.tsv
    FAILURES=$WORK/failures.txt
    : >"$RESULTS"
    : >"$FAILURES"
    trap suite_cleanup EXIT
    note "seed $SEED (FAULT_SEED=$SEED repeats this run), work folder $WORK"
    DEMO_NAMES=${FAULT_NAMES:-24} DEMO_GREETINGS=${FAULT_GREETINGS:-24} \
        "$ROOT/tools/demo-server" start "$DEMO" >"$WORK/demo-server.log" 2>&1 ||
        { cat "$WORK/demo-server.log" >&2; die "the demo server did not start"; }
    # shellcheck disable=SC1091
    . "$DEMO/env"
    export PGCONNECT_TIMEOUT=10
    CLUSTER=$(cat "$DEMO/cluster")
    REAL_PGPORT=$PGPORT
    add_bulk
    drop_missing_rows
    # Cases that point rows elsewhere put them back from here.
    sql "CREATE TABLE subscriber_golden AS SELECT id, streampath FROM subscriber"
    snapshot_golden
    cp "$DEMO/registry.reg" "$WORK/registry.template"
    make_trims
}

suite_cleanup() {
    local m
    # What ran is reported even when the suite stopped short.
    [ -n "${FAULT_RESULTS:-}" ] && [ -n "${RESULTS:-}" ] && cp "$RESULTS" "$FAULT_RESULTS"
    for ((m = ${#MOUNTS[@]} - 1; m >= 0; m--)); do
        umount "${MOUNTS[$m]}" 2>/dev/null || umount -l "${MOUNTS[$m]}" 2>/dev/null || true
    done
    [ -n "${SILENT_PID:-}" ] && kill "$SILENT_PID" 2>/dev/null
    [ -n "${CLUSTER:-}" ] && "$here/signal-server" CONT "$CLUSTER" 2>/dev/null
    if [ -n "${DEMO:-}" ] && [ -d "$DEMO" ]; then
        "$ROOT/tools/demo-server" remove "$DEMO" >/dev/null 2>&1 || true
    fi
    if [ -n "${WORK:-}" ] && [ "${FAULT_KEEP:-0}" != 1 ] && [ -z "${FAULT_WORK:-}" ]; then
        remove_tree "$WORK"
    fi
}

# Backups keep read-only folders read-only, which stops rm for anyone but root.
remove_tree() {
    [ -e "$1" ] || return 0
    chmod -R u+rwX "$1" 2>/dev/null || true
    rm -rf "$1"
}

# The server keeps more than the recordings the database lists: a folder of
# other audio, which backups and restores copy too and which no trim may
# touch. It also makes a copy long enough to be interrupted part-way.
add_bulk() {
    local n=${FAULT_BULK:-150} i src=() f
    mkdir -p "$LIVE/other"
    while IFS= read -r -d '' f; do src+=("$f"); done < <(find "$LIVE" -maxdepth 1 -name '*.wav' -print0 | sort -z)
    for ((i = 0; i < n; i++)); do
        cp "${src[$((i % ${#src[@]}))]}" "$LIVE/other/kept$(printf %04d "$i").wav"
    done
}

sql() { psql -X -q -At -v ON_ERROR_STOP=1 -d CorvoxDb -c "$1"; }

# The demo lists one recording that has no file; that error line would be in
# every run. Its row loses its path, so a clean run ends with status 0.
drop_missing_rows() {
    local table path abs
    for table in subscriber messagingrule; do
        while IFS= read -r path; do
            case "$path" in /*) abs=$path ;; *) abs=$LIVE/$path ;; esac
            [ -e "$abs" ] && continue
            sql "UPDATE $table SET streampath = NULL WHERE streampath = '${path//\'/\'\'}'"
        done < <(sql "SELECT streampath FROM $table WHERE streampath IS NOT NULL")
    done
}

# REPLY: the sha256 of a file.
hash_of() { REPLY=$(sha256sum <"$1") && REPLY=${REPLY%% *}; }

snapshot_golden() {
    GOLDEN=$WORK/golden
    rm -rf "$GOLDEN"
    cp -a "$LIVE" "$GOLDEN"
    local rel h
    FILES=() DIRS=()
    while IFS= read -r -d '' rel; do FILES+=("$rel"); done < <(cd "$GOLDEN" && find . -type f -printf '%P\0' | sort -z)
    while IFS= read -r -d '' rel; do DIRS+=("$rel"); done < <(cd "$GOLDEN" && find . -mindepth 1 -type d -printf '%P\0' | sort -z)
    while IFS= read -r -d '' rel; do
        IFS= read -r -d '' h
        ORIG[$rel]=$h
    done < <(hashes "$GOLDEN")
    while IFS= read -r -d '' rel; do
        IFS= read -r -d '' h
        MODE[$rel]=$h
    done < <(cd "$GOLDEN" && find . -type f -printf '%P\0%m %u %g\0')
}

# NUL-separated pairs "relative path, sha256" for every file below $1.
hashes() {
    (cd "$1" && find . -type f -printf '%P\0' | xargs -0 -r sha256sum -z) |
        while IFS= read -r -d '' line; do printf '%s\0%s\0' "${line#*  }" "${line%%  *}"; done
}

# What the real sndprobe makes of each original with the stored settings:
# the only other content a recording may ever have.
make_trims() {
    local rel out=$WORK/trim.wav args=() a n=0
    for a in "${SETTINGS[@]}"; do args+=("${a/OUT/$out}"); done
    for rel in "${FILES[@]}"; do
        TRIM[$rel]=${ORIG[$rel]}
        rm -f "$out"
        if "$BIN/sndprobe" "$GOLDEN/$rel" "${args[@]}" >/dev/null 2>&1 && [ -f "$out" ] &&
            [ "$(stat -c %s "$out")" != "$(stat -c %s "$GOLDEN/$rel")" ]; then
            hash_of "$out"
            TRIM[$rel]=$REPLY
            n=$((n + 1))
        fi
    done
    note "${#FILES[@]} files in \"Stream Files\", $n of them with silence to trim"
}

# ---- one trial --------------------------------------------------------------

# case_begin NAME: a case starts; its counters go to zero.
case_begin() {
    CASE=$1
    TRIALS=0 CHECKED=0 DAMAGED=0 STRAYS=0 LATE=0 WRONG=0
    unset TALLY
    declare -gA TALLY=()
    CASE_T0=$SECONDS
    TRIAL_N=0
}

case_end() {
    printf '%s\t%d\t%d\t%d\t%d\t%d\t%d\n' "$CASE" "$TRIALS" "$CHECKED" "$DAMAGED" "$STRAYS" \
        "$LATE" "$WRONG" >>"$RESULTS"
    note "$(printf '%-44s trials %3d  checked %6d  damaged %d  strays %d  late %d  wrong %d  (%ds)' \
        "$CASE" "$TRIALS" "$CHECKED" "$DAMAGED" "$STRAYS" "$LATE" "$WRONG" $((SECONDS - CASE_T0)))"
    if [ ${#TALLY[@]} -gt 0 ]; then
        local k line=
        for k in "${!TALLY[@]}"; do line+="${line:+, }$k ${TALLY[$k]}"; done
        note "    where the faults struck: $line"
    fi
}

# tally WHAT: one more trial in which the fault struck at WHAT.
tally() { TALLY[$1]=$((${TALLY[$1]:-0} + 1)); }

# Where a killed batch was, from what it had printed.
tally_batch() {
    if [ "$KILLED" = 0 ]; then
        tally "after the end"
    elif grep -q '^Complete$' "$OUT"; then
        tally "at the summary"
    elif grep -q '^Updating greeting files$' "$OUT"; then
        tally "greetings"
    elif grep -q '^Updating voice names$' "$OUT"; then
        tally "voice names"
    elif grep -q '^Copying voice names and greetings\.\.\.$' "$OUT"; then
        tally "backup"
    else
        tally "start-up"
    fi
}

# fail TEXT: one expectation of the case was not met.
fail() {
    WRONG=$((WRONG + 1))
    printf '%s [trial %d]: %s\n' "$CASE" "$TRIAL_N" "$*" >>"$FAILURES"
    note "FAIL $CASE [trial $TRIAL_N]: $*"
}

# trial_begin [STANDIN]: "Stream Files" as the server had it, no request
# logged yet, a new program folder (with STANDIN as its sndprobe and the
# real one beside it), registry and empty backup folder.
trial_begin() {
    # The last trial's folder goes unless something in it failed.
    if [ -n "${T:-}" ] && [ -d "$T" ] && [ "${FAULT_KEEP:-0}" != 1 ] &&
        [ "$(wc -l <"$FAILURES")" = "${FAILURES_BEFORE:-0}" ]; then
        remove_tree "$T"
    fi
    FAILURES_BEFORE=$(wc -l <"$FAILURES")
    TRIALS=$((TRIALS + 1))
    TRIAL_N=$TRIALS
    local slug=${CASE//[^A-Za-z0-9]/-}
    T=$WORK/cases/$slug/$TRIAL_N
    remove_tree "$T"
    mkdir -p "$T/backup" "$T/state"
    chmod -R 755 "$WORK/cases"
    PROG=$T/prog
    BACKUP=$T/backup/
    STATE=$T/state
    REG=$T/registry.reg
    OUT=$T/out
    unset PLANTED
    declare -gA PLANTED=()
    reset_live
    PGPORT=$REAL_PGPORT
    sql "TRUNCATE request"
    make_prog "${1:-}"
    write_registry
    RUN=0
}

reset_live() {
    if mountpoint -q "$LIVE"; then
        find "$LIVE" -mindepth 1 -delete
        cp -a "$GOLDEN/." "$LIVE/"
    else
        rm -rf "$LIVE"
        cp -a "$GOLDEN" "$LIVE"
    fi
}

make_prog() {
    mkdir -p "$PROG"
    cp "$BIN/Brevita" "$BIN/libsndprobe.so" "$BIN/libvmwav_sndfile.so" "$BIN/faults_restore" "$PROG/"
    if [ -n "$1" ]; then
        cp "$BIN/sndprobe" "$PROG/sndprobe.real"
        cp "$STANDIN/$1" "$PROG/sndprobe"
        cp "$STANDIN/plant" "$PROG/plant"
        cp "$STANDIN/call.sh" "$PROG/call.sh"
    else
        cp "$BIN/sndprobe" "$PROG/sndprobe"
    fi
}

# The real sndprobe again, for the undisturbed run after a fault.
# A new file renamed into place: a stand-in still running keeps reading its
# own script.
real_sndprobe() {
    cp "$BIN/sndprobe" "$PROG/sndprobe.new"
    mv -f "$PROG/sndprobe.new" "$PROG/sndprobe"
}

# write_registry [NAME=VALUE...]: the server's registry with this trial's
# backup folder and the given settings (a dword for 0/1 flags, text else).
write_registry() {
    local kv name value line
    sed "s|^\"BackupDestination\"=.*|\"BackupDestination\"=\"$BACKUP\"\r|" \
        "$WORK/registry.template" >"$REG"
    for kv in "$@"; do
        name=${kv%%=*} value=${kv#*=}
        case "$value" in 0 | 1) line="\"$name\"=dword:0000000$value" ;; *) line="\"$name\"=\"$value\"" ;; esac
        sed -i "s|^\"$name\"=.*|$line\r|" "$REG"
    done
}

# brevita LIMIT ARGS...: runs this trial's Brevita without a window, killed
# if it takes longer than LIMIT seconds. RC, OUT (its printed text), LOG
# (the log it wrote, or nothing), SECS.
AS_USER=()
brevita() {
    local limit=$1 t0
    shift
    RUN=$((RUN + 1))
    OUT=$T/out.$RUN
    touch "$T/mark"
    now_us
    t0=$REPLY
    set +e
    "${AS_USER[@]}" env BREVITA_REGISTRY="$REG" FAULT_STATE="$STATE" PGPORT="$PGPORT" \
        timeout -k 5 "$limit" "$PROG/Brevita" --batch "$@" >"$OUT" 2>&1
    RC=$?
    set -e
    now_us
    ELAPSED_US=$((REPLY - t0))
    SECS=$((ELAPSED_US / 1000000))
    if [ "$RC" -eq 124 ] || [ "$RC" -eq 137 ]; then
        LATE=$((LATE + 1))
        fail "Brevita $* did not end within $limit s"
    fi
    find_log
    return 0
}

# start_brevita ARGS...: Brevita in the background; BPID is its own pid.
start_brevita() {
    RUN=$((RUN + 1))
    OUT=$T/out.$RUN
    env BREVITA_REGISTRY="$REG" FAULT_STATE="$STATE" PGPORT="$PGPORT" \
        "$PROG/Brevita" --batch "$@" >"$OUT" 2>&1 &
    BPID=$!
}

# restore LIMIT: the restore from this trial's backup, as the File menu runs
# it; RC, OUT as for brevita.
restore() {
    local limit=$1
    RUN=$((RUN + 1))
    OUT=$T/out.$RUN
    set +e
    env BREVITA_REGISTRY="$REG" PGPORT="$PGPORT" timeout -k 5 "$limit" "$PROG/faults_restore" \
        >"$OUT" 2>&1
    RC=$?
    set -e
    if [ "$RC" -eq 124 ] || [ "$RC" -eq 137 ]; then
        LATE=$((LATE + 1))
        fail "the restore did not end within $limit s"
    fi
}

# kill_after DELAY_US: SIGKILL for the background Brevita (or restore)
# DELAY_US microseconds from now, then its end is collected. KILLED says
# whether it was still running.
kill_after() {
    signal_after "$1" KILL
}

# signal_after USECS SIGNAL: the same with another signal; RC is the run's
# exit status.
signal_after() {
    usecs "$1"
    sleep "$REPLY"
    KILLED=0
    kill -"$2" "$BPID" 2>/dev/null && KILLED=1
    RC=0
    wait "$BPID" 2>/dev/null || RC=$?
}

# find_log: LOG, the log of the run that began after $T/mark was touched.
# Two runs in one second share a log name, so age tells them apart.
find_log() {
    LOG=$(find "$PROG/logs" -maxdepth 1 -name '*.TXT' -newer "$T/mark" 2>/dev/null | head -n 1 || true)
}

# finish_run: an undisturbed run after a disturbed one finishes the job and
# leaves everything as a run that was never disturbed.
finish_run() {
    brevita 120 --yes
    rc_in 0
    log_count_matches
    check_live final
    check_prog
    syncs_match
}

# wait_output TEXT: until the background run has printed TEXT (at most 5 s),
# so that a kill lands in the phase that TEXT begins.
wait_output() {
    local i
    for ((i = 0; i < 2500; i++)); do
        grep -qF -- "$1" "$OUT" 2>/dev/null && return 0
        kill -0 "$BPID" 2>/dev/null || return 0
        sleep 0.002
    done
}

# ---- checks -----------------------------------------------------------------

# check_live any|final|orig: every recording against what it may hold: its
# original or its trim (any), exactly what an undisturbed run leaves (final)
# or exactly its original (orig). Everything else found counts as a stray
# when STRAYS_COUNT is on (the default).
check_live() {
    check_tree "$LIVE" "$1" live
}

# check_tree DIR any|final|orig WHAT
check_tree() {
    local dir=$1 want=$2 what=$3 rel h mode
    declare -A have=() kind=() modes=()
    while IFS= read -r -d '' rel; do
        IFS= read -r -d '' h
        have[$rel]=$h
    done < <(hashes "$dir")
    while IFS= read -r -d '' rel; do
        IFS= read -r -d '' h
        kind[$rel]=${h%% *}
        modes[$rel]=${h#* }
    done < <(cd "$dir" && find . -mindepth 1 -printf '%P\0%y %m %u %g\0')
    for rel in "${FILES[@]}"; do
        CHECKED=$((CHECKED + 1))
        [ -n "${PLANTED[$rel]:-}" ] && continue
        h=${have[$rel]:-}
        mode=${modes[$rel]:-}
        if [ -z "$h" ]; then
            damage "$what" "$rel" "is missing or no longer a file (${kind[$rel]:-gone})"
            continue
        fi
        if [ "$mode" != "${MODE[$rel]}" ] && [ "$what" = live ] && [ "${MODE_CHECK:-1}" = 1 ]; then
            damage "$what" "$rel" "mode/owner changed to $mode (was ${MODE[$rel]})"
        fi
        case "$want" in
        orig) [ "$h" = "${ORIG[$rel]}" ] || damage "$what" "$rel" "is not its original" ;;
        final) [ "$h" = "${FINAL[$rel]}" ] || damage "$what" "$rel" "is not what an undisturbed run leaves" ;;
        *) [ "$h" = "${ORIG[$rel]}" ] || [ "$h" = "${TRIM[$rel]}" ] ||
            damage "$what" "$rel" "is neither its original nor its trim" ;;
        esac
    done
    if [ "${STRAYS_COUNT:-1}" = 1 ]; then
        declare -A known=()
        for rel in "${FILES[@]}" "${DIRS[@]}" "${!PLANTED[@]}"; do known[$rel]=1; done
        for rel in "${!kind[@]}"; do
            [ -n "${known[$rel]:-}" ] && continue
            # Below a planted folder is the case's business.
            [ -n "${PLANTED[${rel%%/*}]:-}" ] && continue
            STRAYS=$((STRAYS + 1))
            fail "stray in $what: $rel (${kind[$rel]})"
        done
    fi
}

damage() {
    DAMAGED=$((DAMAGED + 1))
    fail "DAMAGE in $1: $2 $3"
}

# check_backup golden|any|absent: the backup folder holds either nothing or
# a complete copy (every file, each its original or, with any, its trim);
# no hidden partial copy is left beside it. absent: there must be none.
check_backup() {
    local want=$1 b=$T/backup/Stream\ Files left
    if [ -e "$b" ]; then
        if [ "$want" = absent ]; then
            fail "a backup exists where none may"
        else
            check_tree "$b" "${want/golden/orig}" backup
        fi
    fi
    [ "${STRAYS_COUNT:-1}" = 1 ] || return 0
    while IFS= read -r -d '' left; do
        STRAYS=$((STRAYS + 1))
        fail "left beside the backup: $left"
    done < <(cd "$T/backup" && find . -mindepth 1 -maxdepth 1 -name '.*' -printf '%P\0')
}

# check_prog: no partial output of a sndprobe that died, and no trim slot's
# file but the first (which the test of one file also uses), is left in the
# program folder.
check_prog() {
    local left
    while IFS= read -r -d '' left; do
        STRAYS=$((STRAYS + 1))
        fail "left in the program folder: $left"
    done < <(cd "$PROG" && find . -maxdepth 1 \( -name '.tempWAVFile*.wav.*' -o -name 'tempWAVFile[0-9]*.wav' \) -printf '%P\0')
}

# check_planted REL KIND: what the case planted at REL is still there as it
# was put (Brevita never wrote through it or over it).
check_planted() {
    local rel=$1 kind=$2 p=$LIVE/$1
    CHECKED=$((CHECKED + 1))
    case "$kind" in
    dir) [ -d "$p" ] && [ ! -L "$p" ] && [ -z "$(ls -A "$p")" ] ;;
    symlink) [ -L "$p" ] && [ "$(readlink "$p")" = "$STATE/outside.wav" ] && cmp -s "$STATE/outside.wav" "$STATE/outside.orig" ;;
    fifo) [ -p "$p" ] ;;
    empty) [ -f "$p" ] && [ ! -L "$p" ] && [ ! -s "$p" ] ;;
    other) [ -f "$p" ] && [ ! -L "$p" ] && cmp -s "$p" "$STATE/other.wav" ;;
    esac || damage live "$rel" "(planted $kind) was changed"
}

# ---- expectations on what a run says ----------------------------------------

rc_in() {
    local c
    for c; do [ "$RC" = "$c" ] && return 0; done
    fail "exit status $RC, expected one of: $*"
}
out_has() { grep -qF -- "$1" "$OUT" || fail "printed no \"$1\""; }
out_lacks() { ! grep -qF -- "$1" "$OUT" || fail "printed \"$1\""; }
log_has() {
    if [ -z "$LOG" ]; then
        fail "wrote no log (looked for \"$1\")"
    else
        grep -qF -- "$1" "$LOG" || fail "log lacks \"$1\""
    fi
}
# The log's error lines against the count the summary printed.
log_count_matches() {
    local n printed
    [ -n "$LOG" ] || { fail "wrote no log"; return; }
    n=$(grep -c '(error)' "$LOG" || true)
    printed=$(sed -n 's/^ *\([0-9][0-9]*\) error(s) encountered\.$/\1/p' "$OUT")
    [ "$n" = "$printed" ] || fail "log holds $n error lines, summary says ${printed:-nothing}"
}
# A run that did not start changed nothing and made no log.
not_started() {
    rc_in 2
    [ -z "$LOG" ] || fail "a run that did not start wrote a log"
    [ "$(sql 'SELECT count(*) FROM request')" = 0 ] || fail "a run that did not start sent requests"
}
# Every voice name whose recording changed has had its synchronisation
# requested, none is left pending, and nothing was requested for anyone
# not listed. (A request made twice, or for a name a killed run was about
# to trim, does no harm.)
syncs_match() {
    local want have listed missing
    want=$(changed_voice_names)
    have=$(sql "SELECT DISTINCT object_id FROM request WHERE proc = 'sp_ModifySubscriber'" | sort)
    listed=$(sql "SELECT subscriberobjectid FROM subscriber WHERE streampath IS NOT NULL" | sort)
    missing=$(comm -23 <(echo "$want") <(echo "$have") | grep -c . || true)
    [ "$missing" = 0 ] || fail "$missing changed voice names without a sync request"
    [ -z "$(comm -23 <(echo "$have") <(echo "$listed"))" ] || fail "sync requested for a subscriber not listed"
    [ ! -e "$PROG/Brevita.pending" ] || fail "sync requests still pending: $(tr '\n' ' ' <"$PROG/Brevita.pending")"
}
changed_voice_names() {
    local path id abs rel
    while IFS='|' read -r path id; do
        case "$path" in /*) abs=$path ;; *) abs=$LIVE/$path ;; esac
        rel=${abs#"$LIVE/"}
        [ -f "$abs" ] || continue
        hash_of "$abs"
        [ "$REPLY" != "${ORIG[$rel]:-}" ] && echo "$id"
    done < <(sql "SELECT streampath, subscriberobjectid FROM subscriber WHERE streampath IS NOT NULL") | sort -u
}

# ---- links planted in the program folder --------------------------------------

# What planted links point at, outside the program folder: a folder holding
# an old file with a log's name and another old file, a pending list with
# an id no subscriber has, and a file in the place of the pending list's
# scratch copy. OUTSIDE is the folder, OUTSIDE_ID that id.
OUTSIDE_ID=99999999-9999-9999-9999-999999999999
plant_outside() {
    OUTSIDE=$STATE/outside
    mkdir -p "$OUTSIDE/logs"
    echo "$OUTSIDE_ID" >"$OUTSIDE/pending"
    echo kept >"$OUTSIDE/next"
    echo kept >"$OUTSIDE/logs/Brevita_Log_000101_00_00_00.TXT"
    echo kept >"$OUTSIDE/logs/notes.TXT"
    touch -d '30 days ago' "$OUTSIDE/logs/"*
    OUTSIDE_BEFORE=$(outside_state)
}

# Every name below OUTSIDE with its kind, size and time, then every file's sha256.
outside_state() {
    (cd "$OUTSIDE" && find . -mindepth 1 -printf '%P %y %s %T@\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

# check_outside: nothing outside was written, made or deleted through a
# link, and no request was sent for an id read through one.
check_outside() {
    local now
    now=$(outside_state)
    CHECKED=$((CHECKED + 1))
    [ "$now" = "$OUTSIDE_BEFORE" ] ||
        damage outside "$OUTSIDE" "changed through a link: $(diff <(echo "$OUTSIDE_BEFORE") <(echo "$now") | grep '^[<>]' | tr '\n' ' ')"
    [ "$(sql "SELECT count(*) FROM request WHERE object_id = '$OUTSIDE_ID'")" = 0 ] ||
        fail "sync requested for the id in a linked pending list"
}
