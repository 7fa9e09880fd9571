# Sourced by every script of the test bed: what they share about this
# machine and about failing. Each mechanism here is written once:
#   - how a script fails: one line, in English, naming the step and its status
#   - re-running a script under another program (setarch, xvfb-run)
#   - whether this machine runs 32-bit programs, asked of the kernel
#   - whether it can emulate them in a private namespace, tried as this user
#   - this machine's Debian release and the archive its apt configuration names
#   - running a command as root, through sudo where needed, with apt's settings
#   - the warning that a check of clean clones leaves uncommitted work out
#   - the stand-in a rehearsal binds over a file for the kernel to refuse
# A script sets kestrana_label (the word its messages start with) before
# sourcing this, or gets its file name without .sh.

# The scripts' own messages, and those of the tools they quote, are English
# whatever the user's locale. Wine gets the zh_CN locale where it runs
# (scripts/wine-env.sh), and nowhere else.
export LC_ALL=C.UTF-8
unset LANGUAGE
kestrana_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kestrana_label=${kestrana_label:-$(basename "$0" .sh)}
# The script that sourced this, by an absolute path: a re-execution must not
# depend on the folder it was started from, nor on the file's run bit.
kestrana_script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

# kestrana_fail STATUS MESSAGE...: the script's last line, then its end.
kestrana_fail() {
  local status=$1
  shift
  echo "$kestrana_label: $*" >&2
  exit "$status"
}

