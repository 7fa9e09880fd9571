# Sourced by the Wine scripts: the environment every Wine command runs in.
# The zh_CN.UTF-8 locale makes Wine's ANSI code page 936; the overrides keep
# Wine from offering to install Mono and Gecko.
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32

# Makes a prefix ready for the program: created, and X11 windows unmanaged
# (without a window manager every close otherwise waits about two seconds).
kestrana_init_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}
