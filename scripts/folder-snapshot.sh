#!/usr/bin/env bash
# Takes stock of a folder before a run and tells afterwards what changed in it; makes the copy of
# an Orbiter folder that a run works in. The trial script (try-in-orbiter.sh) only reads the
# user's folder: Orbiter runs in the copy, and these steps check that the folder stayed as it was.
#
#   scripts/folder-snapshot.sh room FOLDER DIR
#   scripts/folder-snapshot.sh take FOLDER INVENTORY
#   scripts/folder-snapshot.sh compare FOLDER INVENTORY
#   scripts/folder-snapshot.sh copy FOLDER COPY
#
# The asset folders are the top-level folders named, case-blind, Textures* (Textures, Textures2,
# ...), Meshes, Doc or Html. Orbiter only reads them, and they hold nearly all of an
# installation's bytes. Every step follows links, as a program under Wine sees them: a link to
# a folder is that folder. A link cycle would make a walk endless, so every step refuses one and
# names it.
#
# room checks that the copy of FOLDER fits in the free room of DIR's file system, before
# anything walks FOLDER through its links: it sums what copy would copy (each file and folder
# taken as whole 4 KiB blocks) and stops as soon as the sum is more than the free room, so that
# a link to / is refused without walking all of it. Then it fails, naming the links that lead to
# the most bytes.
#
# take lists every file, folder and other entry under FOLDER with its type, mode, size and
# modification time in nanoseconds, and a SHA-256 checksum of every regular file outside the
# asset folders, into INVENTORY, which must be new or empty and lie outside FOLDER. Links are
# followed, into the asset folders and inside them: what a link leads to is listed, under the
# link's path; a link that leads nowhere is listed as a symlink. Only regular files are opened: a
# named pipe, socket or device is listed, never read. Nothing is written into FOLDER.
#
# compare takes stock of FOLDER again and prints one line for each path that differs from
# INVENTORY, sorted, and nothing when none does:
#   PATH: new                  PATH/: new (folder, 3 entries)        PATH/: new (empty folder)
#   PATH: removed              PATH/: removed (folder, 3 entries)    PATH/: removed (empty folder)
#   PATH: changed (type file -> folder, mode 644 -> 600, size 10 -> 12, modified, content)
# A folder whose time alone changed, because an entry in it was made, removed or rewritten, is
# not named. Paths are relative to FOLDER, with "/"; a tab or newline in a name shows as \t or \n.
#
# copy makes COPY, which must be new or empty and lie outside FOLDER, a copy of FOLDER for
# Orbiter to run in: every file and folder outside the asset folders, with modes and times, links
# followed, so that the copy holds real files and nothing written in it reaches a link's target;
# each asset folder a symlink to FOLDER's own. A named pipe, socket or device is left out, and
# named on a line of its own: "PATH: left out (named pipe)". A link that leads nowhere cannot be
# copied: cp says so, and the copy fails.
#
# Exit status: 0 done (compare: nothing differs), 1 error (room: it does not fit), 2 bad usage, 3
# (compare) FOLDER differs.
set -euo pipefail
# Byte order for sort and comm, and find's and cp's messages as this script reads them, the same
# whatever the user's locale.
export LC_ALL=C

