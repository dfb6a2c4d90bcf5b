# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# Sourced by the scripts that fetch from Debian's registry beyond what this
# system's apt sources list (another release's root, another release's kernel):
# they take the mirror from those sources, never a name of their own.
#
#   debian_mirror SUITE    prints the URI that the system's sources give SUITE
#                          (e.g. bookworm, bookworm-security), or nothing
#   host_codename          prints this system's release (e.g. bookworm)
debian_mirror() {
  local suite=$1 files=()
  mapfile -t files < <(ls /etc/apt/sources.list.d/*.sources 2>/dev/null)
  if ((${#files[@]})); then
    awk -v suite="$suite" '
      function flush() { if (uri != "" && (" " suites " ") ~ (" " suite " ")) { print uri; found = 1; exit } uri = ""; suites = "" }
      /^[ \t]*$/ { flush(); next }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { $1 = ""; suites = $0 }
      END { if (!found) flush() }' "${files[@]}" | head -n 1
  fi
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v suite="$suite" '$1 == "deb" { sub(/\[[^]]*\] */, ""); if ($3 == suite) { print $2; exit } }'
  return 0
}

host_codename() {
  # shellcheck disable=SC1091 # the system's own
  (. /etc/os-release && echo "$VERSION_CODENAME")
}
