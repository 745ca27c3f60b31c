#!/usr/bin/env bash
# Installs every download in dist/ the way a user does and loads what got
# installed, with the project's own test hosts from the test builds:
#   - scripts/package refusing a folder of the user's;
#   - each Linux archive (x86_64, i686, aarch64, the last one's test hosts
#     under qemu-aarch64) through its install.sh into a fresh HOME (and the
#     refusal when a folder is not writable), then --uninstall; then as a
#     user meets it: CDPATH set, a folder root kept, presets saved over;
#   - the .debs with dpkg -i and dpkg -r when run as root, and lintian;
#   - both Windows installers with /S in a 64-bit Wine prefix of its own,
#     then their uninstallers with /S; an upgrade keeping or moving the
#     VST 2 folder, the other architecture's folder refused, the user's
#     presets kept.
# Each check prints ok or FAIL; the last line counts them.
#
#   tests/package/install_test.sh [DIST]
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
dist=$(realpath "${1:-$root/dist}")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/dist-linux64/CMakeCache.txt")
work=$(mktemp -d)
chmod 755 "$work"
passed=0 failed=0 skipped=0

check() {  # name, command...: passes when the command succeeds
  local name=$1 log=$work/log
  shift
  if "$@" >"$log" 2>&1; then
    echo "ok    $name"
    passed=$((passed + 1))
  else
    echo "FAIL  $name"
    sed 's/^/      /' "$log" | tail -40
    failed=$((failed + 1))
  fi
}
skip() {
  echo "skip  $1"
  skipped=$((skipped + 1))
}
files_exist() { local f; for f in "$@"; do [[ -f $f ]] || { echo "missing: $f"; return 1; }; done; }
# The factory presets the native build wrote, byte for byte in the VST 3 and
# VST 2 folders given.
presets_in() { diff -r "$root/build/dist-linux64/presets/vst3" "$1" && diff -r "$root/build/dist-linux64/presets/vst2" "$2"; }
nothing_in() { [[ -z $(find "$1" -mindepth 1 -print -quit) ]] || { find "$1" -mindepth 1; return 1; }; }
same_text() { [[ $1 == "$2" ]] || { printf 'got:      %s\nexpected: %s\n' "$1" "$2"; return 1; }; }

# The project's VST 3 and CLAP test hosts on installed files: the module
# loads, its class and descriptor are Halvorine's (at this version), and it
# renders the bits of the installed VST 2 library.
load_tests() {  # test build's bin folder, VST 2 file, VST 3 module, CLAP file[, runner]
  local bin=$1 runner=${5:-}
  HALVORINE_PLUGIN=$2 HALVORINE_VST3=$3 $runner "$bin/halvorine_vst3_tests$exe" \
    --gtest_filter='Vst3Module.*:*/Render.*' &&
  HALVORINE_PLUGIN=$2 HALVORINE_CLAP=$4 $runner "$bin/halvorine_clap_tests$exe" \
    --gtest_filter='ClapEntry.*:ClapProcess.*'
}
exe=""

