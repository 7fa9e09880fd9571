# Sourced: Debian's releases by number, and where the archive of a release
# is, taken from this machine's own apt configuration (the tree names no
# archive host).

# kestrana_debian_codename N: the codename of Debian N (13: trixie), from
# distro-info-data.
kestrana_debian_codename() {
  awk -F, -v n="$1" '$1 == n { print $3; exit }' /usr/share/distro-info/debian.csv
}

# kestrana_archive_entries CODENAME: one "URI SUITE COMPONENT" line per
# entry this machine's apt configuration has for its own release (the
# release, its -updates and -security suites), with the suites renamed to
# CODENAME's.
kestrana_archive_entries() {
  local own
  own=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$own" ] || return 1
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
    awk -v own="$own" -v to="$1" '$2 == own || index($2, own "-") == 1 { $2 = to substr($2, length(own) + 1); print }' |
    sort -u
}
