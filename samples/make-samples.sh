#!/usr/bin/env bash
# Makes samples/greeting.wav: a spoken voicemail greeting with dead air
# before and after it, as a telephone system records it (8 kHz, 16-bit mono).
# Usage: samples/make-samples.sh [builddir]
set -euo pipefail
cd "$(dirname "$0")"

text="Hello, you have reached the voice mailbox of Alex Morgan. Please leave a message after the tone."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! command -v sox >/dev/null; then
  echo "make-samples: sox is not installed; no sample made" >&2
  exit 0
fi
if command -v espeak-ng >/dev/null; then
  espeak-ng -v en-us -s 150 -w "$tmp/voice.wav" "$text"
else
  # Without a speech synthesiser a warbling tone stands in for the voice.
  sox -n -r 8000 -b 16 -c 1 "$tmp/voice.wav" synth 3 sine 300-900 vol 0.5
fi
# 1.5 s of silence before the voice and 2.5 s after it.
sox "$tmp/voice.wav" -r 8000 -c 1 -b 16 -e signed-integer greeting.wav pad 1.5 2.5
echo "make-samples: wrote samples/greeting.wav"
