#!/usr/bin/env bash
# Fails when a C++ file under src/, tools/, tests/ or bench/ differs from what clang-format makes
# of it (.clang-format at the root).  With --fix, reformats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'src/*' 'tools/*' 'tests/*' 'bench/*' | grep -E '\.(cpp|h)$')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run -Werror "${files[@]}"
fi