usage() {
    echo "usage:" >&2
    sed -n '6,9p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
fail() {
    echo "error: $1" >&2
    shift
    [ $# -eq 0 ] || printf '       %s\n' "$@" >&2
    exit 1
}

is_asset_folder_name() {
    local name=${1,,}
    [[ $name == textures* || $name == meshes || $name == doc || $name == html ]]
}

# A walk that went wrong: a link cycle named in plain words, any other error as find gave it.
# find's messages are in the file errors.
errors=
walk_failed() {
    local what=$1 loop from to
    loop=$(sed -n "/^find: File system loop detected; '\(.*\)' is part of the same file system loop as '\(.*\)'\.$/{s//\1\t\2/p;q}" \
        "$errors")
    if [ -n "$loop" ]; then
        from=${loop%%$'\t'*} to=${loop#*$'\t'}
        from=${from#./} to=${to#./}
        [ "$to" != . ] || to="the folder itself"
        fail "a link cycle in $folder: $from leads back to $to, so $what would never end." \
            "Remove the link, or point it elsewhere."
    fi
    cat "$errors" >&2
    fail "could not walk through $folder for $what (above); check that it is all readable."
}

# Every entry under the current folder as "TYPE MODE SIZE TIME PATH", NUL-terminated and sorted,
# links followed. A folder's size is left out: some file systems never shrink a folder that once
# held more.
list_folder() {
    find -L . \( -type d -printf 'd %m - %T@ %p\0' \) -o -printf '%y %m %s %T@ %p\0' | sort -z
}

# "SHA256  PATH" of every regular file under the current folder outside the asset folders, links
# followed, NUL-terminated and sorted.
checksums() {
    find -L . -type d \( -ipath './textures*' -o -ipath ./meshes -o -ipath ./doc -o -ipath ./html \) \
        -prune -o -type f -print0 | xargs -0 -r sha256sum -z -- | sort -z
}

# A folder that must be new or empty, for take and copy.
make_empty_folder() {
    if [ -e "$1" ] && [ -n "$(ls -A "$1" 2>/dev/null)" ]; then
        fail "$1 holds something already; name a new or empty folder."
    fi
    mkdir -p "$1" || fail "cannot make $1."
}

# The top-level entries of FOLDER the copy copies (copied, "./NAME") and those it links
# (assets, "NAME").
copied=() assets=()
sort_top_level() {
    local name
    while IFS= read -r -d '' name; do
        if is_asset_folder_name "${name#./}" && [ -d "$folder/$name" ]; then
            assets+=("${name#./}")
        else
            copied+=("$name")
        fi
    done < <(cd "$folder" && find . -mindepth 1 -maxdepth 1 -print0)
}

# plural N WORD [PLURAL]: "1 entry", "2 entries".
plural() {
    [ "$1" = 1 ] && printf '1 %s' "$2" || printf '%s %s' "$1" "${3:-$2s}"
}

# Bytes as the messages show them: "12.3 MB".
in_mb() {
    printf '%d.%d MB' $(($1 / 1000000)) $(($1 % 1000000 / 100000))
}

room() {
    [ -d "$into" ] || fail "$into is not a folder."
    local free total=0 cut_short=
    free=$(($(stat -f -c '%a * %S' "$into"))) || fail "cannot tell the free room of $into."
    errors=$(mktemp)
    trap 'rm -f "$errors"' EXIT
    sort_top_level
    # count START -P|-L: adds what find lists from START to total, and for a link (-L) sets
    # behind[START]; returns 1 as soon as total is more than the free room, which ends find. awk
    # sums, as a shell loop over every entry took minutes to refuse a link to /. A walk that does
    # not follow links (-P) leaves the links out, to be walked on their own.
    local -A behind=()
    count() {
        local start=$1 follow=$2 verdict sum walked skip=()
        [ "$follow" = -L ] || skip=(! -type l)
        read -r verdict sum walked < <(
            cd "$folder" && find "$follow" "$start" "${skip[@]}" -printf '%s\n' 2>>"$errors" |
                awk -v room="$((free - total))" '
                    { sum += int(($1 + 4095) / 4096) * 4096 }
                    sum > room { over = 1; exit }
                    END { printf "%s %.0f ", over ? "over" : "fits", sum }'
            echo "${PIPESTATUS[0]}"
        )
        [ -n "$walked" ] || walk_failed "its copy"
        total=$((total + sum))
        [ "$follow" = -P ] || behind[$start]=$sum
        if [ "$verdict" = over ]; then
            cut_short=$start
            return 1
        fi
        [ "$walked" = 0 ] || walk_failed "its copy"
    }
    local start link links
    for start in "${copied[@]}"; do
        count "$start" -P || break
    done
    if [ -z "$cut_short" ] && [ ${#copied[@]} -gt 0 ]; then
        mapfile -d '' links < <(cd "$folder" && find -P "${copied[@]}" -type l -print0)
        for link in "${links[@]}"; do
            count "$link" -L || break
        done
    fi
    [ -n "$cut_short" ] || return 0
    # The links that lead to the most, largest first; the walk cut short may lead to more.
    local largest=() line sorted joined
    mapfile -t sorted < <(for link in "${!behind[@]}"; do
        printf '%s %s\n' "${behind[$link]}" "$link"
    done | sort -rn)
    for line in "${sorted[@]:0:3}"; do
        link=${line#* }
        largest+=("${link#./} -> $(readlink "$folder/$link") ($([ "$link" != "$cut_short" ] ||
            echo "more than ")$(in_mb "${line%% *}"))")
    done
    line="a copy of $folder would take more than the $(in_mb "$free") free in $into."
    [ ${#largest[@]} -gt 0 ] || fail "$line"
    printf -v joined "%s; " "${largest[@]}"
    fail "$line" "The links it follows that lead to the most: ${joined%; }"
}

take() {
    make_empty_folder "$into"
    errors=$(mktemp)
    # A half-taken inventory is removed, so that compare never works from one.
    trap 'rm -f "$into/listing" "$into/sums" "$into/folder" "$errors"' EXIT
    (cd "$folder" && list_folder) >"$into/listing" 2>"$errors" || walk_failed "its inventory"
    (cd "$folder" && checksums) >"$into/sums" ||
        fail "could not checksum the files in $folder (above); check that they are all readable."
    # Written last: its presence says the inventory is whole.
    printf '%s' "$folder" >"$into/folder"
    rm -f "$errors"
    trap - EXIT
}

# The records of two sorted listings that differ, by path: was[PATH] from the first, now[PATH]
# from the second. Only differing records are read, so this stays quick on thousands of files.
declare -A was now
compare_listings() {
    local record
    while IFS= read -r -d '' record; do
        if [[ $record == $'\t'* ]]; then
            record=${record#$'\t'}
            now[${record#* * * * }]=$record
        else
            was[${record#* * * * }]=$record
        fi
    done < <(comm -z -3 "$1" "$2")
}

# The same for checksum lists: was_sum[PATH] for each file of the first whose checksum the second
# does not have.
declare -A was_sum
compare_checksums() {
    local record
    while IFS= read -r -d '' record; do
        was_sum[${record:66}]=${record:0:64}
    done < <(comm -z -23 "$1" "$2")
}

# Sets r_type, r_mode, r_size and r_time from a listing record.
fields() {
    local rest=$1
    r_type=${rest%% *} && rest=${rest#* }
    r_mode=${rest%% *} && rest=${rest#* }
    r_size=${rest%% *} && rest=${rest#* }
    r_time=${rest%% *}
}

# shown_path PATH TYPE: sets shown to the path as the lines show it: relative to FOLDER, a folder
# with a trailing "/". Set, not printed, as it runs once for each path.
shown_path() {
    shown=${1#./}
    [ "$2" != d ] || shown+=/
    shown=${shown//$'\t'/\\t}
    shown=${shown//$'\n'/\\n}
}

declare -A type_names=([f]=file [d]=folder [l]=symlink [p]="named pipe" [s]=socket [b]="block device"
    [c]="character device")

compare() {
    if ! [ -f "$into/folder" ] || ! [ -f "$into/listing" ] || ! [ -f "$into/sums" ]; then
        fail "$into holds no whole inventory; run 'take $folder $into' first."
    fi
    local taken
    taken=$(cat "$into/folder")
    [ "$taken" = "$folder" ] || fail "$into is an inventory of $taken, not of $folder."
    cd "$folder"
    listing=$(mktemp) sums=$(mktemp) errors=$(mktemp)
    trap 'rm -f "$listing" "$sums" "$errors"' EXIT
    list_folder >"$listing" 2>"$errors" || walk_failed "its inventory"
    checksums >"$sums" || fail "could not checksum the files in $folder again (above)."
    compare_listings "$into/listing" "$listing"
    compare_checksums "$into/sums" "$sums"

    local paths path parent kind
    mapfile -d '' paths < <(printf '%s\0' "${!was[@]}" "${!now[@]}" "${!was_sum[@]}" | sort -zu)
    # A new or removed entry inside a new or removed folder is counted with that folder: top[PATH]
    # is the outermost such folder, entries[FOLDER] its count. changed[FOLDER] says that an entry
    # in FOLDER differs, which explains a change of FOLDER's time.
    local -A top=() entries=() changed=()
    local lines=()
    for path in "${paths[@]}"; do
        [ -n "$path" ] || continue
        parent=${path%/*}
        if [ -z "${was[$path]+x}" ] && [ -n "${now[$path]+x}" ]; then
            kind=new
        elif [ -n "${was[$path]+x}" ] && [ -z "${now[$path]+x}" ]; then
            kind=removed
        else
            kind=changed
        fi
        # A folder that stays a folder changes its own time, not its parent's.
        local old_record=${was[$path]:-} new_record=${now[$path]:-}
        [ "${old_record:0:1}${new_record:0:1}" = dd ] || changed[$parent]=1
        if [ "$kind" != changed ]; then
            if [ -n "${top[$parent]+x}" ]; then
                top[$path]=${top[$parent]}
                entries[${top[$path]}]=$((${entries[${top[$path]}]} + 1))
            else
                top[$path]=$path
                entries[$path]=0
                lines+=("$kind $path")
            fi
        else
            lines+=("changed $path")
        fi
    done

    local line what found=0
    for line in "${lines[@]}"; do
        kind=${line%% *} path=${line#* }
        if [ "$kind" = changed ]; then
            what=()
            if [ -n "${was[$path]+x}" ]; then
                fields "${was[$path]}"
                local old=("$r_type" "$r_mode" "$r_size" "$r_time")
                fields "${now[$path]}"
                if [ "${old[0]}" != "$r_type" ]; then
                    # An entry of another type: its size and time say nothing more.
                    what+=("type ${type_names[${old[0]}]:-${old[0]}} -> ${type_names[$r_type]:-$r_type}")
                    [ "${old[1]}" = "$r_mode" ] || what+=("mode ${old[1]} -> $r_mode")
                else
                    [ "${old[1]}" = "$r_mode" ] || what+=("mode ${old[1]} -> $r_mode")
                    [ "${old[2]}" = "$r_size" ] || what+=("size ${old[2]} -> $r_size")
                    if [ "${old[3]}" != "$r_time" ]; then
                        # A folder's time changes with its entries, which are named themselves.
                        [ "$r_type" = d ] && [ -n "${changed[$path]+x}" ] || what+=(modified)
                    fi
                    [ -z "${was_sum[$path]+x}" ] || [ "${old[2]}" != "$r_size" ] || what+=(content)
                fi
                [ ${#what[@]} -gt 0 ] || continue
                shown_path "$path" "${old[0]}"
            else
                shown_path "$path" f
                what=(content)
            fi
            local joined
            printf -v joined '%s, ' "${what[@]}"
            printf '%s: changed (%s)\n' "$shown" "${joined%, }"
        else
            local record=${now[$path]:-${was[$path]}}
            shown_path "$path" "${record%% *}"
            if [ "${record%% *}" != d ]; then
                printf '%s: %s\n' "$shown" "$kind"
            elif [ "${entries[$path]}" = 0 ]; then
                printf '%s: %s (empty folder)\n' "$shown" "$kind"
            else
                printf '%s: %s (folder, %s)\n' "$shown" "$kind" "$(plural "${entries[$path]}" entry entries)"
            fi
        fi
        found=1
    done
    [ "$found" = 0 ] || return 3
}

# Paths under FOLDER ("./PATH") that the copy leaves out: named pipes, sockets and devices.
declare -A left_out=()

# copy_entries DIR ENTRY...: copies each ENTRY ("./PATH" under FOLDER) into DIR of the copy with
# its mode and time. An entry that holds something left out is made as a folder of its own, its
# entries copied one by one, its mode and time set last.
copy_entries() {
    local dir=$1 entry gone whole=() parts=() names=()
    shift
    for entry in "$@"; do
        [ -z "${left_out[$entry]+x}" ] || continue
        for gone in "${!left_out[@]}"; do
            [[ $gone == "$entry"/* ]] && parts+=("$entry") && continue 2
        done
        whole+=("$entry")
    done
    # -L follows every link, at any depth.
    if [ ${#whole[@]} -gt 0 ]; then
        (cd "$folder" && cp -RL --preserve=mode,timestamps -t "$into/$dir" -- "${whole[@]}") ||
            fail "could not copy $folder into $into (cp's message above)."
    fi
    for entry in "${parts[@]}"; do
        mkdir "$into/$entry" || fail "could not make $into/$entry."
        mapfile -d '' names < <(cd "$folder" && find -H "$entry" -mindepth 1 -maxdepth 1 -print0)
        copy_entries "$entry" "${names[@]}"
        chmod --reference="$folder/$entry" -- "$into/$entry" && touch -r "$folder/$entry" -- "$into/$entry" ||
            fail "could not give $into/$entry the mode and time of $folder/$entry."
    done
}

copy() {
    make_empty_folder "$into"
    sort_top_level
    local path type
    errors=$(mktemp)
    trap 'rm -f "$errors"' EXIT
    if [ ${#copied[@]} -gt 0 ]; then
        local specials finder
        exec {specials}< <(cd "$folder" && exec find -L "${copied[@]}" \( -type p -o -type s -o -type b -o -type c \) \
            -printf '%y %p\0' 2>"$errors")
        finder=$!
        while IFS= read -r -d '' path <&"$specials"; do
            type=${path%% *} path=${path#* }
            left_out[$path]=$type
        done
        exec {specials}<&-
        wait "$finder" || walk_failed "its copy"
        copy_entries . "${copied[@]}"
    fi
    for path in "${assets[@]}"; do
        ln -s -- "$folder/$path" "$into/$path" || fail "could not link $into/$path to $folder/$path."
    done
    chmod --reference="$folder" -- "$into" && touch -r "$folder" -- "$into" ||
        fail "could not give $into the mode and time of $folder."
    for path in "${!left_out[@]}"; do
        printf '%s: left out (%s)\n' "${path#./}" "${type_names[${left_out[$path]}]}"
    done | sort
}

[ $# -eq 3 ] || usage
case $1 in
room | take | compare | copy) ;;
*) usage ;;
esac
[ -d "$2" ] || fail "$2 is not a folder."
folder=$(realpath "$2")
into=$(realpath -m "$3")
case $into/ in
"$folder"/*) fail "$3 lies inside $2, where it would be part of what it records;" \
    "name a folder outside it." ;;
esac
# Under set -e, compare's status 3 ends the script with that status.
"$1"
