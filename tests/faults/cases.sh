# The fault suite's cases, sourced by tests/faults/run after lib.sh. Each
# case_* function is one row of the report.

TRIALS_KILL=${FAULT_TRIALS:-16} # trials of each kill case

# ---- the control: an undisturbed run, and what it leaves -------------------

case_undisturbed() {
    case_begin "undisturbed batch (control)"
    trial_begin
    brevita 120 --yes
    T_BACKUP_US=$ELAPSED_US
    rc_in 0
    log_count_matches
    out_has "Trim process complete."
    check_live any
    check_backup golden
    local rel h changed=0
    while IFS= read -r -d '' rel; do
        IFS= read -r -d '' h
        [ -n "${ORIG[$rel]:-}" ] && FINAL[$rel]=$h
    done < <(hashes "$LIVE")
    for rel in "${FILES[@]}"; do
        [ "${FINAL[$rel]:-x}" != "${ORIG[$rel]}" ] && changed=$((changed + 1))
    done
    # What changed is what the summary counted.
    local names greetings
    names=$(sed -n 's/^Trim process complete\.  \([0-9]*\) voice names.*/\1/p' "$OUT")
    greetings=$(sed -n 's/.* and \([0-9]*\) greetings updated\./\1/p' "$OUT")
    [ "$changed" -gt 0 ] && [ "$changed" = $((names + greetings)) ] ||
        fail "$changed recordings changed, the summary counted ${names:-?} + ${greetings:-?}"
    syncs_match
    rm -rf "$WORK/final"
    cp -a "$LIVE" "$WORK/final"

    # The same without a backup, for the timing of the kill cases.
    trial_begin
    write_registry BackupFiles=0
    brevita 120 --yes
    T_BATCH_US=$ELAPSED_US
    rc_in 0
    check_live final
    check_backup absent

    # A second run over trimmed recordings changes nothing.
    brevita 120 --yes
    rc_in 0
    out_has "Trim process complete.  0 voice names updated and 0 greetings updated."
    check_live final
    check_prog

    # How long the restore of a backup takes, and sndprobe on one file.
    trial_begin
    restore_setup
    restore 120
    T_RESTORE_US=$ELAPSED_US
    rc_in 0
    out_has "Restore complete."
    check_live orig
    case_end
    sndprobe_time
    note "timings: batch $((T_BATCH_US / 1000)) ms, with backup $((T_BACKUP_US / 1000)) ms," \
        "restore $((T_RESTORE_US / 1000)) ms, sndprobe $((T_SNDPROBE_US / 1000)) ms a file"
}

# T_SNDPROBE_US: how long the real sndprobe takes on a listed recording.
sndprobe_time() {
    local i t0 out=$WORK/time.wav args=() a
    for a in "${SETTINGS[@]}"; do args+=("${a/OUT/$out}"); done
    now_us
    t0=$REPLY
    for i in $(seq 10); do "$BIN/sndprobe" "$GOLDEN/${FILES[$i]}" "${args[@]}" >/dev/null 2>&1 || true; done
    now_us
    T_SNDPROBE_US=$(((REPLY - t0) / 10))
}

# Live recordings as a run leaves them, the backup holding the originals.
restore_setup() {
    rm -rf "$LIVE"
    cp -a "$WORK/final" "$LIVE"
    cp -a "$GOLDEN" "$T/backup/Stream Files"
}

# ---- kill -9 ------------------------------------------------------------------

