#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the module through
# qelhost on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh normal > /dev/null
build/qelhost --create-project
