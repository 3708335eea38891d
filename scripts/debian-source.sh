# SPDX-License-Identifier: Zlib
# Fetches Debian's source packages at the very versions installed, for the
# scripts that build a dependency themselves (a Windows cross build, an
# instrumented fuzz build). Sourced, not run. Reports go to stderr so that a
# script's stdout stays its result.

debian_source_sudo=""
if [[ $(id -u) -ne 0 ]]; then debian_source_sudo="sudo"; fi

# A deb-src entry for each of the machine's own Debian archives, so that
# apt-get source finds the sources of what is installed.
add_source_archives() {
  local codename list=/etc/apt/sources.list.d/quelt-deb-src.sources
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  [[ -f $list ]] && return 0
  {
    # deb822 files: each enabled "deb" paragraph of this release, as deb-src.
    for file in /etc/apt/sources.list.d/*.sources; do
      [[ -f $file && $file != "$list" ]] || continue
      awk -v release="$codename" '
        function flush() { if (deb && ours && !disabled) printf "%s\n", text; text = ""; deb = ours = disabled = 0 }
        /^[ \t]*$/ { flush(); next }
        /^#/ { next }
        /^Types:/ { if ((" " $0 " ") ~ / deb /) deb = 1; $0 = "Types: deb-src" }
        /^Suites:/ { if ((" " $0 " ") ~ (" " release "[ -]")) ours = 1 }
        /^Enabled: *no/ { disabled = 1 }
        { text = text $0 "\n" }
        END { flush() }' "$file"
    done
    # One-line lists: "deb [options] URI SUITE COMPONENTS..." of this release.
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f $file ]] || continue
      awk -v release="$codename" '$1 == "deb" {
          i = 2; options = ""
          if ($2 ~ /^\[/) { while ($i !~ /\]$/) options = options " " $(i++); options = options " " $(i++) }
          if ($(i + 1) !~ ("^" release "($|-)")) next
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
          for (j = i + 2; j <= NF; ++j) printf " %s", $j
          if (options ~ /signed-by=/) { sub(/.*signed-by=/, "", options); sub(/[] ].*/, "", options); printf "\nSigned-By: %s", options }
          printf "\n\n"
        }' "$file"
    done
  } | $debian_source_sudo tee "$list" >/dev/null
  echo "${0##*/}: added $list; updating the package lists" >&2
  $debian_source_sudo apt-get update -q >&2
}

has_source() {  # NAME VERSION
  # Not grep -q: it stops reading at the first match, and under pipefail
  # apt-cache's broken pipe would then count as "no such source".
  apt-cache showsrc --only-source "$1" 2>/dev/null | grep -x "Version: $2" >/dev/null
}

# Debian's source of NAME at VERSION, its patches applied, into DIR; CACHE
# (on the same file system as DIR) holds the download meanwhile.
fetch() {
  local name=$1 version=$2 dir=$3 cache=$4 work
  has_source "$name" "$version" || add_source_archives
  has_source "$name" "$version" || {
    echo "${0##*/}: the archive has no source of $name $version" >&2
    return 1
  }
  work=$(mktemp -d "$cache/fetch.XXXXXX")
  # Explicit: a caller testing fetch's result turns set -e off in here.
  (cd "$work" && apt-get source -q --only-source "$name=$version" >&2) || {
    rm -rf "$work"
    return 1
  }
  rm -rf "$dir"
  mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d)" "$dir"
  rm -rf "$work"
}