case_kill_sndprobe() {
    case_begin "kill -9 of sndprobe at random moments"
    local trial i kills=0 calls=0
    for ((trial = 0; trial < (TRIALS_KILL + 3) / 4; trial++)); do
        trial_begin killer
        write_registry BackupFiles=0
        # Up to twice sndprobe's usual time: some die at once, some midway,
        # some finish.
        for ((i = 0; i < ${#FILES[@]}; i++)); do
            rand $((2 * T_SNDPROBE_US + 1))
            usecs "$REPLY"
            echo "$REPLY"
        done >"$STATE/delays"
        brevita 120 --yes
        rc_in 0 1
        log_count_matches
        check_live any
        calls=$((calls + $(wc -l <"$STATE/status")))
        kills=$((kills + $(grep -c '^137$' "$STATE/status" || true)))
        if grep -q '^137$' "$STATE/status"; then
            rc_in 1
            log_has "(error) file trim function failed to run properly.  Skipping file"
        fi
        real_sndprobe
        brevita 120 --yes
        rc_in 0
        check_live final
        check_prog
        syncs_match
    done
    note "sndprobe was killed in $kills of $calls runs"
    case_end
}

case_kill_batch() {
    case_begin "kill -9 of Brevita during a batch"
    local trial
    for ((trial = 0; trial < TRIALS_KILL; trial++)); do
        trial_begin
        write_registry BackupFiles=0
        start_brevita --yes
        rand $((T_BATCH_US + T_BATCH_US / 10))
        kill_after "$REPLY"
        tally_batch
        STRAYS_COUNT=0 check_live any
        finish_run
    done
    case_end
}

case_term_batch() {
    case_begin "SIGTERM to Brevita during a batch"
    local trial
    for ((trial = 0; trial < TRIALS_KILL; trial++)); do
        trial_begin
        write_registry BackupFiles=0
        touch "$T/mark"
        start_brevita --yes
        rand $((T_BATCH_US + T_BATCH_US / 10))
        signal_after "$REPLY" TERM
        find_log
        case "$RC" in
        3) tally "stopped among the trims" ;;
        143) tally "ended before the trims" ;;
        *) tally "after the end" ;;
        esac
        # Before the trims begin the signal ends the program as it always did.
        if [ "$RC" = 143 ]; then
            out_lacks "Updating voice names"
        else
            rc_in 0 1 3
        fi
        if [ "$RC" = 3 ]; then
            log_has "The run was stopped before every file was checked"
            out_has "Stopped on request"
        fi
        # Whatever was under way has finished or been undone, at once.
        check_live any
        check_prog
        finish_run
    done
    case_end
}

case_kill_backup() {
    case_begin "kill -9 of Brevita during a backup"
    # The copy's own time, give or take: some kills land just after it.
    local trial span=$((T_BACKUP_US - T_BATCH_US + 10000))
    [ "$span" -gt 20000 ] || span=20000
    for ((trial = 0; trial < TRIALS_KILL; trial++)); do
        trial_begin
        start_brevita --yes
        wait_output "Copying voice names and greetings..."
        rand "$span"
        kill_after "$REPLY"
        tally_batch
        if [ -e "$T/backup/Stream Files" ]; then
            tally "backup complete"
        elif [ -n "$(ls -A "$T/backup")" ]; then
            tally "partial copy left"
        fi
        STRAYS_COUNT=0 check_live any
        # Whatever was interrupted, the backup is complete or absent.
        STRAYS_COUNT=0 check_backup golden
        brevita 120 --yes
        rc_in 0
        check_live final
        check_backup any
        check_prog
    done
    case_end
}

case_kill_restore() {
    case_begin "kill -9 during a restore"
    local trial
    for ((trial = 0; trial < TRIALS_KILL; trial++)); do
        trial_begin
        restore_setup
        RUN=$((RUN + 1))
        OUT=$T/out.$RUN
        env BREVITA_REGISTRY="$REG" PGPORT="$PGPORT" "$PROG/faults_restore" >"$OUT" 2>&1 &
        BPID=$!
        wait_output "Copying voice names and greetings..."
        rand $((T_RESTORE_US * 8 / 10))
        kill_after "$REPLY"
        local restored f h
        restored=0
        while IFS= read -r -d '' f; do
            IFS= read -r -d '' h
            [ "$h" = "${ORIG[$f]:-}" ] && [ "$h" != "${FINAL[$f]:-}" ] && restored=$((restored + 1))
        done < <(hashes "$LIVE")
        if [ "$KILLED" = 0 ]; then
            tally "after the end"
        elif [ "$restored" = 0 ]; then
            tally "before any file"
        else
            tally "part-way"
        fi
        STRAYS_COUNT=0 check_live any
        restore 120
        rc_in 0
        check_live orig
        check_backup golden
    done
    case_end
}

