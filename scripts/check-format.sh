#!/usr/bin/env bash
# Fails when a C++ source differs from what clang-format makes of it, or a Python file from what
# black makes of it (Debian's, at 100 columns), and names it.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! files=$(git ls-files '*.cpp' '*.h' 2>/dev/null) || [ -z "$files" ]; then
    echo "error: no C++ sources found through git; run this inside the repository's checkout."
    exit 1
fi
bad=()
while IFS= read -r file; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done <<<"$files"
if [ ${#bad[@]} -gt 0 ]; then
    echo "These files need clang-format -i: ${bad[*]}"
    exit 1
fi
mapfile -t python < <(git ls-files '*.py')
if ! black --check --quiet --line-length 100 "${python[@]}"; then
    echo "These files need black --line-length 100:"
    black --check --line-length 100 "${python[@]}" 2>&1 | sed -n 's/^would reformat /   /p'
    exit 1
fi
echo "ok: every C++ source and Python file is formatted"
