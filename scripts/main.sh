#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the engine on this machine,
# printing what the render thread probed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
xvfb-run -a -s "-screen 0 1920x1080x24 +extension GLX" build/examples/korvane-probe "$@"
