#!/usr/bin/env bash
# apt_mirror.sh RELEASE [APT_DIR]: the Debian mirror this machine's apt takes RELEASE (or the
# machine's own Debian release) from, and its security archive, read from APT_DIR
# (/etc/apt unless given): sources.list and sources.list.d/*.list (one-line entries),
# sources.list.d/*.sources (deb822 paragraphs; "Enabled: no" ones left out). Prints two
# lines: the mirror's URI, then the security archive's (an empty line when there is none).
# Fails with a message naming the files read when no entry serves the release.
set -euo pipefail
release=${1:?usage: apt_mirror.sh RELEASE [APT_DIR]}
dir=${2:-/etc/apt}

# The machine's own release serves as well: one mirror carries every Debian release.
suites=" $release "
if [ -r /etc/os-release ]; then
  # shellcheck disable=SC1091
  own=$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_CODENAME:-}" || true)
  [ -n "$own" ] && [ "$own" != "$release" ] && suites+="$own "
fi

shopt -s nullglob
one_line=()
[ -f "$dir/sources.list" ] && one_line+=("$dir/sources.list")
one_line+=("$dir"/sources.list.d/*.list)
deb822=("$dir"/sources.list.d/*.sources)

# "URI SUITE" for every binary entry, in apt's order of the files.
entries() {
  local f
  for f in "${one_line[@]}"; do
    sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" && NF >= 3 { print $2, $3 }'
  done
  for f in "${deb822[@]}"; do
    awk '
      function flush(   i, j, nu, ns, u, s) {
        if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") {
          nu = split(uris, u, " "); ns = split(suites, s, " ")
          for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j]
        }
        types = uris = suites = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        field = tolower($1); sub(/:$/, "", field)
        value = $0; sub(/^[^:]*:[ \t]*/, "", value)
        if (field == "types") types = value
        else if (field == "uris") uris = value
        else if (field == "suites") suites = value
        else if (field == "enabled") enabled = value
      }
      END { flush() }' "$f"
  done
}

mirror=""
security=""
while read -r uri suite; do
  uri=${uri%/}
  if [ -z "$mirror" ] && [[ "$suites" == *" $suite "* ]]; then mirror=$uri; fi
  if [ -z "$security" ] && [[ "$suites" == *" ${suite%-security} "* ]] &&
     [ "$suite" != "${suite%-security}" ]; then
    security=$uri
  fi
done < <(entries)

if [ -z "$mirror" ]; then
  read_files="${one_line[*]} ${deb822[*]}"
  read_files=$(echo $read_files)  # spaces trimmed
  echo "apt_mirror.sh: no apt source of this machine serves Debian ${release}" \
    "(read: ${read_files:-no sources file in $dir}); add one, or name a mirror in VNK_DEBIAN_MIRROR" >&2
  exit 1
fi
printf '%s\n%s\n' "$mirror" "$security"
