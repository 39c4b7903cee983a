# Sourced by the stand-ins. Brevita may run several at once, one per trim
# slot: CALL is this call's number among the run's, counted under a lock,
# and OUTPUT the temporary file it was asked to write (-strip:OUTPUT,...).
exec 8>>"$FAULT_STATE/calls.lock"
flock 8
CALL=$(($(cat "$FAULT_STATE/calls" 2>/dev/null || echo 0) + 1))
echo "$CALL" >"$FAULT_STATE/calls"
exec 8>&-
OUTPUT=tempWAVFile.wav
for arg; do
    case "$arg" in -strip:*) OUTPUT=${arg#-strip:} OUTPUT=${OUTPUT%%,*} ;; esac
done