# Brevita dies while its sndprobe still works: that sndprobe writes the
# temporary file later, so no new run may start before it has ended.
case_kill_held() {
    case_begin "kill -9 of Brevita while its sndprobe runs on"
    local trial i
    for ((trial = 0; trial < 3; trial++)); do
        trial_begin held
        write_registry BackupFiles=0
        start_brevita --yes
        for ((i = 0; i < 100; i++)); do
            [ -e "$STATE/held" ] && break
            sleep 0.05
        done
        kill -9 "$BPID" 2>/dev/null || true
        wait "$BPID" 2>/dev/null || true
        real_sndprobe
        brevita 60 --yes
        rc_in 2
        out_has "Another trim is already running on this server."
        STRAYS_COUNT=0 check_live any
        touch "$STATE/release"
        for ((i = 0; i < 200; i++)); do
            [ -e "$STATE/held-done" ] && break
            sleep 0.05
        done
        sleep 0.2
        brevita 120 --yes
        rc_in 0
        check_live final
        check_prog
    done
    case_end
}

# ---- full disks -----------------------------------------------------------------

# mount_tmpfs DIR BYTES: a small tmpfs over DIR (kept until the suite ends).
mount_tmpfs() {
    mkdir -p "$1"
    mount -t tmpfs -o "size=$2,mode=755" tmpfs "$1"
    MOUNTS+=("$1")
}

unmount() {
    umount "$1"
    local m kept=()
    for m in "${MOUNTS[@]}"; do [ "$m" = "$1" ] || kept+=("$m"); done
    MOUNTS=("${kept[@]}")
}

# fill DIR SLACK: a planted file takes all the space but SLACK bytes.
fill() {
    dd if=/dev/zero of="$1/.filler" bs=64k 2>/dev/null || true
    local size
    size=$(stat -c %s "$1/.filler")
    truncate -s $((size > $2 ? size - $2 : 0)) "$1/.filler"
}

skip_case() {
    printf '%s\t-\t%s\n' "$1" "$2" >>"$RESULTS"
    note "$(printf '%-44s skipped: %s' "$1" "$2")"
}

golden_bytes() { du -sb "$GOLDEN" | cut -f1; }

case_full_stream() {
    local name='full disk: "Stream Files" on a small tmpfs'
    [ "$IS_ROOT" = 1 ] || { skip_case "$name" "needs root to mount a tmpfs"; return; }
    case_begin "$name"
    local slack
    for slack in 0 20000; do
        rm -rf "$LIVE"
        mount_tmpfs "$LIVE" $(($(golden_bytes) * 2))
        trial_begin
        fill "$LIVE" "$slack"
        PLANTED[.filler]=1
        brevita 120 --yes
        # With a little room some files fit, and each that does frees more.
        if [ "$slack" = 0 ] || [ "$RC" != 0 ]; then
            rc_in 1
            out_has "Error 61 (Disk full) in procedure TrimWAVFile of Form frmMain"
        fi
        log_count_matches
        check_live any
        check_backup golden
        rm -f "$LIVE/.filler"
        brevita 120 --yes
        rc_in 0
        check_live final
        check_prog
        syncs_match
        unmount "$LIVE"
    done
    reset_live
    case_end
}

case_full_prog() {
    local name="full disk: program folder on a small tmpfs"
    [ "$IS_ROOT" = 1 ] || { skip_case "$name" "needs root to mount a tmpfs"; return; }
    case_begin "$name"
    trial_begin
    rm -rf "$PROG"
    # Room for the programs, whose symbols a release build keeps.
    mount_tmpfs "$PROG" $((96 * 1024 * 1024))
    make_prog ""
    fill "$PROG" 0
    brevita 120 --yes
    rc_in 1
    # The log cannot be written either; the summary still counts.
    grep -q '^ [1-9][0-9]* error(s) encountered\.$' "$OUT" || fail "the summary counted no error"
    check_live orig
    check_backup golden
    rm -f "$PROG/.filler"
    brevita 120 --yes
    rc_in 0
    check_live final
    check_prog
    unmount "$PROG"
    case_end
}