# kestrana_path_unfit PATH: true when the path holds a character that a
# Windows program under Wine cannot be given in a path (Z:\...) in code page
# 936 (GBK), the one the program and its tests use: a control character,
# one of " \ * : < > ? |, or one that GBK cannot write. What it holds is
# then in kestrana_path_reason. The tests hand the tree's folder to such
# programs, so every script refuses such a tree before it does anything.
kestrana_path_unfit() {
  local path=$1 i c
  kestrana_path_reason=""
  if [[ "$path" == *[[:cntrl:]\"\\*:\<\>?\|]* ]]; then
    for ((i = 0; i < ${#path}; i++)); do
      c=${path:i:1}
      if [[ "$c" == [[:cntrl:]] ]]; then
        kestrana_path_reason="a control character ($(printf '0x%02x' "'$c")), which a Windows path cannot hold"
        return 0
      elif [[ "$c" == [\"\\*:\<\>?\|] ]]; then
        kestrana_path_reason="'$c', which a Windows path cannot hold"
        return 0
      fi
    done
  fi
  iconv -f UTF-8 -t GBK <<<"$path" >/dev/null 2>&1 && return 1
  for ((i = 0; i < ${#path}; i++)); do
    c=${path:i:1}
    if ! iconv -f UTF-8 -t GBK <<<"$c" >/dev/null 2>&1; then
      kestrana_path_reason="'$c', which code page 936 (GBK), the one the program and its tests use, cannot write"
      return 0
    fi
  done
  kestrana_path_reason="a name that code page 936 (GBK) cannot write"
}
if kestrana_path_unfit "$kestrana_root"; then
  # On one line, a control character too.
  kestrana_shown=$kestrana_root
  [[ "$kestrana_shown" != *[[:cntrl:]]* ]] || kestrana_shown=${kestrana_shown@Q}
  echo "$kestrana_label: the tree's folder $kestrana_shown holds $kestrana_path_reason: the tests hand it to Windows programs under Wine; clone the tree into a folder without it" >&2
  exit 1
fi

# kestrana_step WHAT COMMAND...: runs the command; when it fails, the script
# ends with a line naming WHAT and the status.
kestrana_step() {
  local what=$1 status=0
  shift
  "$@" || status=$?
  [ "$status" -eq 0 ] || kestrana_fail "$status" "$what failed with status $status"
}

# kestrana_quiet_step WHAT COMMAND...: the same, with the command's output
# kept aside and shown only when it fails.
kestrana_quiet_step() {
  local what=$1 status=0 log
  shift
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 20 "$log" >&2
    rm -f "$log"
    kestrana_fail "$status" "$what failed with status $status"
  fi
  rm -f "$log"
}

# kestrana_strict: set -euo pipefail, and any command that ends the script
# without a step of its own still ends it with a line naming that command.
kestrana_strict() {
  set -Eeuo pipefail
  trap 'kestrana_unnamed_failure $? "$BASH_COMMAND"' ERR
}
kestrana_unnamed_failure() {
  # Only the shell that is about to end speaks: a command substitution that
  # failed is reported by the command that used it.
  [ "$BASH_SUBSHELL" -eq 0 ] || return 0
  echo "$kestrana_label: '$2' failed with status $1" >&2
}

# kestrana_reexec [--kill] MARK WHAT WRAPPER... -- ARGS...: runs this script
# again under WRAPPER (for example setarch with its options), as
# `WRAPPER bash SCRIPT ARGS`, unless this already is that run (the variable
# MARK is set). When the wrapper fails before the script started again under
# it, the last line says so; otherwise the script's own last line stands and
# its status is passed on. A signal that ends this run is passed on as
# SIGTERM to the wrapper and everything it started, or with --kill as
# SIGKILL to the wrapper alone (for one that ignores SIGTERM, whose own end
# ends what it started), and ends this run too.
kestrana_reexec() {
  local signal=TERM
  if [ "$1" = --kill ]; then
    signal=KILL
    shift
  fi
  local mark=$1 what=$2
  shift 2
  [ -z "${!mark:-}" ] || return 0
  local wrapper=()
  while [ "$1" != -- ]; do wrapper+=("$1"); shift; done
  shift
  local started status=0
  started=$(mktemp)
  export "$mark=$started"
  # In the background, so that a signal is handled while it runs; with
  # SIGTERM in a process group of its own, so that the signal reaches all
  # it started (xvfb-run's display server too).
  if [ "$signal" = TERM ]; then
    setsid "${wrapper[@]}" bash "$kestrana_script" "$@" &
  else
    "${wrapper[@]}" bash "$kestrana_script" "$@" &
  fi
  kestrana_wrapper=$! kestrana_wrapper_signal=$signal kestrana_wrapper_what=$what kestrana_wrapper_started=$started
  trap kestrana_reexec_ended TERM INT HUP
  wait "$kestrana_wrapper" || status=$?
  trap - TERM INT HUP
  if [ ! -s "$started" ]; then
    rm -f "$started"
    kestrana_fail "$((status == 0 ? 1 : status))" "$what failed with status $status before $kestrana_label started under it"
  fi
  rm -f "$started"
  exit "$status"
}

kestrana_reexec_ended() {
  if [ "$kestrana_wrapper_signal" = TERM ]; then
    kill -TERM -- "-$kestrana_wrapper" 2>/dev/null || true
  else
    kill "-$kestrana_wrapper_signal" "$kestrana_wrapper" 2>/dev/null || true
  fi
  wait "$kestrana_wrapper" 2>/dev/null || true
  rm -f "$kestrana_wrapper_started"
  kestrana_fail 143 "ended by a signal; $kestrana_wrapper_what ended with it"
}

# A run under a wrapper tells the first run that it started, as soon as it
# starts, whatever it does next. (Scripts it starts inherit the marks; for
# them the file may be gone.)
for kestrana_mark in KESTRANA_FIXED_LAYOUT KESTRANA_XVFB KESTRANA_NAMESPACE KESTRANA_EMULATION KESTRANA_EMULATION_USER; do
  if [ -n "${!kestrana_mark:-}" ] && [ -f "${!kestrana_mark}" ]; then
    echo started >>"${!kestrana_mark}" || true
  fi
done

# kestrana_fixed_layout "$@": runs the script again without address
# randomization, which every Wine process it starts then inherits. Debian
# 12's 64-bit Wine loader is not position independent and comes without
# Wine's preloader: it sits at 0x7d000000, and the kernel puts its heap at a
# random place in the gigabyte above it, which holds 0x7ffe0000, where every
# Wine process maps the user shared data. When the heap lands there, the
# process ends at once with status 1 and says nothing.
kestrana_fixed_layout() {
  kestrana_reexec KESTRANA_FIXED_LAYOUT "setarch --addr-no-randomize" \
    setarch "$(uname -m)" --addr-no-randomize -- "$@"
}

# kestrana_virtual_display "$@": runs the script again on a private virtual
# display of its own.
kestrana_virtual_display() {
  kestrana_reexec KESTRANA_XVFB "xvfb-run (a virtual display)" \
    xvfb-run -a -s "-screen 0 1024x768x24" -- "$@"
}

# Whether this machine runs 32-bit programs is the kernel's answer to the
# smallest 32-bit x86 program: it exits with status 32 and does nothing
# else. Some kernels run no 32-bit code at all; there bash reports that it
# cannot execute the file (Exec format error, status 126). Bash runs it
# itself: timeout, env and setarch would fall back to /bin/sh on a refused
# file and report something else. The answer does not depend on Wine, which
# such a machine has no 32-bit half of.
kestrana_probe=$kestrana_root/build/probe/exit32
kestrana_probe_bytes=(
  # ELF header: 32-bit, little-endian, an executable for i386, entry at
  # 0x08048054, one program header at offset 52.
  7f 45 4c 46 01 01 01 00 00 00 00 00 00 00 00 00
  02 00 03 00 01 00 00 00 54 80 04 08 34 00 00 00
  00 00 00 00 00 00 00 00 34 00 20 00 01 00 00 00
  00 00 00 00
  # Program header: the whole file (92 bytes) loaded read-execute at 0x08048000.
  01 00 00 00 00 00 00 00 00 80 04 08 00 80 04 08
  5c 00 00 00 5c 00 00 00 05 00 00 00 00 10 00 00
  # xor eax,eax; inc eax (exit); push 32; pop ebx; int 0x80
  31 c0 40 6a 20 5b cd 80
)

# kestrana_make_probe [FILE]: writes the probe (by default into this tree's
# build folder) unless it is there. An existing file is never written to:
# it may be a stand-in bound over the probe.
kestrana_make_probe() {
  local file=${1:-$kestrana_probe}
  [ -e "$file" ] && return 0
  mkdir -p "$(dirname "$file")"
  printf "$(printf '\\x%s' "${kestrana_probe_bytes[@]}")" >"$file.new"
  chmod 755 "$file.new"
  mv "$file.new" "$file"
}

# kestrana_try PROGRAM ARGS...: runs the program, by bash itself (see
# above), for what it says: its status in kestrana_try_status, its output
# in kestrana_try_output, on one line, without the shell's "FILE: line N:"
# in front, and naming the signal that killed it, if one did.
kestrana_try() {
  kestrana_try_status=0
  kestrana_try_output=$("$@" 2>&1) || kestrana_try_status=$?
  kestrana_try_output=$(tr '\n' ' ' <<<"$kestrana_try_output" | sed -e 's/^.*: line [0-9]*: //' -e 's/ *$//')
  if [ "$kestrana_try_status" -gt 128 ]; then
    kestrana_try_output="killed by SIG$(kill -l "$kestrana_try_status")${kestrana_try_output:+; $kestrana_try_output}"
  fi
}

# kestrana_refused: whether the kernel refused the program kestrana_try
# last ran.
kestrana_refused() {
  [ "$kestrana_try_status" -eq 126 ] && [[ "$kestrana_try_output" == *"Exec format error"* ]]
}

# kestrana_runs_32bit: true where the kernel runs the probe; false where it
# refuses it, with the reason in kestrana_no_32bit. Any other outcome (a
# probe that cannot be written, or that ran and said something else) ends
# the script: the machine's answer is unknown. The answer is asked once and
# handed to every script started from here (KESTRANA_KERNEL_32BIT): inside
# the emulator's namespace the probe would run under the emulator, so
# nothing there may ask again.
kestrana_runs_32bit() {
  kestrana_no_32bit=""
  case ${KESTRANA_KERNEL_32BIT:-} in
    runs) return 0 ;;
    refuses:*) kestrana_no_32bit=${KESTRANA_KERNEL_32BIT#refuses:}
               return 1 ;;
  esac
  kestrana_make_probe || kestrana_fail 1 "could not write the 32-bit probe $kestrana_probe"
  kestrana_try "$kestrana_probe"
  if [ "$kestrana_try_status" -eq 32 ]; then
    export KESTRANA_KERNEL_32BIT=runs
    return 0
  elif kestrana_refused; then
    kestrana_no_32bit="the kernel refuses the 32-bit probe: $kestrana_try_output"
    export KESTRANA_KERNEL_32BIT="refuses:$kestrana_no_32bit"
    return 1
  fi
  kestrana_fail 1 "cannot tell whether this machine runs 32-bit programs: the probe $kestrana_probe gave status $kestrana_try_status${kestrana_try_output:+ ($kestrana_try_output)}; expected 32, or 126 with Exec format error"
}

# Where the kernel refuses 32-bit programs, the 32-bit Wine runs under
# Debian's user-mode emulator, registered for i386 files only inside a
# private namespace of the test bed's own (scripts/wine-env.sh), never for
# the whole machine. Older emulators than version 10 do not run Wine (Debian
# 12's own, 7.2, hangs in wineboot); Debian 12 takes it from its backports.
kestrana_emulator=/usr/bin/qemu-i386
kestrana_emulator_least=10

# kestrana_can_emulate: whether such a namespace can be made here, tried as
# the user who runs this: a user namespace of its own, with an empty
# binfmt_misc instance mounted in it (Linux 6.7 and later, with user
# namespaces allowed). Nothing of the machine's own binfmt_misc is mounted
# or changed. When not, the reason is in kestrana_no_emulation. This is the
# one place that decides it; whatever fails after this point is a fault.
kestrana_can_emulate() {
  kestrana_no_emulation=""
  kestrana_try unshare --user --map-root-user --mount -- \
    sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && ls -A /proc/sys/fs/binfmt_misc'
  if [ "$kestrana_try_status" -ne 0 ]; then
    kestrana_no_emulation="no user namespace with a binfmt_misc of its own can be made (status $kestrana_try_status${kestrana_try_output:+: $kestrana_try_output})"
    return 1
  elif [ "$kestrana_try_output" != "register status" ]; then
    kestrana_no_emulation="the binfmt_misc mounted in a user namespace is not a private, empty one (it lists: $kestrana_try_output)"
    return 1
  fi
}

# kestrana_emulator_fit [EMULATOR]: whether the emulator is there and of a
# version that runs Wine (its version then in kestrana_emulator_release);
# when not, why, in kestrana_emulator_unfit. The set-up, the tests and the
# namespace all check it so.
kestrana_emulator_fit() {
  local emulator=${1:-$kestrana_emulator}
  kestrana_emulator_unfit=""
  if [ ! -e "$emulator" ]; then
    kestrana_emulator_unfit="the emulator $emulator is missing; scripts/setup.sh installs it"
  elif ! kestrana_emulator_version "$emulator"; then
    kestrana_emulator_unfit="the emulator $emulator does not say its version (status $kestrana_try_status${kestrana_try_output:+: $kestrana_try_output})"
  elif [ "${kestrana_emulator_release%%.*}" -lt "$kestrana_emulator_least" ]; then
    kestrana_emulator_unfit="the emulator $emulator is version $kestrana_emulator_release; the 32-bit Wine needs $kestrana_emulator_least or later; scripts/setup.sh installs it"
  fi
  [ -z "$kestrana_emulator_unfit" ]
}

# kestrana_emulator_version [EMULATOR]: the emulator's version (10.0.2),
# from what it says of itself, in kestrana_emulator_release; status 1 when
# it says none (what it said is then in kestrana_try_status and
# kestrana_try_output).
kestrana_emulator_version() {
  kestrana_emulator_release=""
  kestrana_try "${1:-$kestrana_emulator}" --version
  [ "$kestrana_try_status" -eq 0 ] || return 1
  kestrana_emulator_release=$(sed -n -E 's/^qemu-[a-z0-9_]+ version ([0-9][0-9.]*).*/\1/p' <<<"$kestrana_try_output")
  [ -n "$kestrana_emulator_release" ]
}

# This machine's Debian release: its number (12) and codename (bookworm).
kestrana_debian_number() { (. /etc/os-release && echo "${VERSION_ID:-}"); }
kestrana_debian_own_codename() { (. /etc/os-release && echo "${VERSION_CODENAME:-}"); }

# kestrana_debian_codename N: the codename of Debian N (13: trixie), from
# distro-info-data.
kestrana_debian_codename() {
  awk -F, -v n="$1" '$1 == n { print $3; exit }' /usr/share/distro-info/debian.csv
}

# kestrana_archive_entries [--sources] [CODENAME]: one "URI SUITE COMPONENT"
# line per entry this machine's apt configuration has for its own release
# (the release, its -updates and -security suites): its deb entries, or
# with --sources its deb-src ones. The suites are renamed to CODENAME's when
# one is given. Read from the configuration alone, so it works before the
# first apt-get update.
kestrana_archive_entries() {
  local own kind=Packages
  if [ "${1:-}" = --sources ]; then
    kind=Sources
    shift
  fi
  own=$(kestrana_debian_own_codename)
  [ -n "$own" ] || return 1
  apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' "Created-By: $kind" |
    awk -v own="$own" -v to="${1:-$own}" \
      '$2 == own || $2 == own "-updates" || $2 == own "-security" { $2 = to substr($2, length(own) + 1); print }' |
    sort -u
}

# kestrana_as_root COMMAND...: the command as root, through sudo when this
# is not root. The environment the command needs goes on its command line
# (env VAR=VALUE ...): sudo's env_reset would drop it otherwise.
kestrana_as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

# kestrana_apt_get ARGS...: apt-get as root, never asking a question.
kestrana_apt_get() {
  kestrana_as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@"
}

# kestrana_warn_uncommitted WHAT: says, when the tree has uncommitted
# changes, that WHAT (a check of clean clones) does not see them.
kestrana_warn_uncommitted() {
  if [ -n "$(git -C "$kestrana_root" status --porcelain --untracked-files=no)" ]; then
    echo "$kestrana_label: uncommitted changes are not part of $1; it uses $(git -C "$kestrana_root" rev-parse HEAD)" >&2
  fi
}

# Rehearsing a machine whose kernel runs no 32-bit code, on one that runs
# it: the kernel itself must refuse the files the scripts try, so a
# stand-in that every x86-64 kernel refuses is bound over each, in a private
# mount namespace. The stand-in is a 64-bit program whose ELF header says
# i386 (the machine field, two bytes at offset 18).

# kestrana_make_refused FILE: writes such a stand-in.
kestrana_make_refused() {
  cp "$(type -P true)" "$1"
  printf '\x03\x00' | dd of="$1" bs=1 seek=18 conv=notrunc status=none
  chmod 755 "$1"
}

# kestrana_bind_refused STAND-IN TARGET: binds the stand-in over TARGET and
# checks that it took: TARGET now has the stand-in's bytes, and bash, asked
# to run it, reports the kernel's refusal.
kestrana_bind_refused() {
  local standin=$1 target=$2
  kestrana_step "mount --bind $standin $target" mount --bind "$standin" "$target"
  cmp -s "$standin" "$target" || kestrana_fail 1 "the stand-in bound over $target did not take: the file is not the stand-in"
  kestrana_try "$target"
  kestrana_refused ||
    kestrana_fail 1 "the stand-in bound over $target did not take: running it gave status $kestrana_try_status ($kestrana_try_output), not the kernel's refusal"
}
