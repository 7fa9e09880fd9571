# Sourced by the Wine scripts: the environment every Wine command runs in.
# The zh_CN.UTF-8 locale makes Wine's ANSI code page 936; the overrides keep
# Wine from offering to install Mono and Gecko.
#
# KESTRANA_ARCH chooses the build and the Wine that runs it: win32 (the
# default, the 32-bit program in a 32-bit prefix) or win64 (the 64-bit one
# in a 64-bit prefix). Debian's `wine` and `wineboot` pick the 32-bit loader
# whenever it is installed, so every command here calls the chosen loader
# itself: kestrana_wine PROGRAM ARGS...
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
kestrana_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Wine finds no font of the host (see the file); a prefix holds its own.
export FONTCONFIG_FILE="$kestrana_root/scripts/wine-fonts.conf"
# The fonts every prefix holds: the one CJK font (Debian's
# fonts-wqy-microhei) and Marlett, which draws the caption buttons
# (fonts-wine; Wine 8 does not find its own fonts without the host's
# configuration).
kestrana_prefix_fonts=(/usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/wine/fonts/marlett.ttf)

# Points every Wine command that follows at one build: win32 or win64.
kestrana_set_arch() {
  export KESTRANA_ARCH=$1
  case "$KESTRANA_ARCH" in
    win32) export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
    win64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
    *) echo "KESTRANA_ARCH is '$KESTRANA_ARCH': expected win32 or win64" >&2; return 2 ;;
  esac
  # The build of that architecture.
  kestrana_build="$kestrana_root/build/$KESTRANA_ARCH"
}

kestrana_wine() { "$WINELOADER" "$@"; }

# Debian 12's 64-bit Wine loader is not position independent and comes
# without Wine's preloader: it sits at 0x7d000000, and the kernel puts its
# heap at a random place in the gigabyte above it, which holds 0x7ffe0000,
# where every Wine process maps the user shared data. When the heap lands
# there, the process ends at once with status 1, and under WINEDEBUG=-all
# says nothing. Without address randomization the heap follows the loader,
# far below. A script that starts Wine calls this first, with its own
# command line: it runs again under setarch, and every program it starts,
# and everything those start, inherit the layout.
kestrana_fixed_layout() {
  [ -n "${KESTRANA_FIXED_LAYOUT:-}" ] && return 0
  export KESTRANA_FIXED_LAYOUT=1
  exec setarch "$(uname -m)" --addr-no-randomize "$@"
}

# Makes a prefix ready for the program, the same on every host and Wine:
# created, holding its fonts, with the settings of scripts/wine-prefix.reg
# (unmanaged X11 windows, the dialog faces, the window metrics).
kestrana_init_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    kestrana_wine wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  local font
  for font in "${kestrana_prefix_fonts[@]}"; do
    [ -f "$font" ] || { echo "wine: $font is missing; run scripts/setup.sh" >&2; return 1; }
    cp -u "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  local reg="$kestrana_root/scripts/wine-prefix.reg"
  kestrana_wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 ||
    { echo "wine: regedit could not import $reg" >&2; return 1; }
}

# Whether this machine runs 32-bit programs, found out by starting the
# 32-bit loader: some kernels run no 32-bit code at all, though the
# packages install. When it cannot, the reason is in kestrana_no_win32.
# KESTRANA_NO_WIN32=1 makes the answer "no", to rehearse such a machine.
kestrana_runs_win32() {
  kestrana_no_win32=""
  if [ -n "${KESTRANA_NO_WIN32:-}" ]; then
    kestrana_no_win32="KESTRANA_NO_WIN32 is set"
    return 1
  fi
  local out
  # The shell's own message says why, in English.
  if ! out=$(export LC_ALL=C; /usr/lib/wine/wine --version 2>&1); then
    kestrana_no_win32="/usr/lib/wine/wine --version: $(tr '\n' ' ' <<<"$out" | sed 's/ *$//')"
    return 1
  fi
  return 0
}

# For showing the program: the 32-bit build where this machine can run it,
# otherwise the 64-bit one, saying which to standard error, unless
# KESTRANA_ARCH was given. PURPOSE starts the line ("run", "screenshots").
kestrana_choose_arch() {
  if [ -n "$kestrana_arch_given" ]; then
    return 0
  elif kestrana_runs_win32; then
    kestrana_set_arch win32
    echo "$1: the 32-bit program, build/win32/Kestrana.exe" >&2
  else
    kestrana_set_arch win64
    echo "$1: the 64-bit program, build/win64/Kestrana.exe: this machine cannot run 32-bit programs ($kestrana_no_win32)" >&2
  fi
  kestrana_arch_given=1
}

kestrana_arch_given=${KESTRANA_ARCH:+1}
kestrana_set_arch "${KESTRANA_ARCH:-win32}"
