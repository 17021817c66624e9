#!/bin/sh
# make-sample.sh FOLDER
#
# Makes a first-run sample for videokadro in FOLDER, generated locally with ffmpeg
# (nothing is downloaded):
#   sample-song.wav     20 s at 120 BPM: a click on every beat, an accent on every bar
#                       (2 s) and a short tone melody
#   sample-bars.mp4     10 s test pattern, 640x480, 25 fps, with a running frame count
#   sample-life.mp4     10 s colour-cycling game of life, 640x480, 30 fps
#   sample-shots.mp4    24.4 s of ten shots of 2 to 3 s with hard cuts between them,
#                       640x480, 25 fps, with a running frame count: footage for
#                       "映像で区間を埋める..." and the filmstrip
#   sample.rem          a project using them: one sound section per bar, six of them
#                       registered (one with the "ﾌｪｰﾄﾞ" transition of 1500 ms), the last
#                       four left empty for the user
# Open it with:  videokadro FOLDER/sample.rem
set -eu

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
command -v ffmpeg >/dev/null 2>&1 || { echo "$0: ffmpeg is needed" >&2; exit 1; }

mkdir -p "$1"
dir=$(cd "$1" && pwd)
song="$dir/sample-song.wav"
bars="$dir/sample-bars.mp4"
life="$dir/sample-life.mp4"
shots="$dir/sample-shots.mp4"
project="$dir/sample.rem"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# The song: beat every 0.5 s; the click is a decaying 1.6 kHz burst (2.4 kHz on the first
# beat of each bar); the melody steps through a pentatonic scale, one note per beat, and
# fades within the beat so the note changes do not click; a bass line changes its note
# on the first beat of each bar (A, F, C, G), as the chords of a song do.
beat='exp(-60*mod(t,0.5))*sin(2*PI*(1600+800*lt(mod(t,2),0.5))*t)'
note='pow(2,(2*mod(floor(t*2)*3,5)+gte(mod(floor(t*2)*3,5),3))/12)'
melody='0.35*exp(-4*mod(t,0.5))*sin(2*PI*330*'"$note"'*t)'
root='(110*eq(mod(floor(t/2),4),0)+87.31*eq(mod(floor(t/2),4),1)+130.81*eq(mod(floor(t/2),4),2)+98*eq(mod(floor(t/2),4),3))'
bass='0.3*(1-0.5*mod(t,2)/2)*sin(2*PI*'"$root"'*t)'
ff -f lavfi -i "aevalsrc='0.5*$beat+$melody+$bass':s=44100" -t 20 -c:a pcm_s16le "$song"

ff -f lavfi -i "testsrc2=s=640x480:r=25" -t 10 \
   -vf "drawtext=text='%{frame_num}':x=20:y=20:fontsize=48:fontcolor=white:box=1:boxcolor=black" \
   -c:v libx264 -pix_fmt yuv420p -preset veryfast -crf 23 "$bars" 2>/dev/null ||
ff -f lavfi -i "testsrc2=s=640x480:r=25" -t 10 -c:v libx264 -pix_fmt yuv420p -preset veryfast -crf 23 "$bars"

ff -f lavfi -i "life=s=160x120:r=30:mold=10:ratio=0.5:life_color=#FFD040:death_color=#802060,scale=640:480:flags=neighbor,hue=h=36*t" \
   -t 10 -c:v libx264 -pix_fmt yuv420p -preset veryfast -crf 23 "$life"

# Ten shots of different content and motion, joined with hard cuts; each lasts at least
# one bar (2 s), so that every section of the project can start on a shot's first frame.
ff -f lavfi -i "testsrc2=s=640x480:r=25:d=2.4" \
   -f lavfi -i "smptebars=s=640x480:r=25:d=2.2" \
   -f lavfi -i "mandelbrot=s=640x480:r=25:end_scale=0.05,trim=duration=3" \
   -f lavfi -i "rgbtestsrc=s=640x480:r=25:d=2,hue=h=90*t" \
   -f lavfi -i "life=s=160x120:r=25:mold=5:life_color=#40C0FF:death_color=#102040,scale=640:480:flags=neighbor,trim=start_frame=2,setpts=PTS-STARTPTS,trim=duration=2.6" \
   -f lavfi -i "yuvtestsrc=s=640x480:r=25:d=2.8,rotate=PI*t/4" \
   -f lavfi -i "cellauto=s=640x480:r=25:rule=110,trim=duration=2.2" \
   -f lavfi -i "sierpinski=s=640x480:r=25,trim=duration=2.4" \
   -f lavfi -i "testsrc=s=640x480:r=25:d=2.6" \
   -f lavfi -i "gradients=s=640x480:r=25:speed=0.05,trim=duration=2.2" \
   -filter_complex "[0:v][1:v][2:v][3:v][4:v][5:v][6:v][7:v][8:v][9:v]concat=n=10:v=1,format=yuv420p,setsar=1[v]" \
   -map "[v]" -c:v libx264 -preset veryfast -crf 23 -g 50 "$shots.tmp.mp4"
ff -i "$shots.tmp.mp4" \
   -vf "drawtext=text='%{frame_num}':x=20:y=20:fontsize=48:fontcolor=white:box=1:boxcolor=black" \
   -c:v libx264 -pix_fmt yuv420p -preset veryfast -crf 23 -g 50 "$shots" 2>/dev/null ||
    mv "$shots.tmp.mp4" "$shots"
rm -f "$shots.tmp.mp4"

# XML attribute text, escaped as the editor writes it: &, < and ".
xml() { printf '%s' "$1" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/"/\&quot;/g'; }

# videoclip SOUNDMSEC FILE BEGIN END INTERVAL RATE TRANS TRANSMSEC
clip() {
    printf '<videoclip soundmsec="%s" videofile="%s" beginmsec="%s" endmsec="%s" intervalmsec="%s" rate="%s" trans="%s" transmsec="%s"/>' \
        "$1" "$(xml "$2")" "$3" "$4" "$5" "$6" "$7" "$8"
}

# One section per bar (2000 ms); the speed is the video span over the section length.
{
    printf '<project version="2_0_1"><soundclip soundfile="%s"/><videoclips>' "$(xml "$song")"
    clip 0     "$bars"    0    2000 40 "1x"   ""         ""
    clip 2000  "$life" 0    2000 33 "1x"   "ﾌｪｰﾄﾞ" "1500"
    clip 4000  "$bars"    2000 5000 40 "1.5x" ""         ""
    clip 6000  "$life" 3000 4000 33 "0.5x" ""         ""
    clip 8000  "$bars"    6000 8000 40 "1x"   ""         ""
    clip 10000 "$life" 5000 9000 33 "2x"   ""         ""
    for start in 12000 14000 16000 18000; do
        clip "$start" "" -1 -1 -1 "" "" ""
    done
    printf '</videoclips></project>'
} >"$project.tmp"
# The project comes last, whole or not at all: its presence says the sample is complete.
mv "$project.tmp" "$project"

echo "$project"
