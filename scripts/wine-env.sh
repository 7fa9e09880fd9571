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
# The three ways the tree runs the program under Wine (KESTRANA_ARCH):
# win32, the 32-bit program in a 32-bit prefix (a 32-bit Windows); win64,
# the 64-bit program in a 64-bit prefix; and wow64, the 32-bit program in a
# 64-bit prefix, as 64-bit Windows runs it (WOW64), the way almost every
# user runs the product. There the prefix's own processes and its server
# are 64-bit, and only the 32-bit programs run through the 32-bit loader.
# The build each runs, and its prefix's architecture:
declare -A kestrana_builds=([win32]=win32 [win64]=win64 [wow64]=win32)
declare -A kestrana_prefix_archs=([win32]=win32 [win64]=win64 [wow64]=win64)
# The loader of each prefix architecture.
declare -A kestrana_loaders=([win32]=/usr/lib/wine/wine [win64]=/usr/lib/wine/wine64)

# How much longer a limit that ends a Wine program (a case, wineboot, a
# set-up step) is when the 32-bit Wine runs under the emulator. Measured on
# the whole 32-bit suite, emulated against native on one machine: 256 s
# against 109 s in all; 3.75 times at the median case, and 3.96 times at
# the slowest of the cases that take a second or more natively (the cases
# of a fraction of a second take up to 7 times, about one second more,
# mostly the emulator starting). So a case ended at its limit under
# emulation is one that hangs, as natively. Read here when the program runs
# (the same build runs natively on one machine and emulated on another),
# by the test programs for their own waits on the program, and by
# cmake/wine-tests.cmake for ctest's backstop, which must outlast the
# longest limit.
kestrana_emulation_factor=4

# kestrana_set_arch ARCH: points every Wine command that follows at one
# of the three (win32, win64, wow64). Nothing here sets KESTRANA_ARCH: in
# the environment it is always a choice made by the user, or by the script
# that started this one. Inside the emulator's namespace the 32-bit
# programs are the emulated ones (kestrana_arch_emulated). Under WOW64 the
# test programs read what only a 64-bit program can (the 64-bit registry
# view, the GDI handle table named in the 64-bit process layout) through
# the 64-bit build's end-to-end driver, KESTRANA_DRIVER64.
kestrana_set_arch() {
  [ -n "${kestrana_builds[$1]:-}" ] || kestrana_fail 2 "'$1' is none of the ways to run the program: win32, win64, wow64"
  kestrana_arch=$1
  export WINEARCH=${kestrana_prefix_archs[$1]}
  export WINELOADER=${kestrana_loaders[$WINEARCH]}
  kestrana_build="$kestrana_root/build/${kestrana_builds[$1]}"
  kestrana_arch_emulated=""
  [ "$1" = win64 ] || [ -z "${KESTRANA_EMULATION:-}" ] || kestrana_arch_emulated=1
  if [ "$1" = wow64 ]; then
    export KESTRANA_DRIVER64="$kestrana_root/build/win64/tests/e2e/kestrana_e2e.exe"
  else
    unset KESTRANA_DRIVER64
  fi
  kestrana_export_factor
}

# kestrana_program_name ARCH: "the 32-bit program", "the 64-bit program"
# or "the 32-bit program under WOW64", for messages.
kestrana_program_name() {
  case $1 in
    wow64) echo "the 32-bit program under WOW64 (a 64-bit prefix)" ;;
    *) echo "the ${1#win}-bit program" ;;
  esac
}

# The test programs' own waits for the program take the same factor
# (limitMs in tests/support), from KESTRANA_LIMIT_FACTOR.
kestrana_export_factor() {
  if [ -n "$kestrana_arch_emulated" ]; then
    export KESTRANA_LIMIT_FACTOR=$kestrana_emulation_factor
  else
    unset KESTRANA_LIMIT_FACTOR
  fi
}

