# Sourced by the scripts that run Wine, after scripts/machine.sh: the
# environment every Wine command runs in, and what every Wine session
# shares: which build runs, making a prefix, its server, a time limit, and
# ending it all.
#
# Debian's `wine` and `wineboot` pick the 32-bit loader whenever it is
# installed, so every command here calls the chosen build's loader itself:
# kestrana_wine PROGRAM ARGS...
export WINEDEBUG=${WINEDEBUG:--all}
# The overrides keep Wine from offering to install Mono and Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine finds no font of the host (see the file); a prefix holds its own.
export FONTCONFIG_FILE="$kestrana_root/scripts/wine-fonts.conf"
# The fonts every prefix holds: the one CJK font (Debian's
# fonts-wqy-microhei) and Marlett, which draws the caption buttons
# (fonts-wine; Wine 8 does not find its own fonts without the host's
# configuration).
kestrana_prefix_fonts=(/usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/wine/fonts/marlett.ttf)
# The loader of each build.
declare -A kestrana_loaders=([win32]=/usr/lib/wine/wine [win64]=/usr/lib/wine/wine64)

# kestrana_set_arch ARCH: points every Wine command that follows at one
# build, win32 (the 32-bit program in a 32-bit prefix) or win64. Nothing
# here sets KESTRANA_ARCH: in the environment it is always a choice made by
# the user, or by the script that started this one.
kestrana_set_arch() {
  [ -n "${kestrana_loaders[$1]:-}" ] || kestrana_fail 2 "the build '$1' is neither win32 nor win64"
  kestrana_arch=$1
  export WINEARCH=$1 WINELOADER=${kestrana_loaders[$1]}
  kestrana_build="$kestrana_root/build/$1"
}

# The zh_CN.UTF-8 locale makes Wine's ANSI code page 936.
kestrana_wine() { LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$WINELOADER" "$@"; }

# kestrana_arch_runs ARCH: whether this machine runs that build under Wine.
# 0: it does. 1: it cannot, the kernel runs no 32-bit code. 2: it should,
# but the loader of that build is missing or broken. For 1 and 2 the reason
# is in kestrana_arch_reason.
kestrana_arch_runs() {
  kestrana_arch_reason=""
  if [ "$1" = win32 ] && ! kestrana_runs_32bit; then
    kestrana_arch_reason="this machine cannot run 32-bit programs ($kestrana_no_32bit)"
    return 1
  fi
  local loader=${kestrana_loaders[$1]}
  kestrana_try "$loader" --version
  [ "$kestrana_try_status" -ne 0 ] || return 0
  if [ ! -e "$loader" ]; then
    kestrana_arch_reason="the Wine loader of the $1 build, $loader, is missing; scripts/setup.sh installs it"
  else
    kestrana_arch_reason="the Wine loader of the $1 build, $loader, does not start (status $kestrana_try_status${kestrana_try_output:+: $kestrana_try_output})"
  fi
  [ "$1" = win64 ] || kestrana_arch_reason="this machine runs 32-bit programs, but $kestrana_arch_reason"
  return 2
}

# kestrana_choose_arch PURPOSE: the build to show (run, screenshots): the
# one KESTRANA_ARCH names, or else the 32-bit program where this machine
# runs 32-bit programs and the 64-bit one where it cannot, saying which and
# why to standard error, in a line that starts with PURPOSE.
kestrana_choose_arch() {
  local purpose=$1 arch=${KESTRANA_ARCH:-} why
  if [ -n "$arch" ]; then
    why="KESTRANA_ARCH=$arch"
    kestrana_set_arch "$arch"   # a name that is no build ends here
    kestrana_arch_runs "$arch" || kestrana_fail 1 "cannot show the $arch build ($why): $kestrana_arch_reason"
  elif kestrana_arch_runs win32; then
    arch=win32 why="this machine runs 32-bit programs"
  elif [ $? -eq 1 ]; then
    arch=win64 why=$kestrana_arch_reason
    kestrana_arch_runs win64 || kestrana_fail 1 "cannot show the win64 build ($why): $kestrana_arch_reason"
  else
    kestrana_fail 1 "$kestrana_arch_reason"
  fi
  kestrana_set_arch "$arch"
  echo "$purpose: the ${arch#win}-bit program, build/$arch/Kestrana.exe: $why" >&2
}

# kestrana_given_arch: for the scripts other scripts start (a Wine session,
# one test program): the build KESTRANA_ARCH names, which must be given.
kestrana_given_arch() {
  [ -n "${KESTRANA_ARCH:-}" ] || kestrana_fail 2 "KESTRANA_ARCH is not set: it must name the build, win32 or win64"
  kestrana_set_arch "$KESTRANA_ARCH"
}

# kestrana_wine_within SECONDS PROGRAM ARGS...: kestrana_wine PROGRAM ARGS,
# given at most SECONDS. Its status; or, when the time runs out, every
# process of the prefix (the server included) is ended, the status is 124
# and kestrana_timed_out is set.
kestrana_wine_within() {
  local limit=$1 status=0 finished=""
  shift
  kestrana_timed_out=""
  kestrana_wine "$@" &
  local program=$!
  sleep "$limit" &
  local timer=$!
  wait -n -p finished "$program" "$timer" || status=$?
  if [ "$finished" = "$program" ]; then
    kill "$timer" 2>/dev/null || true
    wait "$timer" 2>/dev/null || true
    return "$status"
  fi
  kestrana_timed_out=1
  kestrana_end_wine
  wait "$program" 2>/dev/null || true
  return 124
}

# Makes the prefix WINEPREFIX ready for the program, the same on every host
# and Wine: created, holding its fonts, with the settings of
# scripts/wine-prefix.reg (unmanaged X11 windows, the dialog faces, the
# window metrics).
kestrana_init_prefix() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    kestrana_quiet_step "wineboot -i (making the $kestrana_arch prefix $WINEPREFIX)" kestrana_wine_within 180 wineboot -i
    kestrana_step "wineserver -w (after wineboot)" wineserver -w
  fi
  local font
  for font in "${kestrana_prefix_fonts[@]}"; do
    [ -f "$font" ] || kestrana_fail 1 "$font is missing; run scripts/setup.sh"
    kestrana_step "copying $font into the prefix" cp -u "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  local reg="$kestrana_root/scripts/wine-prefix.reg"
  kestrana_quiet_step "regedit /S $reg" kestrana_wine_within 60 regedit /S "Z:${reg//\//\\}"
}