# ------------------------------------------------------------------ Linux
linux_archive() {  # architecture, test build[, runner]
  local arch=$1 bin=$root/build/$2/bin runner=${3:-}
  local archive=$dist/halvorine-$version-linux-$arch.tar.gz
  local home=$work/home-$arch
  mkdir -p "$home" "$work/$arch"
  tar -xzf "$archive" -C "$work/$arch" || { check "$arch archive unpacks" false; return; }
  local unpacked=$work/$arch/halvorine-$version-linux-$arch
  check "$arch install.sh installs for the user" env HOME="$home" "$unpacked/install.sh"
  local vst3arch=x86_64-linux
  [[ $arch == i686 ]] && vst3arch=i386-linux
  [[ $arch == aarch64 ]] && vst3arch=aarch64-linux
  local vst=$home/.vst/halvorine.so vst3=$home/.vst3/Halvorine.vst3/Contents/$vst3arch/Halvorine.so
  local clap=$home/.clap/Halvorine.clap
  check "$arch files in ~/.vst, ~/.vst3, ~/.clap" files_exist "$vst" "$vst3" "$clap" \
    "$home/.vst3/Halvorine.vst3/Contents/Resources/moduleinfo.json"
  check "$arch presets in ~/.vst3/presets/Brindlex/Halvorine and ~/.vst/Halvorine Presets" \
    presets_in "$home/.vst3/presets/Brindlex/Halvorine" "$home/.vst/Halvorine Presets"
  check "$arch binaries need GLIBC 2.17 at most and no C++ runtime" "$root/tests/package/check_portable.sh" \
    $(find "$unpacked" \( -name '*.so' -o -name '*.clap' -o -name halvorine-host \) -type f | sort)
  check "$arch moduleinfo.json names version $version" \
    grep -q "\"Version\": \"$version\"" "$home/.vst3/Halvorine.vst3/Contents/Resources/moduleinfo.json"
  if [[ $arch == x86_64 ]]; then
    local host=$home/.local/bin/halvorine-host
    check "host --version is $version" same_text "$(HOME=$home "$host" --version)" "halvorine-host $version"
    check "host lists the installed VST 2 library" \
      bash -c "HOME='$home' '$host' info | grep -qx 'Plug-in *$vst'"
    check "host renders through it" env HOME="$home" "$host" demo -o "$work/demo" --quiet
    check "lv2ls finds the installed bundle" \
      bash -c "LV2_PATH='$home/.lv2' lv2ls | grep -qx urn:brindlex:halvorine"
    local lv2v=$((2 * (100 * ${version%%.*} + $(cut -d. -f2 <<<"$version"))))
    check "the LV2 bundle's minor version is $lv2v" \
      grep -q "lv2:minorVersion $lv2v ;" "$home/.lv2/halvorine.lv2/halvorine.ttl"
  fi
  if [[ -x $bin/halvorine_vst3_tests ]]; then
    check "$arch VST 3 and CLAP test hosts load the installed files" \
      load_tests "$bin" "$vst" "$vst3" "$clap" $runner
  else
    skip "$arch test hosts (no $bin/halvorine_vst3_tests: run scripts/test ${2} first)"
  fi
  check "$arch install.sh --uninstall" env HOME="$home" "$unpacked/install.sh" --uninstall
  check "$arch uninstall leaves nothing behind" nothing_in "$home"
}

# A folder it cannot write: install.sh says so and changes nothing.
refusal() {
  local home=$work/home-locked archive=$dist/halvorine-$version-linux-x86_64.tar.gz
  mkdir -p "$home/.vst3" "$work/locked"
  tar -xzf "$archive" -C "$work/locked"
  local run=()
  if [[ $(id -u) -eq 0 ]]; then
    chown -R 65534:65534 "$home"
    run=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  chmod 555 "$home/.vst3"
  local before
  before=$(find "$home" | sort)
  "${run[@]}" env HOME="$home" "$work/locked/halvorine-$version-linux-x86_64/install.sh" \
    >"$work/refused" 2>&1
  local status=$?
  check "install.sh refuses an unwritable ~/.vst3" \
    bash -c "[[ $status -ne 0 ]] && grep -q 'cannot write to $home/.vst3; nothing was changed' '$work/refused'"
  check "and changes nothing" same_text "$(find "$home" | sort)" "$before"
}

