#!/usr/bin/env bash
# Configures and builds into build/ (pass extra CMake options as arguments).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja "$@"
cmake --build build --parallel "$(nproc)"
