#!/usr/bin/env bash
# Counts C++ lines that are neither blank nor only a comment: production (the program's own
# folders) against tests/ (support and fuzz harnesses included), and the tests' share.
#   scripts/count_lines.sh [repo-dir]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# Drops blank lines, // comment lines and the lines of /* ... */ blocks.
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
        xargs -0 -r cat |
        awk '
            /^[[:space:]]*\/\*/ { inblock = 1 }
            inblock { if ($0 ~ /\*\//) inblock = 0; next }
            /^[[:space:]]*$/ { next }
            /^[[:space:]]*\/\// { next }
            { n++ }
            END { print n + 0 }'
}

production=$(count app engine model sound ui)
tests=$(count tests)
total=$((production + tests))
printf 'production %d  tests %d  tests share %.1f %%\n' "$production" "$tests" \
    "$(echo "100 * $tests / $total" | bc -l)"
