# Sourced by tools/demo-server: the demo's recordings (spoken by espeak-ng,
# framed in dead air, stored in five encodings) and the database rows that
# list them. Uses the server script's dir, tmp and sndprobe.

# Spoken names, each with the alias stem of its subscribers.
NAME_TEXTS=("Alex Morgan" "Priya Raman" "Zoë Lindqvist")
NAME_STEMS=(amorgan praman zlindqvist)
# Greetings; the first ones belong to subscribers, the rest to call handlers.
GREETING_TEXTS=(
    "Hello, you have reached the voice mailbox of Alex Morgan. Please leave a message after the tone."
    "Hi, this is Priya. I am away from my desk right now, so leave your name and number and I will call you back."
    "Thank you for calling. If you know the extension of the person you are calling, you may dial it at any time."
    "Thank you for calling. Goodbye."
    "Please hold while I transfer you to the operator."
)
SUBSCRIBER_GREETINGS=2
OPENING=2 GOODBYE=3 OPERATOR=4 # the system call handlers' texts
HANDLERS=(salesch supportch afterhoursch)
RULES=(Standard "Off Hours" Alternate Busy Internal)

# Lead and trail in seconds, and whether a faint hiss replaces digital
# silence. The first two leave nothing long enough to cut.
PROFILES=("0 0 -" "0.2 0.15 -" "0.6 0.9 -" "1.5 2.5 -" "2.4 0 -" "0 1.8 -"
          "1.0 2.0 hiss" "0.4 1.2 hiss")
ENCODINGS=(pcm16 ulaw alaw gsm ima)

# ---- recordings ------------------------------------------------------------

encode_opts() {
    case "$1" in
    pcm16) echo "-e signed-integer -b 16" ;;
    ulaw) echo "-e u-law" ;;
    alaw) echo "-e a-law" ;;
    gsm) echo "-t wav -e gsm-full-rate" ;;
    ima) echo "-e ima-adpcm" ;;
    esac
}

# The voice alone at 8 kHz, with the synthesiser's own pauses cut off, so
# that the profile alone decides the dead air.
speak() {
    timeout 30 espeak-ng -v en-us -s 150 -w "$tmp/raw.wav" "$1"
    timeout 30 sox "$tmp/raw.wav" -r 8000 -c 1 -b 16 -e signed-integer "$2" \
        silence 1 0.02 -50d reverse silence 1 0.02 -50d reverse
}

# make_base VOICE PROFILE ENCODING OUT
make_base() {
    local lead trail hiss len
    read -r lead trail hiss <<<"$2"
    timeout 30 sox "$1" "$tmp/padded.wav" pad "$lead" "$trail"
    if [ "$hiss" = hiss ]; then
        len=$(timeout 10 soxi -D "$tmp/padded.wav")
        timeout 30 sox -n -r 8000 -c 1 -b 16 "$tmp/hiss.wav" synth "$len" whitenoise vol 0.002
        timeout 30 sox -m -v 1 "$tmp/padded.wav" -v 1 "$tmp/hiss.wav" "$tmp/mixed.wav"
        mv "$tmp/mixed.wav" "$tmp/padded.wav"
    fi
    # shellcheck disable=SC2046 # the options are meant to split
    timeout 30 sox "$tmp/padded.wav" -r 8000 -c 1 $(encode_opts "$3") "$4"
    if [ -x "$sndprobe" ] && ! timeout 30 "$sndprobe" "$4" -silence:-45dB,300,20 \
        -strip:"$tmp/check.wav",3,250 >/dev/null 2>&1; then
        note "warning: sndprobe rejects $(basename "$4")"
    fi
}

# Base recordings base/KIND-U-P.wav for every text and profile; the encoding
# turns with the recording so that each profile meets several encodings.
make_bases() {
    local kind=$1 u p n=0
    shift
    local texts=("$@")
    for u in "${!texts[@]}"; do
        speak "${texts[$u]}" "$tmp/voice.wav"
        for p in "${!PROFILES[@]}"; do
            make_base "$tmp/voice.wav" "${PROFILES[$p]}" "${ENCODINGS[$((n % ${#ENCODINGS[@]}))]}" \
                "$tmp/base/$kind-$u-$p.wav"
            n=$((n + 1))
        done
    done
}

# copy BASE PATH: the file at PATH becomes a copy of BASE (done by copy_all).
copy() { printf '%s\0' "$2" >>"$tmp/copies/$1"; }

