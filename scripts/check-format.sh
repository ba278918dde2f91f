#!/usr/bin/env bash
# Fails when a C++ source differs from what clang-format makes of it, and names it.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r file; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
    echo "These files need clang-format -i: ${bad[*]}"
    exit 1
fi
echo "ok: every C++ source is formatted"