# What a user meets later, as that user (nobody, when run as root): CDPATH
# set, a folder an earlier sudo run left root's, presets saved over.
user_faults() {
  local home=$work/home-user name=halvorine-$version-linux-x86_64
  mkdir -p "$home" "$work/user"
  tar -xzf "$dist/$name.tar.gz" -C "$work/user"
  local run=(env) lock=(chmod 555) unlock=(chmod 755)
  if [[ $(id -u) -eq 0 ]]; then
    chown -R 65534:65534 "$home"
    run=(setpriv --reuid=65534 --regid=65534 --clear-groups env)
    lock=(chown 0:0) unlock=(chown 65534:65534)
  fi
  local install=("${run[@]}" HOME="$home" "$work/user/$name/install.sh")
  local record=$home/.local/share/halvorine/installed presets=$home/.vst3/presets/Brindlex/Halvorine
  check "install.sh by a relative path with CDPATH set" bash -c \
    'cd "$1" && CDPATH=. "${@:4}" "$2/install.sh" && [[ -f $3/.vst/halvorine.so ]]' _ \
    "$work/user" "$name" "$home" "${run[@]}" HOME="$home"
  [[ -f $record ]] || "${install[@]}" >/dev/null 2>&1

  # Reinstall and uninstall refuse a folder of the installation that root
  # kept, changing nothing.
  local inner=$home/.vst3/Halvorine.vst3/Contents/x86_64-linux verb
  "${lock[@]}" "$inner"
  cp "$record" "$work/record"
  for verb in reinstall --uninstall; do
    "${install[@]}" ${verb/reinstall/} >"$work/out" 2>&1
    check "$verb into a folder root kept changes nothing, record and files whole" bash -c \
      '(($1)) && grep -q "cannot write to $2; nothing was changed" "$3" && cmp "$4" "$5" &&
       [[ -f $2/Halvorine.so && -f $6/.vst/halvorine.so ]]' _ \
      $? "$inner" "$work/out" "$work/record" "$record" "$home"
  done
  "${unlock[@]}" "$inner"

  local saved edited
  saved=$(find "$presets" -name '*.vstpreset' | sort | head -1)
  edited=$(find "$home/.vst/Halvorine Presets" -name '*.fxp' | sort | head -1)
  echo "a host saved over it" >>"$saved"
  cp "$saved" "$work/saved"
  echo "a preset of the user's" >"$presets/Mine.vstpreset"
  "${install[@]}" >"$work/out" 2>&1
  check "a reinstall keeps a preset saved over, saying so" bash -c \
    'grep -q "kept $1: it changed" "$2" && cmp "$1" "$3"' _ "$saved" "$work/out" "$work/saved"
  echo "edited" >>"$edited"
  "${install[@]}" --uninstall >"$work/out" 2>&1
  check "--uninstall keeps a preset saved over, saying so" grep -q "kept $edited: it changed" "$work/out"
  check "and the user's own; nothing else stays" same_text "$(find "$home" -type f | LC_ALL=C sort)" \
    "$(printf '%s\n' "$edited" "$presets/Mine.vstpreset" "$saved" | LC_ALL=C sort)"
}

