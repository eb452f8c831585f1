#!/usr/bin/env bash
# Writes the package's Debian changelog, compressed with gzip -9n:
#   debian_changelog.sh PACKAGE VERSION MAINTAINER CHANGELOG.md OUTPUT.gz
# One entry for VERSION that points to the project's own changelog, dated as CHANGELOG.md dates
# the release ("## 1.0.0 — 2026-12-07"); a release not yet dated there gets today's date.
set -euo pipefail
package="$1" version="$2" maintainer="$3" changes="$4" output="$5"
day="$(sed -nE "s/^## ${version//./\\.} — ([0-9]{4}-[0-9]{2}-[0-9]{2}).*/\\1/p" "$changes" | head -n 1)"
date="$(LC_ALL=C date -u -R -d "${day:-today} 00:00:00")"
{
    echo "$package ($version) unstable; urgency=medium"
    echo
    echo "  * Release $version. The changes, release by release, are in"
    echo "    /usr/share/doc/$package/CHANGELOG.md.gz."
    echo
    echo " -- $maintainer  $date"
} | gzip -9n >"$output"
