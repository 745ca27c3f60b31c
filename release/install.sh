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
# It writes the list of what it installed (files and the folders it made) to
# ~/.local/share/halvorine/installed (or /usr/local/share/halvorine/installed),
# and --uninstall removes exactly those. When a folder cannot be written it
# says so and changes nothing.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
mode=user
action=install
for arg in "$@"; do
  case $arg in
    --system) mode=system ;;
    --uninstall) action=uninstall ;;
    -h | --help) sed -n '2,16s/^# \{0,1\}//p' "$0"; exit 0 ;;
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
  set -- "vst:$HOME/.vst" "vst3:$HOME/.vst3" "clap:$HOME/.clap" "lv2:$HOME/.lv2" "bin:$HOME/.local/bin" \
         "vst3-presets:$HOME/.vst3/presets/Brindlex/Halvorine" "vst2-presets:$HOME/.vst/Halvorine Presets"
  data=$HOME/.local/share/halvorine
fi
manifest=$data/installed

# The nearest folder of PATH that exists: where a new file or folder is made.
existing() {
  p=$1
  while [ ! -e "$p" ]; do p=$(dirname "$p"); done
  printf '%s\n' "$p"
}

# Refuses, before any change, when one of the folders cannot be written.
check_writable() {
  for p in "$@"; do
    e=$(existing "$p")
    if [ ! -d "$e" ] || [ ! -w "$e" ]; then
      echo "install.sh: cannot write to $e; nothing was changed." >&2
      if [ $mode = system ]; then
        echo "  Run it as root (sudo ./install.sh --system)." >&2
      else
        echo "  Make $e yours (or writable), or install for everyone: sudo ./install.sh --system" >&2
      fi
      exit 1
    fi
  done
}

# Removes what the manifest lists: files first, then the folders made for
# them, deepest first, where they are empty.
remove_listed() {
  listed=$(cat "$manifest")
  rm -f "$manifest"
  printf '%s\n' "$listed" | sed -n 's/^f //p' | while IFS= read -r f; do rm -f "$f"; done
  printf '%s\n' "$listed" | sed -n 's/^d //p' | LC_ALL=C sort -r | while IFS= read -r d; do
    rmdir "$d" 2>/dev/null || true
  done
}

if [ $action = uninstall ]; then
  if [ ! -f "$manifest" ]; then
    echo "install.sh: nothing to remove: no $manifest" >&2
    exit 1
  fi
  folders=$(cut -c3- "$manifest" | while IFS= read -r p; do dirname "$p"; done | sort -u)
  IFS='
'
  # shellcheck disable=SC2086
  check_writable $folders "$data"
  unset IFS
  remove_listed
  echo "Halvorine removed ($mode installation)"
  exit 0
fi

# What this folder holds, and where each part goes: one part a line, as a
# folder's name may hold a space ("Halvorine Presets", or the home folder's).
plan=""
for pair in "$@"; do
  part=${pair%%:*}
  [ -e "$here/$part" ] && plan="$plan$pair
"
done
[ -n "$plan" ] || { echo "install.sh: nothing to install beside $0" >&2; exit 1; }
IFS='
'
# shellcheck disable=SC2046
check_writable $(printf '%s' "$plan" | sed 's/^[^:]*://') "$data"
unset IFS

# A previous installation is replaced whole.
[ -f "$manifest" ] && remove_listed

made=$(mktemp)
trap 'rm -f "$made"' EXIT
# Makes folder $1 and every missing parent, noting each one made.
make_folder() {
  [ -d "$1" ] && return 0
  make_folder "$(dirname "$1")"
  mkdir "$1"
  printf 'd %s\n' "$1" >>"$made"
}

printf '%s' "$plan" | while IFS= read -r pair; do
  part=${pair%%:*}
  dest=${pair#*:}
  make_folder "$dest"
  (cd "$here/$part" && find . -mindepth 1 | LC_ALL=C sort) | while IFS= read -r rel; do
    rel=${rel#./}
    if [ -d "$here/$part/$rel" ]; then
      make_folder "$dest/$rel"
    else
      rm -f "$dest/$rel"
      cp "$here/$part/$rel" "$dest/$rel"
      chmod "$( [ -x "$here/$part/$rel" ] && echo 755 || echo 644 )" "$dest/$rel"
      printf 'f %s\n' "$dest/$rel" >>"$made"
    fi
  done
  echo "  $part -> $dest"
done
make_folder "$data"
cp "$made" "$manifest"
echo "Halvorine installed. Remove it with: $0 --uninstall$( [ $mode = system ] && echo ' --system')"
