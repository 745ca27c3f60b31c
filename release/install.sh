#!/bin/sh
# Installs Halvorine from this folder for you, or for everyone with --system.
#
#   ./install.sh              VST 2 to ~/.vst, VST 3 to ~/.vst3, CLAP to ~/.clap,
#                             LV2 to ~/.lv2, halvorine-host to ~/.local/bin,
#                             the VST 3 presets to ~/.vst3/presets/Brindlex/Halvorine,
#                             the VST 2 presets to "~/.vst/Halvorine Presets"
#   sudo ./install.sh --system   the same under /usr/local (lib/vst, lib/vst3,
#                             lib/clap, lib/lv2, bin, share/vst3/presets)
#   ./install.sh --uninstall [--system]   removes what it installed there
#
# It keeps a record of what it installed (each file with its checksum, and
# the folders it made) in ~/.local/share/halvorine/installed (or
# /usr/local/share/halvorine/installed), true at every step. --uninstall
# and a new installation remove or replace only files still as installed:
# a file changed since (a preset a host saved over) is yours, and stays.
# When a folder cannot be written it says so and changes nothing.
set -eu
# With CDPATH set, cd prints the folder it enters, which $(...) would catch.
unset CDPATH

here=$(cd "$(dirname "$0")" && pwd)
mode=user
action=install
for arg in "$@"; do
  case $arg in
    --system) mode=system ;;
    --uninstall) action=uninstall ;;
    -h | --help) sed -n '2,17s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "install.sh: unknown option '$arg' (see --help)" >&2; exit 2 ;;
  esac
done

if [ $mode = system ]; then
  root=/usr/local
  set -- "vst:$root/lib/vst" "vst3:$root/lib/vst3" "clap:$root/lib/clap" "lv2:$root/lib/lv2" "bin:$root/bin" \
         "vst3-presets:$root/share/vst3/presets/Brindlex/Halvorine" "vst2-presets:$root/lib/vst/Halvorine Presets"
  data=$root/share/halvorine
else
  [ -n "${HOME:-}" ] || { echo "install.sh: HOME is not set" >&2; exit 1; }
  # Run by root for another user's HOME (sudo keeping HOME), it would leave
  # folders that user can no longer change.
  if [ "$(id -u)" = 0 ] && [ -d "$HOME" ] && [ "$(ls -dn "$HOME" | awk '{ print $3 }')" != 0 ]; then
    echo "install.sh: $HOME is not root's: run it as its user (without sudo), or install for everyone: sudo ./install.sh --system" >&2
    exit 1
  fi
  set -- "vst:$HOME/.vst" "vst3:$HOME/.vst3" "clap:$HOME/.clap" "lv2:$HOME/.lv2" "bin:$HOME/.local/bin" \
         "vst3-presets:$HOME/.vst3/presets/Brindlex/Halvorine" "vst2-presets:$HOME/.vst/Halvorine Presets"
  data=$HOME/.local/share/halvorine
fi
manifest=$data/installed