# Starts the prefix's server to stay (`wineserver -p`), so that state only
# the server holds (key security descriptors) lives across processes. The
# server the prefix's set-up started must be gone first. The first program
# then starts Wine's own background processes. Neither the server nor those
# keep this script's output open: a test's output would never end for
# ctest, which waits for it.
kestrana_start_server() {
  kestrana_step "wineserver -w (before the persistent server)" wineserver -w
  kestrana_step "wineserver -p" kestrana_detached wineserver -p
  kestrana_detached kestrana_wine_within 60 cmd /c exit || true
}

# kestrana_detached COMMAND...: the command, with its input and output
# away from this script's.
kestrana_detached() { "$@" </dev/null >/dev/null 2>&1; }

# kestrana_server_dir PREFIX: the folder Debian's Wine (8 and 10) keeps
# the prefix's server socket in, under TMPDIR (wine-XXXXXX), as the prefix's
# file `wineserver` names it. Only a name of the form Wine gives, and only a
# folder of the prefix's owner; otherwise nothing is printed and the status
# is 1. Nothing but this removes such a folder once the prefix is gone.
kestrana_server_dir() {
  local name dir
  name=$(cat "$1/wineserver" 2>/dev/null) || return 1
  [[ "$name" =~ ^wine-[A-Za-z0-9]{6}$ ]] || return 1
  dir=${TMPDIR:-/tmp}/$name
  [ -d "$dir" ] && [ ! -L "$dir" ] && [ "$(stat -c %u "$dir")" = "$(stat -c %u "$1")" ] || return 1
  echo "$dir"
}

# kestrana_end_wine [--remove]: ends every process of the prefix, its
# server included, and waits for them; with --remove, deletes the prefix
# too, with its server's folder (KEEP_WINE_PREFIX=1 keeps it, and says
# where). Only this prefix's server is asked: nothing of another prefix or
# tree is touched.
kestrana_end_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  [ "${1:-}" = --remove ] || return 0
  if [ -n "${KEEP_WINE_PREFIX:-}" ]; then
    echo "$kestrana_label: Wine prefix kept: $WINEPREFIX" >&2
    return 0
  fi
  local server_dir=""
  server_dir=$(kestrana_server_dir "$WINEPREFIX") || true
  rm -rf "$WINEPREFIX" ${server_dir:+"$server_dir"}
}
