#!/usr/bin/env bash
# Checks the program file as Windows sees it before any of its code runs:
# the PE header (a GUI program of its architecture that the oldest Windows
# of that architecture can still load, with ASLR and DEP), the import table
# (exactly the DLLs Windows keeps in its system folder, no function XP
# lacks), the resources (manifest naming the file's own architecture, icon
# group, version block) and the size (stripped, at most 256 KB).
#   check_pe.sh header|imports|resources|size|all win32|win64 EXE OBJDUMP WINDRES
# Every problem is printed on its own line with what was expected and what
# was found; the exit status is 1 when there was any.
set -uo pipefail
# objdump and windres translate their output in other locales.
export LC_ALL=C

if [ $# -ne 5 ]; then
  echo "usage: $0 header|imports|resources|size|all win32|win64 EXE OBJDUMP WINDRES" >&2
  exit 2
fi
part=$1 arch=$2 exe=$3 objdump=$4 windres=$5

# What each architecture's file must say of itself. A 64-bit image cannot
# declare a subsystem below 5.02 (Windows XP x64 and Server 2003 x64), and
# takes high-entropy addresses (0x20) besides ASLR.
case "$arch" in
  win32) want_format=pei-i386 want_magic=010b want_machine=i386 want_subsystem=5.1 want_manifest_arch=x86
         want_dllchars="40:DYNAMIC_BASE 100:NX_COMPAT" ;;
  win64) want_format=pei-x86-64 want_magic=020b want_machine=i386:x86-64 want_subsystem=5.2 want_manifest_arch=amd64
         want_dllchars="20:HIGH_ENTROPY_VA 40:DYNAMIC_BASE 100:NX_COMPAT" ;;
  *) echo "unknown architecture '$arch': expected win32 or win64" >&2; exit 2 ;;
esac

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

if [ ! -f "$exe" ]; then
  echo "FAIL: $exe does not exist" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$objdump" -p "$exe" >"$work/p.txt" 2>"$work/p.err"; then
  echo "FAIL: $objdump -p $exe failed: $(cat "$work/p.err")" >&2
  exit 1
fi

# The value of one "Name<tabs>value" line of objdump -p, or empty.
header_field() {
  awk -v name="$1" '$1 == name { print $2; exit }' "$work/p.txt"
}