case_full_backup() {
    local name="full disk: backup folder on a small tmpfs"
    [ "$IS_ROOT" = 1 ] || { skip_case "$name" "needs root to mount a tmpfs"; return; }
    case_begin "$name"
    trial_begin
    mount_tmpfs "$T/backup" $(($(golden_bytes) / 2))
    brevita 120 --yes
    not_started
    out_has "Error 61 (Disk full) in procedure BackupFiles of Form frmMain"
    check_live orig
    check_backup absent
    unmount "$T/backup"
    case_end
}

# ---- read-only recordings and folders ---------------------------------------

# Permissions stop root only on a read-only mount; otherwise the
# unprivileged cases run as nobody (as this user when not root).
as_nobody() {
    if [ "$IS_ROOT" = 1 ]; then
        AS_USER=(runuser -u nobody --)
        chown -R nobody: "$PROG" "$T/backup" "$@"
    fi
}

case_readonly() {
    case_begin "read-only recordings and folders"
    local rel

    # Read-only recordings in a folder the user may write: each is trimmed
    # through a new file that keeps the read-only mode.
    trial_begin
    as_nobody "$LIVE"
    find "$LIVE" -type f -exec chmod 444 {} +
    MODE_CHECK=0 brevita 120 --yes
    AS_USER=()
    rc_in 0
    MODE_CHECK=0 check_live final
    for rel in "${FILES[@]}"; do
        [ "$(stat -c %a "$LIVE/$rel")" = 444 ] || fail "$rel lost its read-only mode"
    done

    # A read-only folder: nothing can be replaced, each refusal is reported.
    trial_begin
    as_nobody
    find "$LIVE" -type d -exec chmod 555 {} +
    brevita 120 --yes
    AS_USER=()
    find "$LIVE" -type d -exec chmod 755 {} +
    rc_in 1
    out_has "Error 70 (Permission denied) in procedure TrimWAVFile of Form frmMain"
    check_live orig
    check_backup golden

    # "Stream Files" on a read-only mount, which stops root too.
    if [ "$IS_ROOT" = 1 ]; then
        trial_begin
        mount --bind "$LIVE" "$LIVE"
        MOUNTS+=("$LIVE")
        mount -o remount,bind,ro "$LIVE"
        brevita 120 --yes
        rc_in 1
        out_has "Error 70 (Permission denied) in procedure TrimWAVFile of Form frmMain"
        check_live orig
        unmount "$LIVE"
    fi
    case_end
}

# ---- recordings that are not what the database said ----------------------------

