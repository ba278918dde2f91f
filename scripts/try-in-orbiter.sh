#!/usr/bin/env bash
# Tries Skarvel in a real Orbiter folder under Wine without writing into it; docs/trial.md says
# how, and --help lists the options. The trial is the Python program in trial/; this installs
# Python when it is missing (the trial installs what else it needs once its usage is checked).
#
#   bash scripts/try-in-orbiter.sh [options] ORBITER_FOLDER [-- ORBITER'S COMMAND LINE...]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
command -v python3 >/dev/null || "$source_dir/scripts/install-packages.sh" python3
# -P: the trial's own package, never a "trial" in the current folder.
PYTHONPATH=$source_dir${PYTHONPATH:+:$PYTHONPATH} exec python3 -P -m trial "$@"
