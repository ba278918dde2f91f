#!/usr/bin/env bash
# Makes a folder shaped like an Orbiter 2006 installation, to time the trial on (docs/trial.md):
# 4,945 files and 442 MB, nearly all of the bytes in Textures (50 KB to 4 MB a file), then
# meshes, help, many small configuration files, about 100 scenarios with "(Current state).scn",
# the modules and a 2 MB orbiter.exe. Every file holds random bytes, so that reading it costs
# what it would on a real one. The sizes are the same on every run.
#
#   bench/make-orbiter-like-folder.sh DIR
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 DIR   (DIR: a new or empty folder)" >&2
    exit 2
fi
dir=$1
if [ -e "$dir" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
    echo "error: $dir is not empty; name a new or empty folder." >&2
    exit 1
fi
RANDOM=2006

# files FOLDER COUNT MIN_KB MAX_KB NAME EXT: COUNT files NAME1.EXT, NAME2.EXT, ... in FOLDER.
files() {
    local folder=$dir/$1 count=$2 min=$3 max=$4 name=$5 ext=$6 i
    mkdir -p "$folder"
    for ((i = 1; i <= count; i++)); do
        head -c $(((min + RANDOM * (max - min) / 32768) * 1024)) /dev/urandom >"$folder/$name$i.$ext"
    done
}

echo "== Making an Orbiter-like folder in $dir (442 MB; some seconds)"
echo "   Textures, Textures2"
files Textures 1000 50 300 surface dds
files Textures 60 1000 4000 Planet dds
files Textures2 200 50 200 surface dds
echo "   Meshes, Doc, Html"
files Meshes 600 5 80 mesh msh
files Doc 25 100 2000 Manual pdf
files Html 800 1 10 page htm
files Html/Images 600 2 20 picture jpg
echo "   Config, Scenarios, Modules, orbiter.exe"
files Config 300 1 4 base cfg
files Config/Vessels 700 1 4 Vessel cfg
files Config/Earth/Base 500 1 3 Pad cfg
files "Config/My Add On" 20 1 2 "Set Up " CFG
files Scenarios 40 2 8 "Demo Flight " scn
files Scenarios/Delta-glider 30 2 8 "Brighton Beach " scn
files Scenarios/Tutorials 29 2 8 "Lesson (part " scn
head -c 4096 /dev/urandom >"$dir/Scenarios/(Current state).scn"
files Modules 30 50 500 module dll
files Modules/Plugin 8 50 400 Plugin dll
head -c 2097152 /dev/urandom >"$dir/orbiter.exe"
head -c 2048 /dev/urandom >"$dir/Orbiter.cfg"
mkdir -p "$dir/Flights"
echo "== Made $(find "$dir" -type f | wc -l) files, $(du -sh "$dir" | cut -f1)"