# TARGET: a listed voice name (relative to "Stream Files") that has silence
# to trim; TARGET_ROW its stream path as the database holds it.
pick_target() {
    local path
    while IFS= read -r path; do
        case "$path" in */*) continue ;; esac
        [ "${TRIM[$path]:-}" != "${ORIG[$path]:-}" ] && [ -n "${TRIM[$path]:-}" ] || continue
        TARGET=$path TARGET_ROW=$path
        return
    done < <(sql "SELECT streampath FROM vw_subscriber WHERE streampath IS NOT NULL")
    die "no listed voice name with silence to trim"
}

swap_state() {
    cp "$GOLDEN/${FILES[0]}" "$STATE/outside.wav"
    cp "$GOLDEN/${FILES[0]}" "$STATE/outside.orig"
    local other
    for other in "${FILES[@]}"; do
        [ "${ORIG[$other]}" != "${ORIG[$TARGET]}" ] && [ "${TRIM[$other]}" != "${ORIG[$other]}" ] && break
    done
    cp "$GOLDEN/$other" "$STATE/other.wav"
}

case_swapped() {
    case_begin "recording swapped for a folder, link, FIFO, empty file"
    pick_target
    local kind when planted
    for when in row before after; do
        for kind in dir symlink fifo empty other; do
            [ "$when" = row ] && [ "$kind" = other ] && continue
            if [ "$when" = row ]; then
                trial_begin
            else
                trial_begin swap
            fi
            swap_state
            if [ "$when" = row ]; then
                # The database names something else than a recording.
                planted="planted-$kind.wav"
                FAULT_STATE=$STATE "$STANDIN/plant" "$kind" "$LIVE/$planted"
                sql "UPDATE subscriber SET streampath = '$planted' WHERE streampath = '$TARGET_ROW'"
            else
                planted=$TARGET
            fi
            PLANTED[$planted]=1
            FAULT_SWAP_PATH=$LIVE/$TARGET FAULT_SWAP_KIND=$kind FAULT_SWAP_WHEN=$when \
                brevita 60 --yes
            [ "$when" = row ] &&
                sql "UPDATE subscriber SET streampath = '$TARGET_ROW' WHERE streampath = '$planted'"
            rc_in 1
            check_planted "$planted" "$kind"
            check_live any
            check_prog
            [ "$when" = row ] && rm -rf "${LIVE:?}/$planted"
        done
    done
    case_end
}

# ---- the database ---------------------------------------------------------------

# The server stops, or freezes and never answers again, while a voice name
# is trimmed: in the middle of the voice names, or at the last one, just
# before the greetings' query. Afterwards, with the server back, an
# undisturbed run completes the job, synchronisation requests included.
case_db_stopped() {
    case_begin "database server stopped or frozen mid-batch"
    local names call fault
    names=$(sql "SELECT count(*) FROM vw_subscriber WHERE streampath IS NOT NULL")
    for fault in stop:$((names / 3)) stop:$names freeze:$((names / 2)); do
        call=${fault#*:}
        trial_begin db-fault
        write_registry BackupFiles=0
        if [ "${fault%%:*}" = stop ]; then
            printf '#!/bin/sh\nexec %q stop %q\n' "$ROOT/tools/demo-server" "$DEMO" >"$STATE/db-fault"
        else
            printf '#!/bin/sh\nexec %q STOP %q\n' "$here/signal-server" "$CLUSTER" >"$STATE/db-fault"
        fi
        chmod +x "$STATE/db-fault"
        FAULT_DB_CALL=$call brevita 240 --yes
        rc_in 1
        if [ "${fault%%:*}" = stop ]; then
            out_has "Error 3001 (Unable to connect to the database"
            [ "$call" = "$names" ] && out_has "in procedure TrimGreetings of Form frmMain"
        else
            out_has "Error 3001 (The database did not answer within"
            "$here/signal-server" CONT "$CLUSTER"
        fi
        check_live any
        "$ROOT/tools/demo-server" start "$DEMO" >/dev/null 2>&1 || die "the demo server did not restart"
        REAL_PGPORT=$(cat "$DEMO/port")
        PGPORT=$REAL_PGPORT
        real_sndprobe
        brevita 120 --yes
        rc_in 0
        check_live final
        syncs_match
    done
    case_end
}

case_db_silent() {
    case_begin "database server that never answers"
    trial_begin
    write_registry BackupFiles=0
    coproc SILENT { exec "$BIN/faults_silent_server"; }
    SILENT_PID=$SILENT_PID
    local port
    read -r port <&"${SILENT[0]}"
    PGPORT=$port
    brevita 120 --yes
    kill "$SILENT_PID" 2>/dev/null || true
    wait "$SILENT_PID" 2>/dev/null || true
    SILENT_PID=
    PGPORT=$REAL_PGPORT
    # Out of reach at the start: nothing starts, nothing is written.
    not_started
    out_has "Brevita cannot reach the database on server"
    [ "$SECS" -le 60 ] || fail "took $SECS s"
    check_live orig
    brevita 120 --yes
    rc_in 0
    check_live final
    case_end
}

# ---- the registry and the logs folder -----------------------------------------

# The outcome a run reported must match what it did.
consistent_run() {
    case "$RC" in
    2)
        not_started
        check_live orig
        ;;
    0 | 1)
        log_count_matches
        check_live any
        if [ "$RC" = 0 ]; then
            grep -q '^ 0 error(s) encountered\.$' "$OUT" || fail "status 0 after error lines"
        fi
        ;;
    *) fail "exit status $RC" ;;
    esac
}

# make_readonly DIR: DIR cannot be written, by root either where possible.
make_readonly() {
    if [ "$IS_ROOT" = 1 ]; then
        mount --bind "$1" "$1"
        MOUNTS+=("$1")
        mount -o remount,bind,ro "$1"
    else
        chmod 555 "$1"
    fi
}

undo_readonly() {
    if [ "$IS_ROOT" = 1 ]; then unmount "$1"; else chmod 755 "$1"; fi
}

case_registry() {
    case_begin "registry unwritable, truncated, broken, UTF-16, not UTF-8"
    local size cut i

    # Unwritable: a run only reads it.
    trial_begin
    mkdir -p "$T/reg"
    mv "$REG" "$T/reg/registry.reg"
    REG=$T/reg/registry.reg
    make_readonly "$T/reg"
    brevita 120 --yes
    rc_in 0
    check_live final
    undo_readonly "$T/reg"

    # Unwritable and without Brevita's key, which cannot be made: the
    # defaults have no backup folder, so nothing starts.
    trial_begin
    mkdir -p "$T/reg"
    sed '/^\[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita\]/,$d' "$REG" >"$T/reg/registry.reg"
    REG=$T/reg/registry.reg
    make_readonly "$T/reg"
    brevita 120 --yes
    not_started
    out_has "Unable to create the registry key"
    check_live orig
    undo_readonly "$T/reg"

    # Truncated: to nothing, at a line's end (the values after it are
    # missing) and anywhere (a line is cut).
    local ends=()
    mapfile -t ends < <(LC_ALL=C awk '{ n += length($0) + 1; print n - 1 }' "$WORK/registry.template")
    size=$(stat -c %s "$WORK/registry.template")
    for i in 0 1 2 3 4 5 6 7 8; do
        trial_begin
        if [ "$i" = 0 ]; then
            cut=0
        elif [ "$i" -le 4 ]; then
            rand ${#ends[@]}
            cut=$((ends[REPLY] + 1))
        else
            rand "$size"
            cut=$REPLY
        fi
        truncate -s "$cut" "$REG"
        brevita 120 --yes
        consistent_run
    done

    # One line that is no registry line: named, with its number.
    trial_begin
    printf 'not a value\r\n' >>"$REG"
    brevita 120 --yes
    not_started
    out_has "Line $(wc -l <"$REG") of the registry file $REG cannot be read"
    check_live orig

    # Not UTF-8: the UTF-16 that the Windows registry editor writes, read
    # and kept so; a Latin-1 byte in the backup folder's name; bytes that
    # are no text at all in the server's root path.
    trial_begin
    iconv -f UTF-8 -t UTF-16LE "$REG" | { printf '\xff\xfe'; cat; } >"$T/reg16" && mv "$T/reg16" "$REG"
    brevita 120 --yes
    rc_in 0
    check_live final
    [ "$(head -c 2 "$REG" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "the registry lost its UTF-16 form"

    trial_begin
    mkdir -p "$T/backup/caf"$'\xe9'
    sed -i "s|^\"BackupDestination\"=.*|\"BackupDestination\"=\"$T/backup/caf"$'\xe9'"/\"\r|" "$REG"
    brevita 120 --yes
    rc_in 0
    check_live final
    [ -d "$T/backup/caf"$'\xe9'"/Stream Files" ] || fail "no backup in the Latin-1 folder"

    trial_begin
    sed -i "s|^\"Root Path\"=.*|\"Root Path\"=\"$WORK/\xff\xfe/\"\r|" "$REG"
    brevita 120 --yes
    not_started
    out_has "could not find stream files folder"
    check_live orig
    case_end
}

case_logs() {
    case_begin "logs folder that cannot be created"
    # A file where the folder should be.
    trial_begin
    : >"$PROG/logs"
    brevita 120 --yes
    rc_in 1
    out_has "in procedure GenerateNewLogFileName of Module Module1"
    check_live final

    # A program folder nobody may write to: no log, no lock, no run.
    trial_begin
    make_readonly "$PROG"
    brevita 120 --yes
    not_started
    check_live orig
    undo_readonly "$PROG"
    case_end
}

# ---- sndprobe stand-ins ---------------------------------------------------------

case_standin_hang() {
    case_begin "sndprobe that hangs"
    local half
    for half in 0 1; do
        trial_begin hang
        write_registry BackupFiles=0
        rand 10
        printf '%d\n%d\n' $((REPLY + 2)) $((REPLY + 20)) >"$STATE/hang"
        FAULT_HANG_HALF=$half brevita 120 --yes
        rc_in 1
        [ "$(grep -c 'file trim function failed' "$LOG")" = 2 ] || fail "not two failed trims in the log"
        [ "$SECS" -ge 10 ] || fail "two hangs took only $SECS s"
        check_live any
        real_sndprobe
        brevita 120 --yes
        rc_in 0
        check_live final
        check_prog
    done
    case_end
}

case_standin_half() {
    case_begin "sndprobe that writes half a file, exit 0"
    trial_begin half
    write_registry BackupFiles=0
    brevita 120 --yes
    rc_in 1
    log_has "(error) file trim function failed to run properly.  Skipping file"
    log_count_matches
    check_live orig
    case_end
}

case_standin_fail() {
    case_begin "sndprobe that writes all, then exits 1"
    trial_begin fail-complete
    write_registry BackupFiles=0
    brevita 120 --yes
    rc_in 1
    log_has "(error) file trim function failed to run properly.  Skipping file"
    log_count_matches
    check_live orig
    case_end
}

# ---- paths and folders that lead elsewhere ---------------------------------------

# A listed path with a folder, "other/NAME", and a different recording of
# that name below Brevita's current folder and below its program folder:
# only the server's file may be read and replaced.
case_relative_path() {
    case_begin "relative path with a folder, decoys of its name elsewhere"
    trial_begin
    write_registry BackupFiles=0
    local rel=other/kept0000.wav decoy decoys=()
    pick_target
    sql "UPDATE subscriber SET streampath = '$rel' WHERE streampath = '$TARGET_ROW'"
    for decoy in "$T/cwd/$rel" "$PROG/$rel"; do
        mkdir -p "$(dirname "$decoy")"
        cp "$GOLDEN/$TARGET" "$decoy"
        decoys+=("$decoy")
    done
    pushd "$T/cwd" >/dev/null
    brevita 120 --yes
    popd >/dev/null
    sql "UPDATE subscriber SET streampath = '$TARGET_ROW' WHERE streampath = '$rel'"
    rc_in 0
    hash_of "$LIVE/$rel"
    [ "$REPLY" = "${TRIM[$rel]}" ] || damage live "$rel" "is not the trim of its own original"
    for decoy in "${decoys[@]}"; do
        cmp -s "$decoy" "$GOLDEN/$TARGET" || damage outside "$decoy" "(a decoy) was written"
    done
    log_has "Full path to WAV file=$LIVE/$rel"
    check_live any
    case_end
}

# A dry run whose paths climb out of "Stream Files", back into it, or name
# a file outside it: nothing outside its scratch folder is written.
case_dry_run_paths() {
    case_begin "dry run with paths that lead out of its scratch folder"
    trial_begin
    write_registry BackupFiles=0
    pick_target
    local outside=$DEMO/outside.wav rows=() row scratch
    cp "$GOLDEN/$TARGET" "$outside"
    rows=("../outside.wav" "other/../../Stream Files/$TARGET" "$outside")
    local ids
    mapfile -t ids < <(sql "SELECT id FROM subscriber WHERE streampath IS NOT NULL ORDER BY id LIMIT 3")
    for row in 0 1 2; do
        sql "UPDATE subscriber SET streampath = '${rows[$row]}' WHERE id = ${ids[$row]}"
    done
    brevita 120 --dry-run
    rc_in 0 1
    out_has "Dry run: a real run would change"
    cmp -s "$outside" "$GOLDEN/$TARGET" || damage outside "$outside" "was written by a dry run"
    check_live orig
    [ "$(sql 'SELECT count(*) FROM request')" = 0 ] || fail "a dry run sent requests"
    scratch=$(sed -n 's/^Dry run: the trimmed copies go to \(.*\) and are removed at the end;.*/\1/p' "$OUT")
    [ -n "$scratch" ] || fail "the dry run did not name its scratch folder"
    if [ -n "$scratch" ] && [ -e "$scratch" ]; then
        fail "the dry run left its scratch folder $scratch"
        remove_tree "$scratch"
    fi
    rm -f "$outside"
    restore_rows
    case_end
}

