#!/bin/bash
# Makes the files and folders of one benchmark installation as plain files of the guest, for the
# driver (bench/driver.cpp), which makes the keys and the sentinels itself. Made through Wine, a
# file cost a few wineserver round trips: minutes per installation in the test machine.
# Usage: make_installation.sh APP N DONE
#   APP  the installation folder as a unix path; it must not exist yet
#   N    the number of files: N files of 1 KiB in (N + 49) / 50 folders, named as bench/layout.h
#   DONE written last, "ok" or "fail WHAT": the driver waits for it, since Wine gives it no
#        handle of a unix process to wait on
# Only shell builtins in the loop: one process per file would cost more than Wine did.
set -u
export PATH=/usr/bin:/bin
app=$1 n=$2 done=$3
files_per_folder=50  # bench/layout.h
file_size=1024

finish() {
  printf '%s\n' "$1" >"$done.tmp" && mv -f "$done.tmp" "$done"
  [ "$1" = ok ]
  exit
}

[[ $n =~ ^[0-9]+$ ]] || finish "fail the file count is not a number: $n"
# As CREATE_NEW: an existing file is an error, not something to overwrite.
set -o noclobber

# The bytes the driver wrote through Wine: 'a' + i % 26.
content=
while (( ${#content} < file_size )); do content+=abcdefghijklmnopqrstuvwxyz; done
content=${content:0:file_size}

mkdir -- "$app" || finish "fail cannot create $app"
folders=$(( (n + files_per_folder - 1) / files_per_folder ))
dirs=()
for (( d = 0; d < folders; d++ )); do printf -v 'dirs[d]' '%s/d%04d' "$app" "$d"; done
if (( folders > 0 )); then mkdir -- "${dirs[@]}" || finish "fail cannot create the folders"; fi
for (( f = 0; f < n; f++ )); do
  printf -v path '%s/f%06d.dat' "${dirs[f / files_per_folder]}" "$f"
  printf '%s' "$content" >"$path" || finish "fail cannot create $path"
done
finish ok
