#!/usr/bin/env bash
# Runs clang-tidy (configuration: .clang-tidy) over the program's own
# sources, the Windows-only ones included, with the compile commands of a
# Windows build (build/win32 unless given). Exits non-zero on any finding.
#   scripts/lint.sh BUILD_DIR
kestrana_label=lint
. "$(dirname "$0")/machine.sh"
kestrana_strict
root=$kestrana_root
build=${1:-$root/build/win32}
cd "$root"
[ -f "$build/compile_commands.json" ] || { echo "lint: no $build/compile_commands.json; build that tree first" >&2; exit 2; }

# clang reads the cross compiler's command lines as they are, but finds
# neither its target nor its C++ headers by itself, and accepts only UTF-8
# as the execution character set (the texts' encoding does not matter to
# the analysis).
cxx=$(sed -n 's/.*"command": "\([^ ]*g++[^ ]*\) .*/\1/p' "$build/compile_commands.json" | head -n 1)
[ -n "$cxx" ] || { echo "lint: no C++ compiler in the compile commands" >&2; exit 2; }
triple=$(basename "$cxx" | sed 's/-g++.*//')
extra=(--extra-arg-before=--target="$triple" --extra-arg=-fexec-charset=UTF-8)
while read -r dir; do
  extra+=("--extra-arg=-isystem$dir")
done < <(echo | "$cxx" -E -x c++ - -v 2>&1 | sed -n '/#include <...> search starts here/,/End of search/p' | grep '/c++')

mapfile -t sources < <(git ls-files 'app/*.cpp' 'platform/*.cpp' 'policy/*.cpp' 'info/*.cpp' 'ui/*.cpp')
jobs=$(nproc)
status=0
log=$(mktemp)
printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 4 clang-tidy --quiet -p "$build" "${extra[@]}" \
    --header-filter="^$root/(app|platform|policy|info|ui)/" >"$log" 2>&1 || status=$?
findings=$(grep -cE '(warning|error): ' "$log" || true)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  grep -E -A3 '(warning|error): ' "$log" >&2 || cat "$log" >&2
  rm -f "$log"
  echo "lint: $findings finding(s) in ${#sources[@]} files" >&2
  exit 1
fi
rm -f "$log"
echo "lint: ${#sources[@]} files, 0 findings"