# The rows as the server has them, after a case rewrote some.
restore_rows() {
    sql "UPDATE subscriber s SET streampath = g.streampath FROM subscriber_golden g WHERE s.id = g.id"
}

# Backup destinations whose "Stream Files" is the live folder, lies inside
# it, or (through a link) holds it: the batch and the restore refuse them
# before anything is copied or deleted.
case_backup_nested() {
    case_begin "backup destination nested with the live folder"
    local dest
    for dest in "$DEMO/" "$LIVE/" link; do
        trial_begin
        if [ "$dest" = link ]; then
            mkdir -p "$T/backup/link"
            ln -s "$DEMO" "$T/backup/link/Stream Files"
            dest=$T/backup/link/
        fi
        BACKUP=$dest write_registry BackupFiles=1
        brevita 120 --yes
        not_started
        out_has "lie one inside the other"
        check_live orig
        restore 120
        out_lacks "Restore complete."
        check_live orig
    done
    case_end
}

# Two copies of the program folder on one server: while one runs, the
# other is refused; once the first is gone the second runs.
case_two_programs() {
    case_begin "two program folders on one server"
    trial_begin hang
    write_registry BackupFiles=0
    printf '1\n' >"$STATE/hang"
    start_brevita --yes
    local first=$BPID i
    for ((i = 0; i < 500; i++)); do
        [ "$(cat "$STATE/calls" 2>/dev/null || echo 0)" -ge 1 ] && break
        sleep 0.01
    done
    local prog1=$PROG
    PROG=$T/prog2
    make_prog ""
    brevita 60 --yes
    not_started
    out_has "Another trim is already running on this server."
    BPID=$first
    kill_after 0
    # The hung stand-in would hold the first folder's lock for minutes.
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/cwd" 2>/dev/null)" = "$prog1" ] && kill -9 "${p#/proc/}" 2>/dev/null
    done
    # The first run's other trim slots went on beside the hung one.
    check_live any
    PROG=$T/prog2
    brevita 120 --yes
    rc_in 0
    check_live final
    PROG=$prog1
    case_end
}