# Bits given in hex, tested against a mask.
has_bits() { (( (16#$1 & $2) == $2 )); }

check_header() {
  local format magic machine subsystem major minor dllchars characteristics
  format=$(sed -n 's/.*file format \(.*\)$/\1/p' "$work/p.txt" | head -n1)
  [ "$format" = "$want_format" ] && pass "file format $want_format" ||
    fail "file format: expected $want_format, got '${format}'"

  magic=$(header_field Magic)
  [ "$magic" = "$want_magic" ] && pass "optional header magic $want_magic (010b PE32, 020b PE32+)" ||
    fail "optional header magic: expected $want_magic (010b PE32, 020b PE32+), got '${magic}'"

  machine=$("$objdump" -f "$exe" | sed -n 's/^architecture: \([^,]*\),.*/\1/p')
  [ "$machine" = "$want_machine" ] && pass "machine $want_machine" ||
    fail "architecture: expected $want_machine, got '${machine}'"

  subsystem=$(header_field Subsystem)
  [ -n "$subsystem" ] && [ $((16#$subsystem)) -eq 2 ] && pass "subsystem 2 (Windows GUI)" ||
    fail "Subsystem: expected 2 (Windows GUI), got '${subsystem}'"

  major=$(header_field MajorSubsystemVersion)
  minor=$(header_field MinorSubsystemVersion)
  if [ -z "$major" ] || [ -z "$minor" ]; then
    fail "subsystem version: not found in the header"
  elif [ "$arch" = win32 ] && { [ "$major" -lt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -le 1 ]; }; }; then
    pass "subsystem version $major.$minor (Windows XP loads up to 5.1)"
  elif [ "$arch" = win64 ] && [ "$major.$minor" = 5.2 ]; then
    pass "subsystem version 5.2 (the lowest a 64-bit image may declare)"
  else
    fail "subsystem version: expected $want_subsystem (at most, for 32-bit), so that the oldest Windows of the architecture loads the program, got $major.$minor"
  fi

  dllchars=$(header_field DllCharacteristics)
  if [ -z "$dllchars" ]; then
    fail "DllCharacteristics: not found in the header"
  else
    local bit
    for bit in $want_dllchars; do
      has_bits "$dllchars" "0x${bit%%:*}" && pass "DllCharacteristics $dllchars has ${bit#*:} (0x${bit%%:*})" ||
        fail "DllCharacteristics: expected ${bit#*:} (0x${bit%%:*}) set, got 0x$dllchars"
    done
  fi

  characteristics=$(header_field Characteristics)
  characteristics=${characteristics#0x}
  if [ -n "$characteristics" ] && (( (16#$characteristics & 0x1) == 0 )); then
    pass "relocations not stripped (Characteristics 0x$characteristics)"
  else
    fail "Characteristics: expected RELOCS_STRIPPED (0x1) clear so that ASLR can move the image, got 0x${characteristics}"
  fi

  if "$objdump" -h "$exe" | awk '$2 == ".reloc" { found = 1 } END { exit !found }'; then
    pass "a .reloc section exists"
  else
    fail "sections: expected a .reloc section (base relocations for ASLR), found none"
  fi
  local relocSize
  relocSize=$(awk '/Base Relocation Directory/ { print $4; exit }' "$work/p.txt")
  [ -n "$relocSize" ] && [ $((16#$relocSize)) -gt 0 ] && pass "base relocation directory of 0x$relocSize bytes" ||
    fail "base relocation directory: expected a non-empty one, got size '${relocSize}'"
}

# The only DLLs the program may import: Windows loads them from its system
# folder whatever lies beside the program. ole32, shell32 and comctl32 are
# loaded at run time, after the program has narrowed the library search; an
# import of one would be resolved from the program's own folder first.
readonly system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll"

# Functions Windows XP SP3 does not export (the first systems to have them
# are Vista or later). A trailing * matches any suffix.
readonly xp_lacks=(
  GetTickCount64 InitializeConditionVariable 'SleepConditionVariable*' WakeConditionVariable
  WakeAllConditionVariable InitializeSRWLock 'AcquireSRWLock*' 'ReleaseSRWLock*' 'TryAcquireSRWLock*'
  'InitOnce*' SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory
  FlsAlloc FlsGetValue FlsSetValue FlsFree InitializeCriticalSectionEx
  CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW CreateSemaphoreExA CreateSemaphoreExW
  GetFileInformationByHandleEx SetFileInformationByHandle CompareStringEx LCIDToLocaleName LocaleNameToLCID
  GetLocaleInfoEx GetUserDefaultLocaleName CreateSymbolicLinkA CreateSymbolicLinkW
  GetFinalPathNameByHandleA GetFinalPathNameByHandleW QueryFullProcessImageNameA QueryFullProcessImageNameW
  CancelIoEx GetErrorMode SetThreadErrorMode GetCurrentProcessorNumber FlushProcessWriteBuffers
  GetSystemTimePreciseAsFileTime InterlockedCompareExchange64 'GetThreadPreferredUILanguages'
  RegGetValueA RegGetValueW RegDeleteTreeA RegDeleteTreeW RegSetKeyValueA RegSetKeyValueW
  RegLoadMUIStringA RegLoadMUIStringW RegCopyTreeA RegCopyTreeW RegDeleteKeyExA RegDeleteKeyExW
  _fseeki64 _ftelli64
  SetProcessDPIAware IsProcessDPIAware ChangeWindowMessageFilter ShutdownBlockReasonCreate
  'TaskDialog*' SHGetKnownFolderPath 'SHCreateItemFromParsingName'
)

check_imports() {
  # "DLL<tab>function" per imported function. After the address, binutils
  # 2.40 puts a tab, 2.44 spaces.
  awk '
    /^[A-Za-z]/ { dll = "" }
    /^\tDLL Name: / { dll = $3; print dll "\t"; next }
    dll != "" && /^\t[0-9a-f]+[ \t]/ { print dll "\t" $NF }
  ' "$work/p.txt" >"$work/imports.txt"

  local functions
  functions=$(awk -F'\t' '$2 != ""' "$work/imports.txt" | wc -l)
  if ! grep -qi '^kernel32\.dll' "$work/imports.txt" || [ "$functions" -lt 10 ]; then
    fail "import table: expected KERNEL32.dll and at least 10 functions, read $functions; the objdump output was not understood"
    return
  fi
  pass "read $functions imported functions"

  local dll lower imported
  imported=$(cut -f1 "$work/imports.txt" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  imported=${imported% }
  local want
  want=$(tr ' ' '\n' <<<"$system_dlls" | sort | tr '\n' ' ')
  want=${want% }
  [ "$imported" = "$want" ] && pass "imports exactly $want" ||
    fail "imported DLLs: expected exactly [$want] (the system folder's own), got [$imported]"

  local name function pattern found=0
  while IFS=$'\t' read -r dll function; do
    [ -z "$function" ] && continue
    if [ "$function" = "<none>" ]; then
      fail "imported function: $dll imports by ordinal, which cannot be checked against Windows XP"
      found=1
      continue
    fi
    for pattern in "${xp_lacks[@]}"; do
      # shellcheck disable=SC2053
      if [[ $function == $pattern ]]; then
        fail "imported function: $dll!$function is missing on Windows XP (matches $pattern); expected none of those"
        found=1
      fi
    done
    # XP's msvcrt has none of the bounds-checked *_s functions.
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    if [ "$lower" = "msvcrt.dll" ] && [[ $function == *_s ]]; then
      fail "imported function: msvcrt.dll!$function is a secure CRT function Windows XP's msvcrt lacks"
      found=1
    fi
  done <"$work/imports.txt"
  [ "$found" -eq 0 ] && pass "no imported function that Windows XP lacks"

  local delaySize
  delaySize=$(awk '/Delay Import Directory/ { print $4; exit }' "$work/p.txt")
  [ -z "$delaySize" ] || [ $((16#$delaySize)) -eq 0 ] && pass "no delay-loaded imports" ||
    fail "delay import directory: expected none (it escapes these checks), got 0x$delaySize bytes"
}

# One resource block of the windres output: the lines between BEGIN and END
# after the header line that matches the pattern.
rc_block() {
  awk -v header="$1" '
    !inside && $0 ~ header { seen = 1; next }
    seen && !inside && /^BEGIN/ { inside = 1; next }
    inside && /^END/ { exit }
    inside { print }
  ' "$work/rc.txt"
}

# Language of the resource whose header line matches the pattern; windres
# writes a LANGUAGE line whenever the language changes.
rc_language() {
  awk -v header="$1" '
    /^LANGUAGE / { lang = $2 " " $3 }
    $0 ~ header { print lang; exit }
  ' "$work/rc.txt"
}

# The UTF-16 code units (hex, space separated) of a string literal as windres
# writes it: L"..." or "...", "" for a quote, \\, \n, \r, \t, \ooo, \xhhhh.
rc_string_units() {
  printf '%s' "$1" | LC_ALL=C awk '
    function hexval(s,   i, v, c) {
      v = 0
      for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", tolower(substr(s, i, 1))) - 1; v = v * 16 + c }
      return v
    }
    BEGIN { for (i = 0; i < 256; i++) ord[sprintf("%c", i)] = i }
    {
      s = $0
      sub(/^[ \t]*L?"/, "", s); sub(/"[ \t]*$/, "", s)
      out = ""
      for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\"" && substr(s, i + 1, 1) == "\"") { u = 34; i++ }
        else if (c == "\\") {
          n = substr(s, i + 1, 1)
          if (n == "x") { u = hexval(substr(s, i + 2, 4)); i += 5 }
          else if (n ~ /[0-7]/) { u = (substr(s, i + 1, 1) * 64) + (substr(s, i + 2, 1) * 8) + substr(s, i + 3, 1); i += 3 }
          else if (n == "n") { u = 10; i++ }
          else if (n == "r") { u = 13; i++ }
          else if (n == "t") { u = 9; i++ }
          else { u = ord[n]; i++ }
        } else u = ord[c]
        out = out (out == "" ? "" : " ") sprintf("%04x", u)
      }
      print out
    }'
}

# The UTF-16 code units of a UTF-8 text.
utf16_units() {
  printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx2 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}

# The text of a VALUE line of the version block.
version_value() {
  grep -E "^[[:space:]]*VALUE \"$1\"," "$work/version.txt" | head -n1 | sed -E "s/^[[:space:]]*VALUE \"$1\",[[:space:]]*//"
}

check_resources() {
  if ! "$windres" -i "$exe" -O rc -o "$work/rc.txt" 2>"$work/rc.err"; then
    fail "resources: $windres could not decompile $exe: $(cat "$work/rc.err")"
    return
  fi

  # Manifest: type 24, id 1, language neutral.
  if ! grep -qE '^1 24 ' "$work/rc.txt"; then
    fail "manifest: expected a resource of type 24 with id 1, found none"
  else
    local lang
    lang=$(rc_language '^1 24 ')
    [ "$lang" = "0, 0" ] && pass "manifest is type 24, id 1, language neutral" ||
      fail "manifest language: expected neutral (LANGUAGE 0, 0), got LANGUAGE ${lang:-?}"
    rc_block '^1 24 ' | LC_ALL=C awk '
      {
        s = $0
        sub(/^[ \t]*"/, "", s); sub(/"[ \t]*$/, "", s)
        gsub(/""/, "\"", s)
        gsub(/\\n/, "\n", s); gsub(/\\r/, "", s); gsub(/\\t/, "\t", s)
        printf "%s", s
      }' >"$work/manifest.xml"
    check_manifest "$work/manifest.xml"
  fi

  # Icon group DEFAULT_ICON: one image, 48 x 48, 32 bits per pixel.
  if ! grep -qE '^"DEFAULT_ICON" 14 ' "$work/rc.txt"; then
    fail "icon: expected an icon group named DEFAULT_ICON, found groups: $(grep -E ' 14 /\* RT_GROUP_ICON' "$work/rc.txt" | cut -d' ' -f1 | tr '\n' ' ')"
  else
    local lang elements entry
    lang=$(rc_language '^"DEFAULT_ICON" 14 ')
    [ "$lang" = "0, 0" ] && pass "icon group DEFAULT_ICON, language neutral" ||
      fail "icon group language: expected neutral (LANGUAGE 0, 0), got LANGUAGE ${lang:-?}"
    rc_block '^"DEFAULT_ICON" 14 ' >"$work/icon.txt"
    elements=$(grep -c 'Element no' "$work/icon.txt")
    [ "$elements" -eq 1 ] && pass "DEFAULT_ICON holds one image" ||
      fail "icon group DEFAULT_ICON: expected 1 image, got $elements"
    entry=$(grep 'Element no' "$work/icon.txt" | head -n1)
    if [[ $entry == *'"\060\060\000\000", 1, 32,'* ]]; then
      pass "DEFAULT_ICON image is 48 x 48 with 32 bits per pixel"
    else
      fail "icon group DEFAULT_ICON: expected one 48 x 48, 32-bit image (\"\\060\\060\\000\\000\", 1, 32), got: ${entry}"
    fi
  fi

  check_version
}

check_manifest() {
  local xml flat
  xml=$1
  flat=$(tr '\n\t' '  ' <"$xml")
  if [ -z "$flat" ]; then
    fail "manifest: empty"
    return
  fi

  [[ $flat == '<?xml '*'encoding="UTF-8"'*'standalone="yes"'*'?>'* ]] &&
    pass "manifest is a standalone UTF-8 XML document" ||
    fail "manifest declaration: expected <?xml ... encoding=\"UTF-8\" standalone=\"yes\"?>, got: ${flat:0:80}"

  local root
  root=$(grep -o '<assembly [^>]*>' <<<"$flat" | head -n1)
  [[ $root == *'xmlns="urn:schemas-microsoft-com:asm.v1"'* ]] && pass "manifest namespace urn:schemas-microsoft-com:asm.v1" ||
    fail "manifest root: expected xmlns=\"urn:schemas-microsoft-com:asm.v1\", got: ${root:-no <assembly> element}"
  [[ $root == *'manifestVersion="1.0"'* ]] && pass "manifestVersion 1.0" ||
    fail "manifest root: expected manifestVersion=\"1.0\", got: ${root:-no <assembly> element}"

  # Only these elements: the program's identity and one dependency.
  local element unexpected=""
  while read -r element; do
    case "$element" in
      assembly | assemblyIdentity | dependency | dependentAssembly) ;;
      *) unexpected="$unexpected $element" ;;
    esac
  done < <(grep -o '<[A-Za-z][A-Za-z0-9:._-]*' <<<"$flat" | cut -c2- | sort -u)
  [ -z "$unexpected" ] && pass "manifest holds only assembly, assemblyIdentity, dependency, dependentAssembly" ||
    fail "manifest: expected only assembly, assemblyIdentity, dependency and dependentAssembly elements, got also:$unexpected"

  local word
  for word in trustInfo requestedExecutionLevel requestedPrivileges compatibility supportedOS dpiAware dpiAwareness; do
    if grep -qi "$word" <<<"$flat"; then
      fail "manifest: expected no $word (no elevation request, no supported-OS list, no DPI awareness), but it is there"
    fi
  done

  # The program's identity comes before the dependency.
  local own
  own=$(sed 's/<dependency.*//' <<<"$flat" | grep -o '<assemblyIdentity [^>]*>' | head -n1)
  if [ -z "$own" ]; then
    fail "manifest: expected the program's assemblyIdentity, found none"
  else
    local attr
    for attr in 'type="win32"' "processorArchitecture=\"$want_manifest_arch\"" 'version="5.2.0.0"' 'name="'; do
      [[ $own == *"$attr"* ]] && pass "program identity has ${attr%\"}${attr: -1}" ||
        fail "program assemblyIdentity: expected $attr, got: $own"
    done
  fi

  local dependencies
  dependencies=$(grep -o '<dependency>' <<<"$flat" | wc -l)
  [ "$dependencies" -eq 1 ] && pass "one dependency" || fail "manifest: expected exactly 1 dependency, got $dependencies"
  local dep
  dep=$(grep -o '<dependentAssembly> *<assemblyIdentity [^>]*>' <<<"$flat" | head -n1)
  if [ -z "$dep" ]; then
    fail "manifest: expected a dependentAssembly with an assemblyIdentity, found none"
  else
    local attr
    for attr in 'type="win32"' 'name="Microsoft.Windows.Common-Controls"' 'version="6.0.0.0"' \
      "processorArchitecture=\"$want_manifest_arch\"" 'publicKeyToken="6595b64144ccf1df"' 'language="*"'; do
      [[ $dep == *"$attr"* ]] && pass "Common-Controls dependency has $attr" ||
        fail "Common-Controls dependency: expected $attr, got: $dep"
    done
  fi
}

check_version() {
  if ! grep -qE '^1 VERSIONINFO' "$work/rc.txt"; then
    fail "version block: expected a VERSIONINFO resource with id 1, found: $(grep -E ' VERSIONINFO' "$work/rc.txt" | tr '\n' ' ')"
    return
  fi
  awk '/^1 VERSIONINFO/ { inside = 1 } inside { print } inside && /^END/ { exit }' "$work/rc.txt" >"$work/version.txt"

  # The fixed part, read from the bytes: windres leaves out zero fields.
  local offset size
  read -r size offset < <("$objdump" -h "$exe" | awk '$2 == ".rsrc" { print $3, $6 }')
  if [ -z "${offset:-}" ]; then
    fail "version block: no .rsrc section to read the fixed part from"
  else
    local bytes at
    bytes=$(od -An -v -tx1 -j $((16#$offset)) -N $((16#$size)) "$exe" | tr -d ' \n')
    at=$(grep -bo 'bd04effe' <<<"$bytes" | head -n1 | cut -d: -f1)
    if [ -z "$at" ] || [ $((at % 2)) -ne 0 ]; then
      fail "version block: the fixed part (signature 0xFEEF04BD) was not found in .rsrc"
    else
      dword() {  # little-endian dword number $1 counted from the signature
        local h=${bytes:$((at + 8 * $1)):8}
        printf '%d' $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2}))
      }
      local fields=(
        "2:file version, high word pair:$((0x00010001))"
        "3:file version, low word pair:0"
        "4:product version, high word pair:$((0x00010001))"
        "5:product version, low word pair:0"
        "7:FILEFLAGS:0"
        "8:FILEOS:4"
        "9:FILETYPE:1"
      )
      local field index label want got
      for field in "${fields[@]}"; do
        IFS=: read -r index label want <<<"$field"
        got=$(dword "$index")
        [ "$got" -eq "$want" ] && pass "fixed $label = $(printf '0x%08x' "$want")" ||
          fail "version block $label: expected $(printf '0x%08x' "$want") got $(printf '0x%08x' "$got")"
      done
    fi
  fi
  local line
  for line in 'FILEVERSION 1, 1, 0, 0' 'PRODUCTVERSION 1, 1, 0, 0' 'FILEOS 0x4' 'FILETYPE 0x1'; do
    grep -qE "^[[:space:]]*$line\$" "$work/version.txt" && pass "$line" ||
      fail "version block: expected '$line', got '$(grep -E "^[[:space:]]*${line%% *} " "$work/version.txt" | sed 's/^ *//')'"
  done
  if grep -qE '^[[:space:]]*FILEFLAGS ' "$work/version.txt"; then
    fail "version block: expected FILEFLAGS 0, got '$(grep -E '^[[:space:]]*FILEFLAGS ' "$work/version.txt" | sed 's/^ *//')'"
  fi

  # One string table, Chinese (PRC) in UTF-16.
  local tables
  tables=$(awk '/BLOCK "StringFileInfo"/ { s = 1; next } /BLOCK "VarFileInfo"/ { exit } s && /BLOCK "/ { print }' \
    "$work/version.txt" | sed -E 's/.*BLOCK "([^"]*)".*/\1/')
  [ "$(tr 'a-f' 'A-F' <<<"$tables")" = "080404B0" ] && pass "one string table 080404B0" ||
    fail "version block string tables: expected exactly \"080404B0\", got: $(tr '\n' ' ' <<<"$tables")"

  local translation lang codepage
  translation=$(version_value Translation)
  IFS=', ' read -r lang codepage <<<"$translation"
  if [ -n "${lang:-}" ] && [ -n "${codepage:-}" ] && [ $((lang)) -eq $((0x804)) ] && [ $((codepage)) -eq $((0x4b0)) ]; then
    pass "Translation 0x804, 0x4b0"
  else
    fail "version block Translation: expected 0x804, 0x4b0 (Chinese PRC, UTF-16), got '${translation}'"
  fi

  local key text want got
  while IFS='|' read -r key text; do
    got=$(version_value "$key")
    if [ -z "$got" ]; then
      fail "version string $key: expected \"$text\", missing"
      continue
    fi
    want=$(utf16_units "$text")
    got=$(rc_string_units "$got")
    [ "$got" = "$want" ] && pass "version string $key = \"$text\"" ||
      fail "version string $key: expected UTF-16 [$want] (\"$text\"), got [$got]"
  done <<'EOF'
ProductName|Kestrana
FileVersion|1.1.0.0
ProductVersion|1.1.0.0
FileDescription|可以用于启用、禁用所有USB接口的设备
EOF
}

# The program is a small tool: its file, stripped, stays within 256 KB.
readonly max_size=262144

check_size() {
  local symbols size
  symbols=$("$objdump" -t "$exe" | grep -c '^\[')
  [ "$symbols" -eq 0 ] && pass "stripped: no symbol table" ||
    fail "symbol table: expected a stripped file, got $symbols symbols"
  size=$(stat -c %s "$exe")
  [ "$size" -le "$max_size" ] && pass "file size $size bytes (at most $max_size)" ||
    fail "file size: expected at most $max_size bytes, got $size"
  # Nothing in the program throws, so the link map (written beside the
  # program) names none of the exception runtime: one guarded local static
  # or one operator new would pull in all of it, demangler included.
  local map="${exe%.exe}.map" runtime
  if [ ! -f "$map" ]; then
    fail "link map: expected $map beside the program"
  else
    runtime=$(grep -oE '\((eh_[a-z_]+|guard|cp-demangle|new_op[a-z]*|unwind-[a-z0-9-]+)\.o\)' "$map" | sort -u | tr -d '()' | tr '\n' ' ')
    [ -z "$runtime" ] && pass "no exception runtime linked" ||
      fail "exception runtime linked: expected none, got $runtime"
  fi
}

case "$part" in
  header) check_header ;;
  imports) check_imports ;;
  resources) check_resources ;;
  size) check_size ;;
  all) check_header; check_imports; check_resources; check_size ;;
  *) echo "unknown part '$part': expected header, imports, resources, size or all" >&2; exit 2 ;;
esac

if [ "$failures" -gt 0 ]; then
  echo "$failures problem(s) found in $exe ($part)" >&2
  exit 1
fi
echo "$exe: $part as expected"
