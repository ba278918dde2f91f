#!/usr/bin/env bash
# shellcheck disable=SC2034 # the report's arrays are read through namerefs, in print_items
# Takes stock of a folder and backs up what may be rewritten in it; later makes the folder as it
# was and checks that it is. The trial script wraps each Orbiter run in these two steps.
#
#   scripts/folder-snapshot.sh take FOLDER STORE
#   scripts/folder-snapshot.sh put-back FOLDER STORE
#
# take lists every file, folder and symlink under FOLDER (links are not followed) with its type,
# mode, size and modification time in nanoseconds, and copies into STORE, with bytes, mode and
# time, every file that Orbiter or a plug-in may rewrite. The rule: every file and symlink, at any
# depth, except those inside the top-level folders named, case-blind, Textures* (Textures,
# Textures2, ...), Meshes, Doc or Html. Orbiter writes none of these, and they hold nearly all of
# an installation's bytes. Each backed-up file also gets a SHA-256 checksum. STORE must be new or
# empty, and must not lie inside FOLDER.
#
# put-back removes every file and folder that was not there, recreates missing folders, copies
# back every backed-up file that is missing or differs, sets folders' modes and times back, then
# lists FOLDER again and compares it with the first listing. It prints these lines:
#   == Put back as they were: ITEM; ITEM; ...        (exit 0)
#   == Removed, as they were not there: ITEM; ...    (exit 0 or 3)
#   == As it was: nothing to put back                 (exit 0)
#   == Copied back from the back-up: ITEM; ...       (exit 3, instead of "Put back")
#   == Not as it was:                                 (exit 3), then one line per path:
#      PATH: changed (type file -> folder, mode 644 -> 600, size 10 -> 12, modified, content)
#      PATH: removed, not backed up        PATH: removed        PATH: new, could not be removed
# An ITEM is a file ("Orbiter.cfg"), a folder removed with everything in it ("Images/ (folder,
# 40 entries)", "Images/ (empty folder)"), a folder recreated ("Flights/ (folder)"), or a folder
# whose mode or time alone was set back ("Scenarios/ (modification time)"). Past 8 items, those
# inside a top-level folder are counted per folder: "Scenarios/ (12 files, 1 folder)".
# Paths are relative to FOLDER, with "/"; a tab or newline in a name shows as \t or \n.
#
# Exit status: 0 done (FOLDER is as it was), 1 error (no folder, STORE unusable or not a snapshot
# of FOLDER), 2 bad usage, 3 FOLDER still differs from its listing (named on the lines above).
set -euo pipefail
# Byte order for sort and comm, the same in both steps whatever the user's locale.
export LC_ALL=C