work=$(mktemp -d)
copying=""
cleanup() { rm -rf "$work"; [ -z "$copying" ] || rm -f "$copying"; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The nearest folder of PATH that exists: where a new file or folder is made.
existing() {
  p=$1
  while [ ! -e "$p" ] && [ ! -L "$p" ]; do p=$(dirname "$p"); done
  printf '%s\n' "$p"
}

# Refuses, before any change, when a folder of the list on stdin (one a
# line) cannot be written.
check_writable() {
  LC_ALL=C sort -u | while IFS= read -r p; do
    e=$(existing "$p")
    if [ ! -d "$e" ] || [ ! -w "$e" ]; then
      echo "install.sh: cannot write to $e; nothing was changed." >&2
      if [ $mode = system ]; then
        echo "  Run it as root (sudo ./install.sh --system)." >&2
      elif [ "$(ls -dn "$e" | awk '{ print $3 }')" = 0 ]; then
        echo "  It is root's (an earlier sudo ./install.sh?): sudo chown -R $(id -un) '$e'" >&2
      else
        echo "  Make $e yours (or writable), or install for everyone: sudo ./install.sh --system" >&2
      fi
      exit 1
    fi
  done
}

# The SHA-256 of file $1; fails when it cannot be read.
sum() { s=$(sha256sum <"$1") && printf '%s\n' "${s%% *}"; }

# The record: "f SHA256 PATH" for a file (a path may have two lines while it
# is being replaced; "f PATH" in records of earlier versions, no checksum),
# "d PATH" for a folder it made. A line is added before what it names is
# made, and dropped (the record replaced whole) once that is gone, so the
# record always lists at least what is there; lines of no such form, as a
# cut-off one, are passed over.
record_add() { printf '%s\n' "$1" >>"$manifest"; }
record_keep() {  # awk condition on the line $0, p (the path) and s (a checksum)
  P=$2 S=${3:-} awk "BEGIN { p = ENVIRON[\"P\"]; s = ENVIRON[\"S\"] } { f = substr(\$0, 3) } ($1) && !seen[\$0]++" \
    "$manifest" >"$manifest.new"
  mv -f "$manifest.new" "$manifest"
}
record_drop_file() { record_keep '!/^f / || (f != p && substr(f, 66) != p)' "$1"; }
# Only the line of checksum $2 left for file $1.
record_settle() { record_keep '!/^f / || (f != p && substr(f, 66) != p) || f == s " " p' "$1" "$2"; }
record_drop_folder() { record_keep '$0 != "d " p' "$1"; }
# The files and folders recorded, one a line.
recorded_files() { sed -n 's|^f \([0-9a-f]\{64\} \)\{0,1\}\(/.*\)$|\2|p' "$manifest" | LC_ALL=C sort -u; }
recorded_folders() { sed -n 's|^d \(/.*\)$|\1|p' "$manifest" | LC_ALL=C sort -ru; }
# "yes" when PATH holds what was installed there: a recorded checksum, or a
# record without one.
as_installed() {
  P=$1 S=$(sum "$1") awk 'BEGIN { p = ENVIRON["P"]; s = ENVIRON["S"] }
    /^f / { f = substr($0, 3); if (f == p || f == s " " p) { print "yes"; exit } }' "$manifest"
}
is_recorded() { [ -n "$(P=$1 awk 'BEGIN { p = ENVIRON["P"] } /^f / { f = substr($0, 3); if (f == p || substr(f, 66) == p) { print "yes"; exit } }' "$manifest")" ]; }

kept() { echo "  kept $1: it changed since it was installed (yours now)"; }

# Removes a recorded file still as installed; keeps one that changed.
remove_file() {
  if [ -e "$1" ] || [ -L "$1" ]; then
    if [ -n "$(as_installed "$1")" ]; then
      rm -f "$1"
    else
      kept "$1"
    fi
  fi
  record_drop_file "$1"
}

# Removes the recorded folders that are empty, deepest first, except the
# one holding the record. With "all", a folder that holds files of yours
# stays and leaves the record too; otherwise it stays recorded.
remove_folders() {
  recorded_folders >"$work/folders"
  while IFS= read -r d; do
    case $data/ in "$d"/*) continue ;; esac
    if [ ! -d "$d" ] || rmdir "$d" 2>/dev/null || [ "${1:-}" = all ]; then
      record_drop_folder "$d"
    fi
  done <"$work/folders"
}

# The record, and the folders made for it, go when it lists nothing else.
drop_record_if_empty() {
  recorded_folders | while IFS= read -r d; do
    case $data/ in "$d"/*) ;; *) exit 1 ;; esac
  done || return 0
  [ -z "$(recorded_files)" ] || return 0
  recorded_folders >"$work/folders"
  rm -f "$manifest"
  while IFS= read -r d; do rmdir "$d" 2>/dev/null || true; done <"$work/folders"
}

# The folders holding what the record lists.
recorded_parents() {
  [ -f "$manifest" ] || return 0
  { recorded_files; recorded_folders; } | while IFS= read -r p; do dirname "$p"; done
}

if [ $action = uninstall ]; then
  if [ ! -f "$manifest" ]; then
    echo "install.sh: nothing to remove: no $manifest" >&2
    exit 1
  fi
  { recorded_parents; echo "$data"; } | check_writable
  recorded_files >"$work/files"
  while IFS= read -r f; do remove_file "$f"; done <"$work/files"
  remove_folders all
  drop_record_if_empty
  echo "Halvorine removed ($mode installation)"
  exit 0
fi

# What this folder holds, and where each file goes: "part<TAB>target<TAB>source"
# a line, as a folder's name may hold a space ("Halvorine Presets", or the
# home folder's).
tab=$(printf '\t')
: >"$work/plan"
: >"$work/folders-new"
for pair in "$@"; do
  part=${pair%%:*}
  dest=${pair#*:}
  [ -e "$here/$part" ] || continue
  echo "$dest" >>"$work/folders-new"
  (cd "$here/$part" && find . -mindepth 1 | LC_ALL=C sort) | while IFS= read -r rel; do
    rel=${rel#./}
    if [ -d "$here/$part/$rel" ]; then
      echo "$dest/$rel" >>"$work/folders-new"
    else
      printf '%s\t%s\t%s\n' "$part" "$dest/$rel" "$here/$part/$rel" >>"$work/plan"
    fi
  done
done
[ -s "$work/plan" ] || { echo "install.sh: nothing to install beside $0" >&2; exit 1; }
cut -f3 "$work/plan" | while IFS= read -r src; do
  [ -r "$src" ] || { echo "install.sh: cannot read $src; nothing was changed." >&2; exit 1; }
done
cut -f2 "$work/plan" | LC_ALL=C sort -u >"$work/targets"
{ cat "$work/folders-new"; recorded_parents; echo "$data"; } | check_writable

# Makes folder $1 and every missing parent, each recorded before it is made.
make_folder() {
  [ -d "$1" ] && return 0
  make_folder "$(dirname "$1")"
  record_add "d $1"
  mkdir "$1"
}

if [ ! -f "$manifest" ]; then
  made=""
  p=$data
  while [ ! -d "$p" ]; do made="$made$p
"; p=$(dirname "$p"); done
  mkdir -p "$data"
  printf '%s' "$made" | sed '/^$/d; s/^/d /' >"$manifest.new"
  mv -f "$manifest.new" "$manifest"
fi

# What an earlier installation left that this one does not bring.
recorded_files | LC_ALL=C comm -23 - "$work/targets" >"$work/files"
while IFS= read -r f; do remove_file "$f"; done <"$work/files"

# Each file: recorded first, then copied beside and moved into place, so
# the file is always whole and the record lists it.
while IFS="$tab" read -r part dest src; do
  make_folder "$(dirname "$dest")"
  new=$(sum "$src")
  if [ -e "$dest" ] || [ -L "$dest" ]; then
    if [ -f "$dest" ] && [ "$(sum "$dest")" = "$new" ]; then
      record_add "f $new $dest"
      record_settle "$dest" "$new"
      continue
    fi
    if is_recorded "$dest"; then
      if [ -z "$(as_installed "$dest")" ]; then
        kept "$dest"
        record_drop_file "$dest"
        continue
      fi
    else
      case $part in
        *-presets) echo "  kept $dest: a preset of yours of the same name"; continue ;;
      esac
    fi
  fi
  record_add "f $new $dest"
  copying=$(dirname "$dest")/.halvorine-install.$$
  cp "$src" "$copying"
  chmod "$( [ -x "$src" ] && echo 755 || echo 644 )" "$copying"
  mv -f "$copying" "$dest"
  copying=""
  record_settle "$dest" "$new"
done <"$work/plan"
remove_folders
for pair in "$@"; do
  [ -e "$here/${pair%%:*}" ] && echo "  ${pair%%:*} -> ${pair#*:}"
done
echo "Halvorine installed. Remove it with: $0 --uninstall$( [ $mode = system ] && echo ' --system')"
