#!/usr/bin/env bash
# Fails unless every Linux binary given loads on a distribution since 2014:
# no glibc symbol version newer than GLIBC_2.17 (nor any GLIBCXX, CXXABI or
# GCC version: the C++ runtime and libgcc are linked in), and no library
# needed beyond glibc's own and the window system's (libxcb, fontconfig,
# FreeType) and, for the host, libsndfile. Prints each file's oldest usable
# glibc, the newest version it asks for.
#
#   check_portable.sh FILE...
set -euo pipefail

allowed='^(libc\.so\.6|libm\.so\.6|libdl\.so\.2|libpthread\.so\.0|ld-linux(-x86-64)?\.so\.2|libxcb\.so\.1|libfontconfig\.so\.1|libfreetype\.so\.6|libsndfile\.so\.1)$'
status=0
for file in "$@"; do
  problems=()
  while read -r lib; do
    [[ $lib =~ $allowed ]] || problems+=("needs $lib")
  done < <(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  # Every version the file asks of its libraries (readelf -V, the
  # .gnu.version_r section), and the newest glibc among them.
  newest=2.0
  while read -r version; do
    case $version in
      GLIBC_PRIVATE) problems+=("uses GLIBC_PRIVATE") ;;
      GLIBC_[0-9]*)
        number=${version#GLIBC_}
        newest=$(printf '%s\n%s\n' "$newest" "$number" | sort -V | tail -1)
        if [[ $(printf '%s\n2.17\n' "$number" | sort -V | tail -1) != 2.17 ]]; then
          problems+=("$version: $(objdump -T "$file" | awk -v v="$version" '$0 ~ "[ (]"v"[) ]" {print $NF}' | sort -u | tr '\n' ' ')")
        fi
        ;;
      GLIBCXX_* | CXXABI_* | GCC_*) problems+=("needs the C++ runtime: $version") ;;
    esac
  done < <(readelf -V "$file" | sed -n 's/.*Name: \([A-Za-z0-9_.]*\).*Flags.*/\1/p' | sort -u)
  if ((${#problems[@]})); then
    echo "FAIL $file"
    printf '  %s\n' "${problems[@]}"
    status=1
  else
    echo "ok   $file: GLIBC $newest or newer"
  fi
done
exit $status
