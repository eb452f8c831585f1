#!/usr/bin/env bash
# Formats the C++ sources with Debian's clang-format 14 by .clang-format:
#   ./scripts/format.sh           rewrites the files that are not formatted
#   ./scripts/format.sh --check   changes nothing: shows what would change and fails if anything would
# Tables laid out by hand sit between "// clang-format off" and "// clang-format on".
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
CHECK=0
case "${1:-}" in
--check) CHECK=1 ;;
"") ;;
*) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
ensure_packages clang-format-14
cd "$ROOT"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t FILES < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t FILES < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
if [ "$CHECK" -eq 0 ]; then
    clang-format-14 -i "${FILES[@]}"
    exit 0
fi
unformatted=()
for f in "${FILES[@]}"; do
    if ! clang-format-14 "$f" | cmp -s "$f" -; then
        unformatted+=("$f")
        clang-format-14 "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" - || true
    fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "Not formatted (./scripts/format.sh fixes them): ${unformatted[*]}"
    exit 1
fi
echo "All ${#FILES[@]} C++ files are formatted."