# scripts/package refuses, before building, a folder it did not write, a
# relative one taken from the folder it runs in.
package_refusal() {
  mkdir -p "$work/caller/mine"
  echo "the user's" >"$work/caller/mine/notes.txt"
  (cd "$work/caller" && timeout 600 "$root/scripts/package" mine) >"$work/out" 2>&1
  check "scripts/package refuses a folder of the user's, before building" bash -c \
    '(($1)) && grep -q "scripts/package: $2/mine is not empty" "$3" && ! grep -q "== package: build" "$3" &&
     [[ $(cat "$2/mine/notes.txt") == "the user'"'"'s" ]]' _ $? "$work/caller" "$work/out"
}

package_refusal
linux_archive x86_64 default
linux_archive i686 linux32
linux_archive aarch64 arm64 qemu-aarch64
refusal
user_faults

# ------------------------------------------------------------------ Debian
deb=$dist/halvorine_${version}_amd64.deb
check "lintian reports no errors" lintian --fail-on error --allow-root "$deb"
vst3presets=/usr/share/vst3/presets/Brindlex/Halvorine vst2presets=/usr/share/halvorine/vst2-presets
if [[ $(id -u) -eq 0 ]]; then
  check "dpkg -i" dpkg -i "$deb"
  vst=/usr/lib/vst/halvorine.so vst3=/usr/lib/vst3/Halvorine.vst3/Contents/x86_64-linux/Halvorine.so
  clap=/usr/lib/clap/Halvorine.clap
  check "files in /usr/lib/vst, vst3, clap, lv2, /usr/bin, the manual and man page" files_exist \
    "$vst" "$vst3" "$clap" /usr/lib/lv2/halvorine.lv2/manifest.ttl /usr/bin/halvorine-host \
    /usr/share/doc/halvorine/manual.html /usr/share/man/man1/halvorine-host.1.gz
  check "presets in $vst3presets and $vst2presets" presets_in $vst3presets $vst2presets
  check "host lists /usr/lib/vst/halvorine.so" bash -c "halvorine-host info | grep -qx 'Plug-in *$vst'"
  check "host renders through it" halvorine-host demo -o "$work/deb-demo" --quiet
  check "lv2ls finds the bundle" bash -c "env -u LV2_PATH lv2ls | grep -qx urn:brindlex:halvorine"
  if [[ -x $root/build/default/bin/halvorine_vst3_tests ]]; then
    check "VST 3 and CLAP test hosts load the packaged files" \
      load_tests "$root/build/default/bin" "$vst" "$vst3" "$clap"
  fi
  check "dpkg -r" dpkg -r halvorine
  check "dpkg -r removes every file" bash -c "! dpkg -L halvorine 2>/dev/null | grep -q . && [[ ! -e $vst && ! -e /usr/lib/lv2/halvorine.lv2 && ! -e /usr/bin/halvorine-host && ! -e /usr/share/vst3/presets/Brindlex && ! -e /usr/share/halvorine ]]"
else
  skip "dpkg -i and -r (not root)"
fi
# The arm64 package installs beside the arm64 C library of the ARM build's
# multiarch packages.
deb=$dist/halvorine_${version}_arm64.deb
check "arm64: lintian reports no errors" lintian --fail-on error --allow-root "$deb"
if [[ $(id -u) -eq 0 ]]; then
  check "arm64: dpkg -i" dpkg -i "$deb"
  check "arm64: files in /usr/lib/vst, vst3, clap, lv2" files_exist /usr/lib/vst/halvorine.so \
    /usr/lib/vst3/Halvorine.vst3/Contents/aarch64-linux/Halvorine.so /usr/lib/clap/Halvorine.clap \
    /usr/lib/lv2/halvorine.lv2/manifest.ttl
  check "arm64: presets in $vst3presets and $vst2presets" presets_in $vst3presets $vst2presets
  check "arm64: dpkg -r removes every file" bash -c "dpkg -r halvorine && [[ ! -e /usr/lib/vst/halvorine.so && ! -e /usr/lib/lv2/halvorine.lv2 && ! -e /usr/share/halvorine ]]"
fi

# ------------------------------------------------------------------ Windows
windows() {
  local state=$work/wine winerun=$root/cmake/wine-run.sh
  if ! "$winerun" --state "$state" --arch win64 --start >"$work/wine-start" 2>&1; then
    check "Wine starts" bash -c "cat '$work/wine-start'; false"
    return
  fi
  export WINEPREFIX=$state/prefix WINEDEBUG=-all DISPLAY
  DISPLAY=":$(cat "$state/display")"
  # 64-bit programs (reg.exe's 64-bit view, the 64-bit test hosts) need
  # Debian's 64-bit loader; 32-bit ones, the installers included, "wine".
  local wine64
  wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
  local c=$WINEPREFIX/drive_c key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  local arch programs winprograms bin vst3arch name regkey
  for arch in x64 x86; do
    if [[ $arch == x64 ]]; then
      programs="$c/Program Files" winprograms='C:\Program Files' bin=$root/build/win64/bin
      vst3arch=x86_64-win name=Halvorine regkey="$key\\Halvorine"
    else
      programs="$c/Program Files (x86)" winprograms='C:\Program Files (x86)' bin=$root/build/win32/bin
      vst3arch=x86-win name="Halvorine (32-bit)"
      regkey='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Halvorine (32-bit)'
    fi
    local setup=$dist/Halvorine-$version-windows-$arch-setup.exe
    check "$arch installer /S" wine "$setup" /S
    local vst3="Common Files/VST3/Halvorine.vst3/Contents/$vst3arch/Halvorine.vst3"
    check "$arch files in Common Files\\VST3, Common Files\\CLAP, VstPlugins" files_exist \
      "$programs/$vst3" "$programs/Common Files/CLAP/Halvorine.clap" "$programs/VstPlugins/halvorine.dll" \
      "$programs/Brindlex/Halvorine/uninstall.exe"
    check "$arch presets in ProgramData\\VST3 Presets and beside the DLL" \
      presets_in "$c/ProgramData/VST3 Presets/Brindlex/Halvorine" "$programs/VstPlugins/Halvorine Presets"
    check "$arch uninstall key names version $version" \
      bash -c "'$wine64' reg query '$regkey' /v DisplayVersion | grep -q '$version'"
    if [[ -f $bin/halvorine_vst3_tests.exe ]]; then
      exe=.exe
      check "$arch Wine test hosts load the installed DLLs" load_tests "$bin" \
        "$winprograms\\VstPlugins\\halvorine.dll" "$winprograms\\${vst3//\//\\}" \
        "$winprograms\\Common Files\\CLAP\\Halvorine.clap" "$( [[ $arch == x64 ]] && echo "$wine64" || echo wine)"
      exe=""
    else
      skip "$arch Wine test hosts (no $bin/halvorine_vst3_tests.exe)"
    fi
    check "$arch uninstaller /S" wine "$winprograms\\Brindlex\\Halvorine\\uninstall.exe" /S
    gone "$programs/Brindlex"
    check "$arch uninstall removes every file" bash -c "[[ ! -e '$programs/Common Files/VST3/Halvorine.vst3' && ! -e '$programs/Common Files/CLAP/Halvorine.clap' && ! -e '$programs/VstPlugins/halvorine.dll' && ! -e '$programs/VstPlugins/Halvorine Presets' && ! -e '$c/ProgramData/VST3 Presets' && ! -e '$programs/Brindlex' ]]"
    check "$arch uninstall removes the key" bash -c "[[ -x '$wine64' ]] && ! '$wine64' reg query '$regkey' >/dev/null 2>&1"
  done

  # An upgrade offers the VST 2 folder chosen before, one into another folder
  # moves the DLL and its presets there, the other installer refuses that
  # folder, and the uninstaller leaves the user's presets.
  local x64=$dist/Halvorine-$version-windows-x64-setup.exe x86=$dist/Halvorine-$version-windows-x86-setup.exe
  local a=$c/Plugins/A b=$c/Plugins/B vst3presets="$c/ProgramData/VST3 Presets/Brindlex/Halvorine"
  wine "$x64" /S '/D=C:\Plugins\A' &>/dev/null && wine "$x64" /S &>/dev/null
  check "x64 upgrade installs into the VST 2 folder chosen before" vst2_moved "$a" "$c/Program Files/VstPlugins"
  wine "$x64" /S '/D=C:\Plugins\B' &>/dev/null
  check "x64 install into another VST 2 folder moves the DLL and its presets" vst2_moved "$b" "$a"
  wine "$x86" /S '/D=C:\Plugins\B' &>/dev/null
  check "x86 installer refuses the folder of the 64-bit DLL" bash -c \
    '(($1)) && [[ ! -e $2 ]] && cmp "$3" <(unzip -p "$4" "*/vst/halvorine.dll")' _ \
    $? "$c/Program Files (x86)/Brindlex" "$b/halvorine.dll" "$dist/halvorine-$version-windows-x64.zip"
  echo "the user's" >"$b/Halvorine Presets/Mine.fxp"
  echo "the user's" >"$vst3presets/Mine.vstpreset"
  wine 'C:\Program Files\Brindlex\Halvorine\uninstall.exe' /S &>/dev/null
  gone "$c/Program Files/Brindlex"
  check "x64 uninstaller leaves the user's presets, removing its own" bash -c \
    '[[ $(ls "$1") == Mine.fxp && $(ls "$2") == Mine.vstpreset && ! -e $3 ]]' _ \
    "$b/Halvorine Presets" "$vst3presets" "$b/halvorine.dll"
  "$winerun" --state "$state" --arch win64 --stop >/dev/null 2>&1
}
# The uninstaller runs on from a copy of itself; waits for its end.
gone() { for _ in $(seq 100); do [[ -e $1 ]] || break; sleep 0.2; done; }
# The VST 2 DLL and its factory presets in folder $1, nothing of them in $2.
vst2_moved() {
  files_exist "$1/halvorine.dll" && diff -r "$root/build/dist-linux64/presets/vst2" "$1/Halvorine Presets" &&
    [[ ! -e $2/halvorine.dll && ! -e "$2/Halvorine Presets" ]]
}
windows

rm -rf "$work" 2>/dev/null || { chmod -R u+w "$work"; rm -rf "$work"; }
echo "package: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