# The zh_CN.UTF-8 locale makes Wine's ANSI code page 936.
kestrana_wine() { LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$WINELOADER" "$@"; }

# What the set-up could not install of the 32-bit part, for want of an
# index, on a machine whose kernel refuses 32-bit programs: its last line,
# kept until a set-up installs it.
kestrana_setup_32bit_failed=$kestrana_root/build/setup/32bit-failed

# kestrana_arch_runs ARCH: whether this machine runs the program that way
# under Wine. 0: it does, natively, or for the 32-bit programs under the
# emulator where the kernel refuses 32-bit code (kestrana_arch_emulated is
# then set). 1: it cannot: the kernel runs no 32-bit code and no private
# namespace can be made for the emulator. 2: it should, but something it
# needs is missing or broken. For 1 and 2 the reason is in
# kestrana_arch_reason. WOW64 needs what both others need: the 32-bit
# programs run (or are emulated) as in a 32-bit prefix, and the prefix and
# its server are the 64-bit Wine's, always native.
kestrana_arch_runs() {
  if [ "$1" = wow64 ]; then
    local status=0 emulated
    kestrana_arch_runs win32 || return $?
    emulated=$kestrana_arch_emulated
    kestrana_arch_runs win64 || status=$?
    kestrana_arch_emulated=$emulated
    return "$status"
  fi
  kestrana_arch_reason="" kestrana_arch_emulated=""
  local loader=${kestrana_loaders[$1]}
  if [ "$1" = win32 ] && [ -n "${KESTRANA_EMULATION:-}" ]; then
    kestrana_arch_emulated=1
    return 0
  elif [ "$1" = win32 ] && ! kestrana_runs_32bit; then
    if ! kestrana_can_emulate; then
      kestrana_arch_reason="this machine cannot run 32-bit programs ($kestrana_no_32bit), nor emulate them: $kestrana_no_emulation"
      return 1
    fi
    kestrana_arch_emulated=1
    local failed=""
    failed=$(cat "$kestrana_setup_32bit_failed" 2>/dev/null) || true
    if [ -n "$failed" ]; then
      kestrana_arch_reason=$failed
    elif ! kestrana_emulator_fit; then
      kestrana_arch_reason="the kernel refuses 32-bit programs and $kestrana_emulator_unfit"
    elif [ ! -e "$loader" ]; then
      kestrana_arch_reason="the kernel refuses 32-bit programs and the Wine loader of the win32 build, $loader, is missing; scripts/setup.sh installs it"
    else
      return 0
    fi
    return 2
  fi
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
# why in kestrana_arch_line, a line that starts with PURPOSE (printed once
# the script runs where it shows the program: kestrana_say_arch). The
# 32-bit program is shown under the emulator only when KESTRANA_ARCH asks.
kestrana_choose_arch() {
  local purpose=$1 arch=${KESTRANA_ARCH:-} why
  if [ -n "$arch" ]; then
    why="KESTRANA_ARCH=$arch"
    kestrana_set_arch "$arch"   # a name that is none of the three ends here
    kestrana_arch_runs "$arch" || kestrana_fail 1 "cannot show $(kestrana_program_name "$arch") ($why): $kestrana_arch_reason"
    [ -z "$kestrana_arch_emulated" ] || why="$why, under the emulator in a private namespace: the kernel refuses 32-bit programs"
  elif kestrana_runs_32bit; then
    kestrana_arch_runs win32 || kestrana_fail 1 "$kestrana_arch_reason"
    arch=win32 why="this machine runs 32-bit programs"
  else
    arch=win64 why="this machine cannot run 32-bit programs ($kestrana_no_32bit)"
    if kestrana_can_emulate; then
      why="$why; KESTRANA_ARCH=win32 shows the 32-bit one under emulation"
    else
      why="$why, nor emulate them: $kestrana_no_emulation"
    fi
    kestrana_arch_runs win64 || kestrana_fail 1 "cannot show the win64 build ($why): $kestrana_arch_reason"
  fi
  local emulated=$kestrana_arch_emulated
  kestrana_set_arch "$arch"
  kestrana_arch_emulated=$emulated
  kestrana_export_factor
  kestrana_arch_line="$purpose: $(kestrana_program_name "$arch"), build/${kestrana_builds[$arch]}/Kestrana.exe: $why"
}
kestrana_say_arch() { echo "$kestrana_arch_line" >&2; }

# kestrana_given_arch: for the scripts other scripts start (a Wine session,
# one test program): the build KESTRANA_ARCH names, which must be given.
kestrana_given_arch() {
  [ -n "${KESTRANA_ARCH:-}" ] || kestrana_fail 2 "KESTRANA_ARCH is not set: it must name the way to run the program, win32, win64 or wow64"
  kestrana_set_arch "$KESTRANA_ARCH"
}

# The emulator's namespace. Where the kernel refuses 32-bit code, the
# scripts that run the 32-bit build (a Wine session, make run, the
# screenshots) run again inside a namespace made for it, as the user who
# started them: a user namespace whose mapped root registers the emulator
# for i386 ELF files in a binfmt_misc instance of the namespace's own, a
# mount namespace with a /tmp of its own (the display's lock and socket,
# Wine's server folders, the sessions' prefixes), a network namespace of
# its own (the display numbers), and a PID namespace whose first process
# stays to reap the others. Inside it a nested user namespace maps back to
# the user's own uid, so that Wine runs as it would natively. When the
# namespace's first process ends, for whatever reason, the kernel ends
# every process in it, and its mounts go with it: nothing it started is
# left on the machine. The machine's own binfmt_misc is never touched.
kestrana_emulation_entry=kestrana-i386
# binfmt_misc's entry for i386 ELF executables and shared objects.
kestrana_emulation_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
kestrana_emulation_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# kestrana_emulated_namespace "$@": for the emulated 32-bit build, runs the
# script again in the emulator's namespace (nothing otherwise). With
# --keep-display, a display the user has stays reachable from inside.
kestrana_emulated_namespace() {
  local keep=""
  if [ "${1:-}" = --keep-display ]; then
    keep=1
    shift
  fi
  [ -n "$kestrana_arch_emulated" ] || return 0
  if [ -z "${KESTRANA_EMULATION:-}" ]; then
    # Handed inward: the user (the kernel's answer went with
    # kestrana_runs_32bit, which decided the build).
    export KESTRANA_EMULATION_UID=$(id -u) KESTRANA_EMULATION_GID=$(id -g)
    local network=--net
    if [ -n "$keep" ] && [ -n "${DISPLAY:-}" ]; then
      network="" KESTRANA_EMULATION_DISPLAY=1
      export KESTRANA_EMULATION_DISPLAY
    fi
    # unshare ignores SIGTERM; SIGKILL ends it, and with it the namespace.
    kestrana_reexec --kill KESTRANA_EMULATION "unshare (the emulator's namespace)" \
      unshare --user --map-root-user --mount --propagation private --pid --fork --kill-child $network -- "$@"
  fi
  [ -z "${KESTRANA_EMULATION_USER:-}" ] || return 0
  # The namespace's first process, its root: the namespace's own /proc and
  # /tmp, then the emulator's registration, then the rest as the user.
  kestrana_step "mount proc (the namespace's own)" mount -t proc proc /proc
  # What of the machine's /tmp the run needs stays where it is: each entry
  # at the top of /tmp that a path of the run lies in (the tree, the current
  # folder, every path among the arguments and in the environment: TMPDIR,
  # HOME, XAUTHORITY, a prefix's base), and the user's display sockets where
  # that display stays reachable. Each is held open across the new /tmp and
  # bound back at its place. The rest of the namespace's /tmp is its own.
  local entry values=() carried=() held=()
  while IFS= read -r -d '' entry; do values+=("${entry#*=}"); done < <(env -0)
  [ -z "${KESTRANA_EMULATION_DISPLAY:-}" ] || values+=(/tmp/.X11-unix)
  while IFS= read -r -d '' entry; do
    local fd
    exec {fd}<"/tmp/$entry"
    carried+=("$entry") held+=("$fd")
  done < <(kestrana_tmp_entries "$kestrana_root" "$PWD" "$@" "${values[@]}")
  kestrana_step "mount tmpfs on /tmp (the namespace's own)" mount -t tmpfs -o mode=1777 tmpfs /tmp
  local i
  for i in "${!carried[@]}"; do
    if [ -d "/proc/self/fd/${held[i]}" ]; then
      mkdir "/tmp/${carried[i]}"
    else
      : >"/tmp/${carried[i]}"
    fi
    # Not canonicalized: mount would resolve the held folder's name to the
    # new, empty one at its place. Recursive: what is mounted below it (a
    # rehearsal's stand-in) comes with it, and a user namespace refuses a
    # bind that would leave such mounts behind.
    kestrana_step "mount --rbind (/tmp/${carried[i]}, carried into the namespace's /tmp)" \
      mount --no-canonicalize --rbind "/proc/self/fd/${held[i]}" "/tmp/${carried[i]}"
    exec {held[i]}<&-
  done
  # Inside, temporary files are the namespace's, as Wine's server folders
  # are (Wine keeps them in TMPDIR, else /tmp): they go with it, however it
  # ends. Unset rather than set to /tmp, which Debian 13's 32-bit Wine under
  # the emulator answers with "free(): invalid pointer" in wineboot.
  unset TMPDIR
  kestrana_register_emulator
  kestrana_reexec KESTRANA_EMULATION_USER "unshare (back to uid $KESTRANA_EMULATION_UID in the emulator's namespace)" \
    unshare --user --map-user="$KESTRANA_EMULATION_UID" --map-group="$KESTRANA_EMULATION_GID" -- "$@"
}

# kestrana_tmp_entries PATH...: the names at the top of /tmp that these
# paths lie in (/tmp/a/b: a), once each, NUL-separated: only folders and
# plain files that are there.
kestrana_tmp_entries() {
  local path top
  for path in "$@"; do
    [[ "$path" == /tmp/?* ]] || continue
    top=${path#/tmp/}
    top=${top%%/*}
    [ -d "/tmp/$top" ] || [ -f "/tmp/$top" ] || continue
    printf '%s\0' "$top"
  done | sort -zu
}

# kestrana_register_emulator: mounts the namespace's binfmt_misc, registers
# the emulator in it (flag F: the emulator is opened now, so it serves every
# later process wherever they see it), reads the registration back, and
# checks that the 32-bit Wine loader starts. (Where the kernel could run it
# natively, it would start without the registration too: what proves the
# emulator is kestrana_emulation_seen.)
kestrana_register_emulator() {
  local fs=/proc/sys/fs/binfmt_misc version
  kestrana_step "mount binfmt_misc (the namespace's own)" mount -t binfmt_misc binfmt_misc "$fs"
  [ "$(ls -A "$fs" | paste -sd' ')" = "register status" ] ||
    kestrana_fail 1 "the binfmt_misc mounted in the emulator's namespace is not empty: $(ls -A "$fs" | paste -sd' ')"
  kestrana_emulator_fit || kestrana_fail 1 "$kestrana_emulator_unfit"
  version=$kestrana_emulator_release
  local entry=":$kestrana_emulation_entry:M::$kestrana_emulation_magic:$kestrana_emulation_mask:$kestrana_emulator:F"
  # binfmt_misc reads the escapes itself.
  printf '%s' "$entry" >"$fs/register" 2>/dev/null ||
    kestrana_fail 1 "registering the emulator in the namespace's binfmt_misc failed ($fs/register)"
  grep -qx "interpreter $kestrana_emulator" "$fs/$kestrana_emulation_entry" 2>/dev/null ||
    kestrana_fail 1 "the emulator's registration reads back wrong: $(paste -sd' ' "$fs/$kestrana_emulation_entry" 2>&1)"
  kestrana_try "${kestrana_loaders[win32]}" --version
  [ "$kestrana_try_status" -eq 0 ] ||
    kestrana_fail 1 "the 32-bit Wine loader ${kestrana_loaders[win32]} does not start under the emulator $kestrana_emulator $version (status $kestrana_try_status${kestrana_try_output:+: $kestrana_try_output})"
}

# kestrana_emulation_seen: inside the namespace, the evidence that the
# 32-bit Wine really runs under the emulator: a running 32-bit Wine process
# of this prefix (WINEPREFIX in its environment) whose executable is the
# interpreter the registration names. In a 32-bit prefix that is its
# services.exe, which stays. A 64-bit prefix (WOW64) has no 32-bit process
# of its own: a 32-bit cmd.exe from its SysWOW64 is started for the look,
# waiting on its input until the look is over. Sets
# kestrana_emulation_evidence to "qemu-i386 VERSION", that interpreter's own
# version; fails the script otherwise.
kestrana_emulation_seen() {
  local fs=/proc/sys/fs/binfmt_misc interpreter program='services.exe' holder="" holder_pid="" proc exe="" seen=""
  interpreter=$(sed -n 's/^interpreter //p' "$fs/$kestrana_emulation_entry" 2>/dev/null) ||
    kestrana_fail 1 "no registration of the emulator in this namespace ($fs/$kestrana_emulation_entry)"
  if [ "$WINEARCH" = win64 ]; then
    program='C:\windows\syswow64\cmd.exe'
    exec {holder}> >(kestrana_wine "$program" /q >/dev/null 2>&1)
    holder_pid=$!
  fi
  # Until one is seen, or the time is up (what starts it, start.exe in a
  # 64-bit prefix, names it too, and runs as the 64-bit Wine).
  local tries=$(($(kestrana_limit 15) * 5)) found=""
  while [ -z "$found" ] && [ "$tries" -gt 0 ]; do
    for proc in /proc/[0-9]*; do
      grep -qxzF "WINEPREFIX=$WINEPREFIX" "$proc/environ" 2>/dev/null || continue
      grep -qaF "$program" "$proc/cmdline" 2>/dev/null || continue
      exe=$(readlink "$proc/exe" 2>/dev/null) || continue
      if [ "$exe" = "$interpreter" ]; then
        found=1
        break
      fi
      seen="$seen${seen:+, }$exe"
    done
    [ -n "$found" ] || { sleep 0.2; tries=$((tries - 1)); }
  done
  if [ -n "$holder" ]; then
    exec {holder}>&-
    wait "$holder_pid" 2>/dev/null || true
  fi
  [ -n "$found" ] || [ -n "$seen" ] ||
    kestrana_fail 1 "no 32-bit Wine process of the prefix ($program) runs in the emulator's namespace"
  [ -n "$found" ] ||
    kestrana_fail 1 "the 32-bit Wine does not run under the emulator: $program of the prefix runs only as $(tr ',' '\n' <<<"$seen" | sed 's/^ //' | sort -u | paste -sd' '), not $interpreter"
  kestrana_emulator_version "$interpreter" ||
    kestrana_fail 1 "the emulator $interpreter does not say its version"
  kestrana_emulation_evidence="${interpreter##*/} $kestrana_emulator_release"
}

# kestrana_limit SECONDS: a limit that ends a Wine program, for the build
# at hand: longer by kestrana_emulation_factor under the emulator.
kestrana_limit() {
  if [ -n "${kestrana_arch_emulated:-}" ]; then
    echo $(($1 * kestrana_emulation_factor))
  else
    echo "$1"
  fi
}

# kestrana_wine_within SECONDS PROGRAM ARGS...: kestrana_wine PROGRAM ARGS,
# given at most SECONDS (kestrana_limit: longer under the emulator). Its status; or, when the time runs out, every
# process of the prefix (the server included) is ended, the status is 124
# and kestrana_timed_out is set.
kestrana_wine_within() {
  local limit status=0 finished=""
  limit=$(kestrana_limit "$1")
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