usage() {
    echo "usage:" >&2
    sed -n '6,7p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
fail() {
    echo "error: $1" >&2
    shift
    [ $# -eq 0 ] || printf '       %s\n' "$@" >&2
    exit 1
}

# Every entry under the current folder as "TYPE MODE SIZE TIME PATH", NUL-terminated and sorted.
# A folder's size is left out: some file systems never shrink a folder that once held more.
list_folder() {
    find . \( -type d -printf 'd %m - %T@ %p\0' \) -o -printf '%y %m %s %T@ %p\0' | sort -z
}
list_folders_only() {
    find . -type d -printf 'd %m - %T@ %p\0' | sort -z
}

# The backed-up files and symlinks under the current folder (see the rule above), NUL-terminated.
list_backed_up() {
    find . -type d \( -ipath './textures*' -o -ipath ./meshes -o -ipath ./doc -o -ipath ./html \) \
        -prune -o \( -type f -o -type l \) -print0
}

# "SHA256  PATH" of each regular file named on stdin, NUL-terminated and sorted.
checksums() {
    xargs -0 -r sha256sum -z -- | sort -z
}

# The checksums, now, of the files that were backed up. Those gone or no longer files are
# missing from it, quietly: the listing tells how they differ.
backed_up_checksums() {
    sed -z 's/^.\{66\}//' "$store/sums" | checksums 2>/dev/null
}

# The records of two sorted listings that differ, by path: was[PATH] from the first, now[PATH]
# from the second. Only differing records are read, so this stays quick on thousands of files.
declare -A was now
compare_listings() {
    local record
    was=() now=()
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
    was_sum=()
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

# show PATH [TYPE]: sets shown to the path as the report shows it: relative to FOLDER, a folder
# with a trailing "/". Set, not printed, as it runs once for each item.
show() {
    shown=${1#./}
    if [ "$shown" = . ]; then
        shown=./
        return
    fi
    [ "${2:-f}" != d ] || shown+=/
    shown=${shown//$'\t'/\\t}
    shown=${shown//$'\n'/\\n}
}

# join SEPARATOR WORD...: the words joined, in joined.
join() {
    local separator=$1
    joined=${2:-}
    shift 2 || return 0
    local word
    for word in "$@"; do
        joined+=$separator$word
    done
}

# plural N WORD [PLURAL]: "1 file", "2 files".
plural() {
    [ "$1" = 1 ] && printf '1 %s' "$2" || printf '%s %s' "$1" "${3:-$2s}"
}

is_backed_up() {
    [ -e "$store/files/$1" ] || [ -L "$store/files/$1" ]
}

# Sorted paths of every key of the named associative arrays.
sorted_keys() {
    local name
    for name in "$@"; do
        local -n array=$name
        [ ${#array[@]} -eq 0 ] || printf '%s\0' "${!array[@]}"
        unset -n array
    done | sort -zu
}

take() {
    if [ -e "$store" ] && [ -n "$(ls -A "$store" 2>/dev/null)" ]; then
        fail "$store holds something already; name a new or empty folder for the back-up."
    fi
    echo "== Taking stock of $folder and backing up what Orbiter may rewrite into $store"
    mkdir -p "$store/files" || fail "cannot make $store."
    # A half-taken snapshot is removed, so that put-back never works from one.
    trap 'rm -rf "${store:?}/files" "$store/listing" "$store/sums" "$store/folder"' EXIT
    (cd "$folder" && list_folder) >"$store/listing" ||
        fail "could not list everything in $folder (above); check that it is all readable."
    (cd "$folder" && list_backed_up | xargs -0 -r cp -a --parents -t "$store/files" --) ||
        fail "could not back up $folder into $store (above); is there room, is all readable?"
    (cd "$store/files" && find . -type f -print0 | checksums) >"$store/sums" ||
        fail "could not checksum the back-up in $store (above)."
    # Written last: its presence says the snapshot is whole.
    printf '%s' "$folder" >"$store/folder"
    trap - EXIT
    local entries files bytes
    entries=$(tr -cd '\0' <"$store/listing" | wc -c)
    files=$(find "$store/files" ! -type d -printf . | wc -c)
    bytes=$(find "$store/files" ! -type d -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
    echo "== Listed $entries entries; backed up $(plural "$files" file) ($((bytes / 1000000)) MB)"
}

# What was put back and what removed, for the report: the paths, each one's text, and which
# of them are folders. Also the folders whose entries differed.
put_back_items=() removed_items=()
declare -A put_back_text removed_text put_back_folder removed_folder explained

put_back() {
    if ! [ -f "$store/folder" ] || ! [ -f "$store/listing" ] || ! [ -f "$store/sums" ] ||
        ! [ -d "$store/files" ]; then
        fail "$store holds no whole snapshot; run 'take $folder $store' before Orbiter runs."
    fi
    local taken
    taken=$(cat "$store/folder")
    [ "$taken" = "$folder" ] || fail "$store is a snapshot of $taken, not of $folder."
    cd "$folder"

    compare_listings "$store/listing" <(list_folder)
    compare_checksums "$store/sums" <(backed_up_checksums)
    local paths path parent
    mapfile -d '' paths < <(sorted_keys was now was_sum)
    local -A new_top=() entries=()
    local removals=() folders=() restores=()
    for path in "${paths[@]}"; do
        parent=${path%/*}
        local old_type=${was[$path]:-} new_type=${now[$path]:-}
        old_type=${old_type%% *} new_type=${new_type%% *}
        # An entry made, removed or rewritten changes its folder's time; a folder's own change
        # does not.
        [ "$old_type$new_type" = dd ] || explained[$parent]=1
        # New, or of another type: removed, with everything in it; a parent being removed
        # already takes it along.
        if [ -n "${now[$path]+x}" ] && [ "$old_type" != "$new_type" ]; then
            if [ -n "${new_top[$parent]+x}" ]; then
                new_top[$path]=${new_top[$parent]}
                entries[${new_top[$path]}]=$((${entries[${new_top[$path]}]} + 1))
            else
                new_top[$path]=$path
                entries[$path]=0
                removals+=("$path")
            fi
        fi
        if [ -n "${was[$path]+x}" ] && [ "$old_type" = d ]; then
            [ -d "$path" ] && [ "$new_type" = d ] || folders+=("$path")
        elif { [ -n "${was[$path]+x}" ] || [ -n "${was_sum[$path]+x}" ]; } && is_backed_up "$path"; then
            restores+=("$path")
        fi
    done

    local trouble=0
    if [ ${#removals[@]} -gt 0 ]; then
        printf '%s\0' "${removals[@]}" | xargs -0 rm -rf -- || trouble=1
        for path in "${removals[@]}"; do
            # Only what is gone is reported removed; what is left is named by the check.
            if [ -e "$path" ] || [ -L "$path" ]; then
                continue
            fi
            removed_items+=("$path")
            if [ "${now[$path]%% *}" != d ]; then
                show "$path"
                removed_text[$path]=$shown
                continue
            fi
            removed_folder[$path]=1
            show "$path" d
            if [ "${entries[$path]}" = 0 ]; then
                removed_text[$path]="$shown (empty folder)"
            else
                removed_text[$path]="$shown (folder, $(plural "${entries[$path]}" entry entries))"
            fi
        done
    fi
    if [ ${#folders[@]} -gt 0 ]; then
        printf '%s\0' "${folders[@]}" | xargs -0 mkdir -p -- || trouble=1
        for path in "${folders[@]}"; do
            put_back_items+=("$path")
            show "$path" d
            put_back_text[$path]="$shown (folder)"
            put_back_folder[$path]=1
        done
    fi
    if [ ${#restores[@]} -gt 0 ]; then
        printf '%s\0' "${restores[@]}" | (cd "$store/files" &&
            xargs -0 cp -a --parents --remove-destination -t "$folder" --) || trouble=1
        for path in "${restores[@]}"; do
            put_back_items+=("$path")
            show "$path"
            put_back_text[$path]=$shown
        done
    fi
    set_folders_back || trouble=1
    [ "$trouble" = 0 ] || echo "error: some of it could not be put back (above); see what differs below." >&2

    # The check: everything listed again, and the backed-up files checksummed again.
    compare_listings "$store/listing" <(list_folder)
    compare_checksums "$store/sums" <(backed_up_checksums)
    differences=()
    mapfile -d '' paths < <(sorted_keys was now was_sum)
    for path in "${paths[@]}"; do
        difference "$path"
    done
    if [ ${#differences[@]} -eq 0 ]; then
        if [ ${#put_back_items[@]} -eq 0 ] && [ ${#removed_items[@]} -eq 0 ]; then
            echo "== As it was: nothing to put back"
        fi
        print_items "== Put back as they were: " put_back
        print_items "== Removed, as they were not there: " removed
        return 0
    fi
    print_items "== Copied back from the back-up: " put_back
    print_items "== Removed, as they were not there: " removed
    echo "== Not as it was:"
    printf '   %s\n' "${differences[@]}"
    return 3
}

# Sets every folder's mode and time back where they differ; removing and creating entries
# changes a folder's time. A change that the rest of the put-back does not explain (no entry in
# the folder differed) is reported.
set_folders_back() {
    local path paths status=0 what
    compare_listings <(grep -z '^d ' "$store/listing") <(list_folders_only)
    mapfile -d '' paths < <(sorted_keys was)
    for path in "${paths[@]}"; do
        [ -d "$path" ] || continue
        fields "${was[$path]}"
        local want_mode=$r_mode want_time=$r_time
        fields "${now[$path]:-d - - -}"
        what=()
        if [ "$r_mode" != "$want_mode" ]; then
            chmod -- "$want_mode" "$path" || status=1
            what+=(mode)
        fi
        if [ "$r_time" != "$want_time" ]; then
            touch -d "@$want_time" -- "$path" || status=1
            [ -n "${explained[$path]+x}" ] || what+=("modification time")
        fi
        if [ ${#what[@]} -gt 0 ] && [ -z "${put_back_text[$path]+x}" ]; then
            put_back_items+=("$path")
            show "$path" d
            join ", " "${what[@]}"
            put_back_text[$path]="$shown ($joined)"
            put_back_folder[$path]=1
        fi
    done
    return "$status"
}

# difference PATH: adds to differences what differs for PATH after the put-back, "PATH: what".
differences=()
difference() {
    local path=$1 what=()
    if [ -z "${now[$path]+x}" ] && [ -z "${was[$path]+x}" ]; then
        show "$path"
        differences+=("$shown: changed (content)")
    elif [ -z "${now[$path]+x}" ]; then
        fields "${was[$path]}"
        show "$path" "$r_type"
        if [ "$r_type" = d ] || is_backed_up "$path"; then
            differences+=("$shown: removed")
        else
            differences+=("$shown: removed, not backed up")
        fi
    elif [ -z "${was[$path]+x}" ]; then
        show "$path" "${now[$path]%% *}"
        differences+=("$shown: new, could not be removed")
    else
        fields "${was[$path]}"
        local old=("$r_type" "$r_mode" "$r_size" "$r_time")
        fields "${now[$path]}"
        [ "${old[0]}" = "$r_type" ] || what+=("type ${type_names[${old[0]}]:-${old[0]}} -> ${type_names[$r_type]:-$r_type}")
        [ "${old[1]}" = "$r_mode" ] || what+=("mode ${old[1]} -> $r_mode")
        [ "${old[2]}" = "$r_size" ] || what+=("size ${old[2]} -> $r_size")
        [ "${old[3]}" = "$r_time" ] || what+=(modified)
        if [ -n "${was_sum[$path]+x}" ] && [ "${old[2]}" = "$r_size" ]; then
            what+=(content)
        fi
        show "$path" "${old[0]}"
        join ", " "${what[@]}"
        differences+=("$shown: changed ($joined)")
    fi
}
declare -A type_names=([f]=file [d]=folder [l]=symlink [p]="named pipe" [s]=socket)

# print_items PREFIX LIST: one line of the report, the items of LIST (put_back or removed) joined
# by "; ". Past 8 items, those inside a top-level folder are counted per folder instead.
print_items() {
    local prefix=$1 path top texts=()
    local -n items=$2_items text=$2_text is_folder=$2_folder
    [ ${#items[@]} -gt 0 ] || return 0
    mapfile -d '' items < <(printf '%s\0' "${items[@]}" | sort -z)
    if [ ${#items[@]} -le 8 ]; then
        for path in "${items[@]}"; do
            texts+=("${text[$path]}")
        done
    else
        # Each group's place in texts, and its counts. A name is never read as arithmetic, where
        # bash would expand what it holds.
        local -A place=() files=() subfolders=()
        for path in "${items[@]}"; do
            top=${path#./}
            if [[ $top != */* ]]; then
                texts+=("${text[$path]}")
                continue
            fi
            top=./${top%%/*}
            if [ -z "${place[$top]+x}" ]; then
                place[$top]=${#texts[@]} files[$top]=0 subfolders[$top]=0
                texts+=("")
            fi
            if [ -n "${is_folder[$path]+x}" ]; then
                subfolders[$top]=$((${subfolders[$top]} + 1))
            else
                files[$top]=$((${files[$top]} + 1))
            fi
        done
        for top in "${!place[@]}"; do
            local counts=()
            [ "${files[$top]}" = 0 ] || counts+=("$(plural "${files[$top]}" file)")
            [ "${subfolders[$top]}" = 0 ] || counts+=("$(plural "${subfolders[$top]}" folder)")
            show "$top" d
            join ", " "${counts[@]}"
            texts[${place[$top]}]="$shown ($joined)"
        done
    fi
    join "; " "${texts[@]}"
    printf '%s%s\n' "$prefix" "$joined"
}

[ $# -eq 3 ] || usage
case $1 in
take | put-back) ;;
*) usage ;;
esac
[ -d "$2" ] || fail "$2 is not a folder."
folder=$(realpath "$2")
store=$(realpath -m "$3")
case $store/ in
"$folder"/*) fail "the back-up $3 lies inside $2, where it would be listed and removed;" \
    "name a folder outside it." ;;
esac
status=0
if [ "$1" = take ]; then
    take
else
    put_back || status=$?
fi
exit "$status"