# One tee per base recording writes all its copies.
copy_all() {
    local list
    for list in "$tmp/copies"/*; do
        [ -e "$list" ] || continue
        # shellcheck disable=SC2016 # expanded by the inner shell
        timeout 300 xargs -0 -n 200 -a "$list" \
            sh -c 'exec tee -- "$@" <"$0" >/dev/null' "$tmp/base/$(basename "$list").wav"
    done
}

# ---- rows ------------------------------------------------------------------

# REPLY: the SQL literal for $1.
sql_text() { REPLY="'${1//\'/\'\'}'"; }

# REPLY: the StreamPath of row I of a kind whose files are PREFIX####.wav. A
# few rows of each hundred name their file by full path, or have a blank or
# letters beyond ASCII in the name.
stream_path() {
    local prefix=$1 i=$2 special=$3 n
    printf -v n '%04d' "$i"
    case $(((i - special) % 100)) in
    0) REPLY="$dir/Stream Files/sub/$prefix $n.wav" ;;
    1) if [ "$prefix" = vn ]; then REPLY="vn-Zoë-$n.wav"; else REPLY="gr-Grüße-$n.wav"; fi ;;
    2) REPLY="$prefix $n.wav" ;;
    *) REPLY="$prefix$n.wav" ;;
    esac
}

# REPLY: the alias of subscriber I, after the name spoken in its recording.
subscriber_alias() {
    printf -v REPLY '%s%04d' "${NAME_STEMS[$((($1 - 1) % ${#NAME_STEMS[@]}))]}" "$1"
}

# Rows take the texts and profiles in turn; as their counts share no factor,
# every pairing comes up. Row 5 is the one whose recording is missing; one
# more subscriber has none.
make_names() {
    local i alias path
    echo "INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES"
    for ((i = 1; i <= names; i++)); do
        subscriber_alias "$i"
        alias=$REPLY
        stream_path vn "$i" 2
        path=$REPLY
        if [ "$i" -ne 5 ]; then
            abs_path "$path"
            copy "name-$(((i - 1) % ${#NAME_TEXTS[@]}))-$(((i - 1) % ${#PROFILES[@]}))" "$REPLY"
        fi
        sql_text "$path"
        printf "(%s, '%s', gen_random_uuid()),\n" "$REPLY" "$alias"
    done
    printf "(NULL, 'nobody%04d', gen_random_uuid());\n" "$((names + 1))"
}

# REPLY: the owner of greeting I with text U: a subscriber whose spoken name
# matches the text, or a call handler.
greeting_parent() {
    local i=$1 u=$2 per=$((names / ${#NAME_STEMS[@]}))
    if [ "$u" -lt "$SUBSCRIBER_GREETINGS" ]; then
        subscriber_alias $((${#NAME_STEMS[@]} * ((i / ${#GREETING_TEXTS[@]}) % per) + u + 1))
    else
        REPLY=${HANDLERS[$((i % ${#HANDLERS[@]}))]}
    fi
}

# Rows 1-4 belong to the system call handlers, one of them spelt in upper
# case.
make_greetings() {
    local i u p parent rule path end
    echo "INSERT INTO messagingrule (streampath, alias, parentalias) VALUES"
    for ((i = 1; i <= greetings; i++)); do
        rule=${RULES[$(((i - 1) % ${#RULES[@]}))]}
        case $i in
        1) u=$OPENING p=3 parent=OpeningGreetingch ;;
        2) u=$GOODBYE p=6 parent=Goodbyech ;;
        3) u=$OPERATOR p=5 parent=operatorch ;;
        4) u=$OPERATOR p=4 parent=OPERATORCH ;;
        *)
            u=$(((i - 1) % ${#GREETING_TEXTS[@]}))
            p=$(((i - 1) % ${#PROFILES[@]}))
            greeting_parent "$i" "$u"
            parent=$REPLY
            ;;
        esac
        stream_path gr "$i" 5
        path=$REPLY
        abs_path "$path"
        copy "greeting-$u-$p" "$REPLY"
        sql_text "$path"
        end=,
        [ "$i" -lt "$greetings" ] || end=';'
        printf "(%s, '%s', '%s')%s\n" "$REPLY" "$rule" "$parent" "$end"
    done
}

# REPLY: where the file of a StreamPath lies.
abs_path() { case "$1" in /*) REPLY=$1 ;; *) REPLY="$dir/Stream Files/$1" ;; esac; }

make_recordings() {
    command -v espeak-ng >/dev/null || die "espeak-ng is not installed (run ./setup.sh)"
    command -v sox >/dev/null || die "sox is not installed (run ./setup.sh)"
    mkdir -p "$tmp/base" "$tmp/copies" "$dir/Stream Files/sub"
    make_bases name "${NAME_TEXTS[@]}"
    make_bases greeting "${GREETING_TEXTS[@]}"
    {
        make_names
        make_greetings
    } >"$tmp/rows.sql"
    copy_all
}
