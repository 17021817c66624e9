#!/usr/bin/env bash
# Prepares the real-music set of beatbench: recorded songs whose beats are known from the
# way they were made. Debian's Frets on Fire song packages (fretsonfire-songs-muldjord and
# fretsonfire-songs-sectoid, installed by `tools/setup.sh bench`) ship each song as its
# backing track and its guitar track, with the note chart (notes.mid) that was written to
# the recording; the chart's tempo map gives every beat.
#
# For each song this writes, into the output folder, the full mix as the editor would load
# it (<song>.flac, backing and guitar mixed, stereo at the recording's rate) and the chart
# beside it (<song>.mid). Nothing is downloaded and nothing goes into the repository.
#   tools/realmusic.sh [output folder] [songs folder]
# Defaults: build/realmusic, /usr/share/games/fretsonfire/data/songs.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$here/build/realmusic}"
songs="${2:-/usr/share/games/fretsonfire/data/songs}"

if [ ! -d "$songs" ]; then
  echo "realmusic: no songs in $songs; install fretsonfire-songs-muldjord and fretsonfire-songs-sectoid" \
       "(tools/setup.sh bench does)" >&2
  exit 1
fi
command -v ffmpeg >/dev/null || { echo "realmusic: ffmpeg is needed" >&2; exit 1; }
mkdir -p "$out"

count=0
while IFS= read -r -d '' chart; do
  dir="$(dirname "$chart")"
  [ -f "$dir/song.ogg" ] || continue
  # "sectoid/War of freedom" -> war_of_freedom
  name="$(basename "$dir" | tr '[:upper:]' '[:lower:]' | tr -c 'a-z0-9\n' '_')"
  inputs=(-i "$dir/song.ogg")
  for part in guitar rhythm drums; do
    [ -f "$dir/$part.ogg" ] && inputs+=(-i "$dir/$part.ogg")
  done
  parts=$(( ${#inputs[@]} / 2 ))
  if [ ! -s "$out/$name.flac" ] || [ "$chart" -nt "$out/$name.flac" ]; then
    if [ "$parts" -gt 1 ]; then
      # The parts added as the game plays them together, at half level: loud masters
      # summed at full level would clip.
      ffmpeg -nostdin -v error -y "${inputs[@]}" \
             -filter_complex "amix=inputs=$parts:normalize=0:duration=longest,volume=0.5" \
             -sample_fmt s16 -c:a flac "$out/$name.flac"
    else
      ffmpeg -nostdin -v error -y "${inputs[@]}" -sample_fmt s16 -c:a flac "$out/$name.flac"
    fi
  fi
  cp "$chart" "$out/$name.mid"
  count=$((count + 1))
  echo "realmusic: $name ($parts parts)"
done < <(find "$songs" -name notes.mid -print0 | sort -z)

if [ "$count" -eq 0 ]; then
  echo "realmusic: no song with notes.mid and song.ogg under $songs" >&2
  exit 1
fi
echo "realmusic: $count songs in $out"
