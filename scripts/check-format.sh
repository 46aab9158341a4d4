#!/usr/bin/env bash
# Fails when a C++ source of the project is not formatted as .clang-format says.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" clang-format
cd "$root"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