ALL_CASES=(kill_sndprobe kill_batch term_batch kill_backup kill_restore kill_held full_stream full_prog
    full_backup readonly swapped db_stopped db_silent registry logs standin_hang standin_half
    standin_fail relative_path dry_run_paths backup_nested two_programs)

# ---- links planted in the program folder --------------------------------------

# Links where Brevita keeps its own files, pointing outside: the logs folder
# with the pending list's scratch copy, the pending list, and every name the
# run's log may take. Each is refused and named, the run trims as usual, and
# an undisturbed run after the links have gone finishes the job.
case_planted_links() {
    case_begin "links planted in the program folder"
    local kind i
    for kind in logs-and-scratch pending log-name; do
        trial_begin
        write_registry BackupFiles=0
        plant_outside
        case "$kind" in
        logs-and-scratch)
            ln -s "$OUTSIDE/logs" "$PROG/logs"
            ln -s "$OUTSIDE/next" "$PROG/Brevita.pending.new"
            ;;
        pending) ln -s "$OUTSIDE/pending" "$PROG/Brevita.pending" ;;
        log-name)
            # Dangling, at each name of the next ten seconds.
            mkdir "$PROG/logs"
            for ((i = 0; i < 10; i++)); do
                ln -s "$OUTSIDE/log$i" \
                    "$PROG/logs/Brevita_Log_$(date -d "+$i seconds" +%y%m%d_%H_%M_%S).TXT"
            done
            ;;
        esac
        brevita 120 --yes
        rc_in 1
        case "$kind" in
        logs-and-scratch) out_has "(Link not followed: $PROG/logs)" ;;
        pending)
            log_has "(Link not followed: $PROG/Brevita.pending)"
            log_count_matches
            ;;
        log-name)
            out_has "(Link not followed: $PROG/logs/Brevita_Log_"
            [ -z "$LOG" ] || fail "the run's log name had no link planted: $LOG"
            ;;
        esac
        check_outside
        check_live final
        check_prog
        find "$PROG" -maxdepth 2 -type l -delete
        brevita 120 --yes
        rc_in 0
        check_live final
        syncs_match
        check_outside
    done
    case_end
}

ALL_CASES+=(planted_links)
